// @vitest-environment node
import { readFileSync } from 'node:fs'
import { createRequire } from 'node:module'
import { afterAll, beforeAll, describe, expect, it } from 'vitest'
import { StandIn } from '../ui/core/testing/standIn'
import { wasmDecoder } from '../ui/documents/scanner/camera/decoders'
import type { Frame } from '../ui/documents/scanner/camera/frames'
import { sampleLabelCode } from './labelFiles.mjs'

const require = createRequire(import.meta.url)
const wasmBytes = readFileSync(require.resolve('zxing-wasm/reader/zxing_reader.wasm'))
const wasmBinary = wasmBytes.buffer.slice(wasmBytes.byteOffset, wasmBytes.byteOffset + wasmBytes.byteLength)

/** The label's filled rectangles ("x y w h re f") drawn black on white, `scale` pixels a point, as a camera sees it. */
function rasterise(pdf: string, scale: number): Frame {
  const box = /\/MediaBox \[0 0 ([\d.]+) ([\d.]+)\]/.exec(pdf)!
  const width = Math.ceil(Number(box[1]) * scale)
  const height = Math.ceil(Number(box[2]) * scale)
  const data = new Uint8ClampedArray(width * height * 4).fill(255)
  for (const [, x, y, w, h] of pdf.matchAll(/^([\d.]+) ([\d.]+) ([\d.]+) ([\d.]+) re f$/gm)) {
    const left = Math.round(Number(x) * scale)
    const right = Math.round((Number(x) + Number(w)) * scale)
    const top = height - Math.round((Number(y) + Number(h)) * scale)
    const bottom = height - Math.round(Number(y) * scale)
    for (let row = top; row < bottom; row++)
      for (let col = left; col < right; col++) data.fill(0, (row * width + col) * 4, (row * width + col) * 4 + 3)
  }
  return { data, width, height }
}

let standIn: StandIn
beforeAll(async () => {
  standIn = await StandIn.start()
})
afterAll(() => standIn.close())

describe('the stand-in label file host', () => {
  it('answers a label PDF of the size in its name', async () => {
    const res = await fetch(`${standIn.url}/labels/sample-100x150.pdf`)
    expect(res.status).toBe(200)
    expect(res.headers.get('content-type')).toBe('application/pdf')
    const text = Buffer.from(await res.arrayBuffer()).toString('latin1')
    expect(text.startsWith('%PDF-1.4\n')).toBe(true)
    expect(text).toContain('/MediaBox [0 0 283.46 425.20]')
    // Every cross-reference offset points at its object.
    const xref = Number(/startxref\n(\d+)/.exec(text)![1])
    const offsets = text.slice(xref).split('\n').slice(3, 8).map((l) => Number(l.slice(0, 10)))
    offsets.forEach((o, i) => expect(text.slice(o, o + 8)).toBe(`${i + 1} 0 obj\n`))
  })

  it.each(['/labels/sample-5x40.pdf', '/labels/sample-58x401.pdf', '/labels/other.pdf'])('%s is not found', async (path) => {
    expect((await fetch(`${standIn.url}${path}`)).status).toBe(404)
  })

  it.each([
    [100, 150],
    [58, 40],
    [43, 25],
  ])('a %sx%s label carries a Code 128 a scanner reads', async (w, h) => {
    const pdf = Buffer.from(await (await fetch(`${standIn.url}/labels/sample-${w}x${h}.pdf`)).arrayBuffer()).toString('latin1')
    const decoder = await wasmDecoder(['code_128'], { overrides: { wasmBinary } })
    expect(await decoder.decode(rasterise(pdf, 3))).toEqual({ text: sampleLabelCode(w, h), format: 'code_128' })
    expect(pdf).toContain(`(${sampleLabelCode(w, h)}) Tj`)
  }, 30_000)
})
