import { fileURLToPath, URL } from 'node:url'
import { defineConfig } from 'vite'
import vue from '@vitejs/plugin-vue'

// The page lives in assets/ (index.html, sounds, images); the code in ui/.
// The build goes to build/dist and is compiled into the host's asset table.
export default defineConfig({
  root: fileURLToPath(new URL('./assets', import.meta.url)),
  publicDir: fileURLToPath(new URL('./assets/public', import.meta.url)),
  base: '/',
  plugins: [vue()],
  resolve: {
    alias: { '@ui': fileURLToPath(new URL('./ui', import.meta.url)) },
  },
  define: {
    __ZORVIK_TARGET__: JSON.stringify('desktop'),
    __ZORVIK_VERSION__: JSON.stringify(process.env.npm_package_version ?? '0.66.2'),
    __ZORVIK_FLAVOUR__: JSON.stringify(process.env.ZORVIK_FLAVOUR ?? 'local'),
    // The service host of the flavour (the local one is the stand-in in service-host/).
    __ZORVIK_SERVICE_URL__: JSON.stringify(
      process.env.ZORVIK_SERVICE_URL ??
        (process.env.ZORVIK_FLAVOUR === 'release' ? 'https://app.zorvik.ru' : 'http://localhost:8787'),
    ),
  },
  // The camera's decoding worker loads its reader on demand: split chunks need module workers.
  worker: { format: 'es' },
  server: { port: 1420, strictPort: true, fs: { allow: ['..'] } },
  build: {
    outDir: fileURLToPath(new URL('./build/dist', import.meta.url)),
    emptyOutDir: true,
    assetsDir: 'assets',
    target: 'es2022',
    sourcemap: false,
  },
})
