import { defineConfig } from 'vitest/config'

// End-to-end tests drive the real desktop executable under Xvfb.
export default defineConfig({
  test: {
    include: ['tests/e2e/**/*.test.ts'],
    environment: 'node',
    testTimeout: 90_000,
    hookTimeout: 60_000,
    // The app and WebKit are heavy; two cores run one file at a time.
    fileParallelism: false,
  },
})
