import { defineConfig } from 'vitest/config'

// The picking benchmark runs only when asked (bench/picking/run): it starts the desktop app.
export default defineConfig({
  test: { include: ['bench/picking/*.bench-run.ts'], environment: 'node', testTimeout: 900_000, hookTimeout: 120_000, fileParallelism: false },
})
