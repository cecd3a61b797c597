/**
 * Per-frame decoding cost of the camera reader's decoders. Prints figures; asserts nothing.
 */
import { readFileSync } from 'node:fs'
import { createRequire } from 'node:module'
import { it } from 'vitest'
import { scriptDecoder, wasmDecoder, type FrameDecoder } from '../../ui/documents/scanner/camera/decoders'
import { DEFAULT_FORMATS } from '../../ui/documents/scanner/camera/formats'
import { frameAttempts, type Frame } from '../../ui/documents/scanner/camera/frames'
import { dataMatrixGrid, ean13Grid, renderGrid } from '../../ui/documents/scanner/camera/testBarcodes'

const rounds = Number(process.env.BENCH_ROUNDS ?? (process.env.BENCH_SMOKE ? 1 : 20))
const require = createRequire(import.meta.url)
const bytes = readFileSync(require.resolve('zxing-wasm/reader/zxing_reader.wasm'))

/** Median milliseconds of `fn` over the rounds (after one warm-up). */
async function median(fn: () => Promise<unknown>): Promise<number> {
  await fn()
  const times: number[] = []
  for (let i = 0; i < rounds; i++) {
    const t0 = performance.now()
    await fn()
    times.push(performance.now() - t0)
  }
  times.sort((a, b) => a - b)
  return times[Math.floor(times.length / 2)]!
}

/** Every attempt the reader makes on a frame that holds no code. */
async function failedFrame(d: FrameDecoder, f: Frame, rotatesItself: boolean) {
  for (const attempt of frameAttempts(f, rotatesItself)) await d.decode(attempt)
}

it('camera decoding', async () => {
  let peak = 0
  const sample = () => (peak = Math.max(peak, process.memoryUsage().rss))
  const timer = setInterval(sample, 5)
  const wasm = await wasmDecoder(DEFAULT_FORMATS, { overrides: { wasmBinary: bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.byteLength) } })
  const script = await scriptDecoder(DEFAULT_FORMATS)
  const ean = renderGrid(ean13Grid('4600439931256', 60), 1280, 720, 5, 5)
  const mark = renderGrid(dataMatrixGrid('(01)04600439931256(21)5Nsk2)!(93)dGVz', true), 1280, 720, 12)
  const blankHd = renderGrid([[false]], 1920, 1080, 1)

  const ref = await median(() => wasm.decode(ean))
  const rows: Array<[string, number]> = [
    ['WebAssembly, Data Matrix 1280x720', await median(() => wasm.decode(mark))],
    ['WebAssembly, empty 1920x1080 frame, its 2 attempts', await median(() => failedFrame(wasm, blankHd, true))],
    ['WebAssembly, empty 1920x1080 frame, all 6 attempts', await median(() => failedFrame(wasm, blankHd, false))],
    ['script reader, EAN-13 1280x720', await median(() => script.decode(ean))],
    ['script reader, Data Matrix 1280x720', await median(() => script.decode(mark))],
    ['script reader, empty 1920x1080 frame, all 6 attempts', await median(() => failedFrame(script, blankHd, false))],
  ]
  // What the reader spends on a full-HD frame with no code: every attempt it makes, in milliseconds.
  const appAttempts = await median(() => failedFrame(wasm, blankHd, wasm.rotates))
  // The reference once more, last: its two readings differ only by the machine.
  const refAgain = await median(() => wasm.decode(ean))
  clearInterval(timer)
  sample()
  const out = [`camera: reference = one WebAssembly decode of a 1280x720 EAN-13 frame (${ref.toFixed(1)} ms here; the reader takes a frame every 120 ms at most)`]
  for (const [what, ms] of rows) out.push(`  ${what}: ${(ms / ref).toFixed(2)}x the reference`)
  out.push(`  a 1920x1080 frame with no code, every attempt the reader makes: ${appAttempts.toFixed(1)} ms (decoded in a worker, off the page's thread)`)
  out.push(`  figure: a frame with no code, every attempt, vs the 120 ms frame interval = ${(appAttempts / 120).toFixed(2)} (goal <= 1.00)`)
  out.push(`  noise line: the reference measured last against first ${(refAgain / ref).toFixed(2)}`)
  out.push(`  peak RSS of the benchmark process: ${Math.round(peak / 1024)} KiB`)
  console.log(out.join('\n'))
})
