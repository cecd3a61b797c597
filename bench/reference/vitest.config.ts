import { defineConfig } from 'vitest/config'

// The reference benchmark runs only when asked (bench/reference/run): it starts the desktop app.
export default defineConfig({
  test: { include: ['bench/reference/*.bench-run.ts'], environment: 'node', testTimeout: 900_000, hookTimeout: 120_000, fileParallelism: false },
})
