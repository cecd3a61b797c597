import { defineConfig } from 'vitest/config'

// The camera benchmark runs in the same module setup as the UI tests, but only when asked (bench/camera/run).
export default defineConfig({
  test: { include: ['bench/camera/*.bench-run.ts'], environment: 'node', testTimeout: 600_000 },
})
