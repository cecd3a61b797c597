import { defineConfig } from 'vitest/config'

// The document-list benchmark drives the desktop app like the end-to-end tests, but only when asked (bench/documentList/run).
export default defineConfig({
  test: { include: ['bench/documentList/*.bench-run.ts'], environment: 'node', testTimeout: 600_000, hookTimeout: 120_000 },
})
