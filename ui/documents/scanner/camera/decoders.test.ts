import { readFileSync } from 'node:fs'
import { createRequire } from 'node:module'
import { describe, expect, it } from 'vitest'
import { chooseDecoder, decodedText, scriptDecoder, wasmDecoder, type FrameDecoder } from './decoders'
import { DEFAULT_FORMATS } from './formats'
import { rotateFrame } from './frames'
import { dataMatrixGrid, ean13Grid, renderGrid } from './testBarcodes'

const require = createRequire(import.meta.url)
const wasmBinary = readFileSync(require.resolve('zxing-wasm/reader/zxing_reader.wasm'))
const wasm = { overrides: { wasmBinary: wasmBinary.buffer.slice(wasmBinary.byteOffset, wasmBinary.byteOffset + wasmBinary.byteLength) } }

const EAN = '4600439931256'
const MARK = '0104600439931256215Nsk2)!\x1d93dGVz'
const eanFrame = renderGrid(ean13Grid(EAN), 640, 360, 4, 4)
const markFrame = renderGrid(dataMatrixGrid('(01)04600439931256(21)5Nsk2)!(93)dGVz', true), 640, 360, 8)
const blank = renderGrid([[false]], 320, 240, 1)

describe.each([
  ['wasm', () => wasmDecoder(DEFAULT_FORMATS, wasm)],
  ['script', () => scriptDecoder(DEFAULT_FORMATS)],
] as const)('%s decoder', (_name, make) => {
  let decoder: FrameDecoder
  it('reads an EAN-13 and a GS1 Data Matrix with its group separator, and nothing from a blank frame', async () => {
    decoder = await make()
    expect(await decoder.decode(eanFrame)).toEqual({ text: EAN, format: 'ean_13' })
    expect(await decoder.decode(markFrame)).toEqual({ text: MARK, format: 'data_matrix' })
    expect(await decoder.decode(blank)).toBeNull()
  }, 30_000)

  it('reads a Data Matrix turned by 90°', async () => {
    decoder ??= await make()
    expect((await decoder.decode(rotateFrame(markFrame, 90)))?.text).toBe(MARK)
  }, 30_000)
})

describe('decoder choice', () => {
  it('takes the WebAssembly reader when the platform has no detector', async () => {
    expect((await chooseDecoder(DEFAULT_FORMATS, { wasm })).kind).toBe('wasm')
  }, 30_000)

  it('takes the decoder off the page\'s thread when there is one, and the page\'s own reader when it fails', async () => {
    const offThread: FrameDecoder = { kind: 'wasm', rotates: true, decode: async () => null, decodeFrame: async () => null }
    expect(await chooseDecoder(DEFAULT_FORMATS, { wasm, offThread: async () => offThread })).toBe(offThread)
    const lines: string[] = []
    const fallback = await chooseDecoder(DEFAULT_FORMATS, {
      wasm,
      log: (l) => lines.push(l),
      offThread: async () => {
        throw new Error('нет ответа за 15000 мс')
      },
    })
    expect(fallback.kind).toBe('wasm')
    expect(fallback.decodeFrame).toBeUndefined()
    expect(lines).toEqual(['[камера] распознавание в отдельном потоке недоступно: нет ответа за 15000 мс'])
  }, 30_000)

  it('falls back to the script reader, with a warning, when the WebAssembly one does not start', async () => {
    const lines: string[] = []
    const broken = { overrides: { wasmBinary: new ArrayBuffer(8) }, startLimitMs: 2000 }
    const decoder = await chooseDecoder(DEFAULT_FORMATS, { wasm: broken, log: (l) => lines.push(l) })
    expect(decoder.kind).toBe('script')
    expect(lines.at(-1)).toContain('медленный запасной способ')
    expect(lines[0]).toContain('WebAssembly')
  }, 30_000)

  it('prefers a native detector that reads every wanted format', async () => {
    const g = globalThis as { BarcodeDetector?: unknown }
    g.BarcodeDetector = class {
      static getSupportedFormats = async () => [...DEFAULT_FORMATS]
      async detect() {
        return [{ rawValue: '\x1d0104600439931256', format: 'data_matrix' }]
      }
    }
    try {
      const d = await chooseDecoder(DEFAULT_FORMATS, { wasm })
      expect(d.kind).toBe('native')
      expect(await d.decode(blank)).toEqual({ text: '0104600439931256', format: 'data_matrix' })
      g.BarcodeDetector = class {
        static getSupportedFormats = async () => ['qr_code']
      }
      expect((await chooseDecoder(DEFAULT_FORMATS, { wasm })).kind).toBe('wasm')
    } finally {
      delete g.BarcodeDetector
    }
  }, 30_000)

  it('drops only a leading group separator', () => {
    expect(decodedText('\x1d01\x1d21')).toBe('01\x1d21')
    expect(decodedText('ABC')).toBe('ABC')
  })
})
