import { defineConfig } from 'vitest/config'

// The inventory benchmark runs only when asked (bench/inventory/run): it starts the desktop app.
export default defineConfig({
  test: { include: ['bench/inventory/*.bench-run.ts'], environment: 'node', testTimeout: 900_000, hookTimeout: 120_000, fileParallelism: false },
})
