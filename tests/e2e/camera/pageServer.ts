/**
 * Builds the camera test page with Vite (the real reader component, its
 * decoder and the app's public files) and serves it on 127.0.0.1, together
 * with the test frames as raw RGBA.
 */
import { createServer, type Server } from 'node:http'
import { mkdtempSync, readFileSync, rmSync, existsSync, statSync } from 'node:fs'
import { tmpdir } from 'node:os'
import { extname, join, normalize, resolve } from 'node:path'
import vue from '@vitejs/plugin-vue'
import { build } from 'vite'
import type { Frame } from '../../../ui/documents/scanner/camera/frames'

const ROOT = resolve(__dirname, '../../..')

const TYPES: Record<string, string> = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript',
  '.css': 'text/css',
  '.wasm': 'application/wasm',
  '.mp3': 'audio/mpeg',
  '.png': 'image/png',
}

export interface PageServer {
  origin: string
  /** Every path the browsers asked for. */
  requested: string[]
  close(): Promise<void>
}

export async function buildPage(): Promise<string> {
  const outDir = mkdtempSync(join(tmpdir(), 'zorvik-camera-page-'))
  await build({
    configFile: false,
    root: join(__dirname, 'page'),
    publicDir: join(ROOT, 'assets/public'),
    plugins: [vue()],
    resolve: { alias: { '@ui': join(ROOT, 'ui') } },
    define: {
      __ZORVIK_TARGET__: JSON.stringify('desktop'),
      __ZORVIK_VERSION__: JSON.stringify('0.66.2'),
      __ZORVIK_FLAVOUR__: JSON.stringify('local'),
    },
    logLevel: 'warn',
    build: { outDir, emptyOutDir: true, target: 'es2022' },
  })
  return outDir
}

export function removePage(dir: string) {
  rmSync(dir, { recursive: true, force: true })
}

export async function servePage(dir: string, frames: Record<string, Frame>): Promise<PageServer> {
  const requested: string[] = []
  const server: Server = createServer((req, res) => {
    const path = decodeURIComponent(new URL(req.url ?? '/', 'http://x').pathname)
    requested.push(path)
    const frame = path.startsWith('/frames/') ? frames[path.slice(8)] : undefined
    if (frame) {
      res.writeHead(200, {
        'Content-Type': 'application/octet-stream',
        'x-width': String(frame.width),
        'x-height': String(frame.height),
      })
      return res.end(Buffer.from(frame.data.buffer, frame.data.byteOffset, frame.data.byteLength))
    }
    const file = normalize(join(dir, path === '/' ? 'index.html' : path))
    if (!file.startsWith(dir) || !existsSync(file) || !statSync(file).isFile()) {
      res.writeHead(404)
      return res.end()
    }
    res.writeHead(200, { 'Content-Type': TYPES[extname(file)] ?? 'application/octet-stream' })
    res.end(readFileSync(file))
  })
  await new Promise<void>((r) => server.listen(0, '127.0.0.1', r))
  const port = (server.address() as { port: number }).port
  return {
    origin: `http://127.0.0.1:${port}`,
    requested,
    close: () => new Promise<void>((r) => server.close(() => r())),
  }
}

/** A one-frame YUV4MPEG2 clip of a grey frame, for a browser's fake camera. */
export function y4m(frame: Frame): Buffer {
  const { width: w, height: h, data } = frame
  const header = Buffer.from(`YUV4MPEG2 W${w} H${h} F15:1 Ip A1:1 C420jpeg\nFRAME\n`)
  const luma = Buffer.alloc(w * h)
  for (let i = 0; i < w * h; i++) {
    const p = i * 4
    luma[i] = Math.round(0.299 * data[p]! + 0.587 * data[p + 1]! + 0.114 * data[p + 2]!)
  }
  const chroma = Buffer.alloc((w / 2) * (h / 2) * 2, 128)
  return Buffer.concat([header, luma, chroma])
}
