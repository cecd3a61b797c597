// @vitest-environment node
import { execFile } from 'node:child_process'
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs'
import { createRequire } from 'node:module'
import { tmpdir } from 'node:os'
import { join } from 'node:path'
import { promisify } from 'node:util'
import { afterAll, beforeAll, describe, expect, it } from 'vitest'
import type { Payload } from '../ui/core/envelope'
import { StandIn } from '../ui/core/testing/standIn'
import { wbState } from '../ui/demo'
import { wasmDecoder } from '../ui/documents/scanner/camera/decoders'
import type { BarcodeFormatName } from '../ui/documents/scanner/camera/formats'
import { stickerCode } from './wildberriesLabels.mjs'

const run = promisify(execFile)
const require = createRequire(import.meta.url)
const wasmBytes = readFileSync(require.resolve('zxing-wasm/reader/zxing_reader.wasm'))
const wasmBinary = wasmBytes.buffer.slice(wasmBytes.byteOffset, wasmBytes.byteOffset + wasmBytes.byteLength)
const MM = 72 / 25.4

let standIn: StandIn
let dir: string
let ask: (c: string, p?: Payload) => Payload

beforeAll(async () => {
  standIn = await StandIn.start()
  dir = mkdtempSync(join(tmpdir(), 'zorvik-wb-labels-'))
  const backend = standIn.host.backend
  const identity = backend.authenticate(backend.openSession('u-anna').token)
  if ('error' in identity) throw new Error(identity.error)
  const conn = backend.attach(identity, () => {})
  ask = (c, p = {}) => backend.handle(conn, c, p)[0]!.p
})
afterAll(async () => {
  await standIn.close()
  rmSync(dir, { recursive: true, force: true })
})

/** The label behind a link: its pages and size (pdfinfo), and the first code a scanner reads on it at 300 dpi. */
async function readLabel(link: string, format: BarcodeFormatName) {
  const res = await fetch(link)
  expect(res.status).toBe(200)
  expect(res.headers.get('content-type')).toBe('application/pdf')
  const file = join(dir, `label-${Math.random().toString(36).slice(2)}.pdf`)
  writeFileSync(file, Buffer.from(await res.arrayBuffer()))
  const info = (await run('pdfinfo', [file])).stdout
  const size = /Page size:\s+([\d.]+) x ([\d.]+) pts/.exec(info)!
  await run('pdftoppm', ['-gray', '-r', '300', '-singlefile', file, file])
  const pgm = readFileSync(`${file}.pgm`)
  const [, w, h] = /^P5\s+(\d+)\s+(\d+)\s+255\s/.exec(pgm.toString('latin1', 0, 40))!
  const width = Number(w), height = Number(h)
  const pixels = pgm.subarray(pgm.length - width * height)
  const data = new Uint8ClampedArray(width * height * 4)
  pixels.forEach((v, i) => data.set([v, v, v, 255], i * 4))
  const decoder = await wasmDecoder([format], { overrides: { wasmBinary } })
  return {
    pages: Number(/Pages:\s+(\d+)/.exec(info)![1]),
    widthMm: Number(size[1]) / MM,
    heightMm: Number(size[2]) / MM,
    code: await decoder.decode({ data, width, height }),
  }
}

describe('the Wildberries labels of the stand-in file host', () => {
  it('the sticker, the supply QR code and the product label: one 58 × 40 mm page each, with the codes a scanner reads', async () => {
    const task = wbState(standIn.host.backend, 'acc-lesnaya').tasks.find((t) => t.supplyId !== '')!
    const sticker = ask('wbSticker', { orderId: task.id })
    const qr = ask('wbSupplyQr', { supplyId: task.supplyId })
    const product = ask('wbProductLabel', { article: task.article, barcode: task.barcode })
    for (const answer of [sticker, qr, product]) expect(String(answer.labelUrl).startsWith(`${standIn.url}/labels/wb/`)).toBe(true)

    const cases: Array<[Payload, BarcodeFormatName, string]> = [
      [sticker, 'code_128', stickerCode(task.id)],
      [qr, 'qr_code', task.supplyId],
      [product, 'ean_13', task.barcode],
    ]
    for (const [answer, format, text] of cases) {
      const label = await readLabel(String(answer.labelUrl), format)
      expect(label).toMatchObject({ pages: 1, code: { text, format } })
      expect(label.widthMm).toBeCloseTo(58, 1)
      expect(label.heightMm).toBeCloseTo(40, 1)
    }
  }, 60_000)

  it.each([
    '/labels/wb/sticker-1.pdf',
    '/labels/wb/supply-WB-GI-1.pdf',
    '/labels/wb/product-4600000000001.pdf',
    '/labels/wb/other.pdf',
  ])('%s is not found', async (path) => {
    expect((await fetch(`${standIn.url}${path}`)).status).toBe(404)
  })

  it('a task not yet in a supply has no sticker file', async () => {
    const task = wbState(standIn.host.backend, 'acc-lesnaya').tasks.find((t) => t.supplyId === '')!
    expect((await fetch(`${standIn.url}/labels/wb/sticker-${task.id}.pdf`)).status).toBe(404)
  })
})
