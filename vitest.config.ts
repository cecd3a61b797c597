import { fileURLToPath, URL } from 'node:url'
import { defineConfig } from 'vitest/config'
import vue from '@vitejs/plugin-vue'

export default defineConfig({
  plugins: [vue()],
  resolve: { alias: { '@ui': fileURLToPath(new URL('./ui', import.meta.url)) } },
  define: {
    __ZORVIK_TARGET__: JSON.stringify('desktop'),
    __ZORVIK_VERSION__: JSON.stringify('0.66.2'),
    __ZORVIK_FLAVOUR__: JSON.stringify('local'),
    __ZORVIK_SERVICE_URL__: JSON.stringify('http://localhost:8787'),
  },
  test: {
    include: ['ui/**/*.test.ts', 'service-host/**/*.test.ts', 'scripts/**/*.test.ts'],
    environment: 'happy-dom',
  },
})
