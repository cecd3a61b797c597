/**
 * Frame decoders, best first: the platform's native barcode detector, the
 * WebAssembly build of the ZXing reader (its .wasm is one of the app's own
 * assets, never fetched from elsewhere), and the ZXing reader written in
 * script (slowest, with its try-harder option). Each answers the first code in
 * a frame, or null.
 */
import zxingReaderWasmUrl from 'zxing-wasm/reader/zxing_reader.wasm?url'
import { GS } from '../symbology'
import { formatFromWasm, WASM_FORMAT_NAMES, type BarcodeFormatName } from './formats'
import { frameAttempts, type Frame } from './frames'

export interface Decoded {
  text: string
  format: string
}

export type DecoderKind = 'native' | 'wasm' | 'script'

export interface FrameDecoder {
  readonly kind: DecoderKind
  /** The decoder tries every orientation of a frame by itself. */
  readonly rotates: boolean
  /** The first code in the frame; null when there is none. Rejects when the decoder itself fails. */
  decode(frame: Frame): Promise<Decoded | null>
  /** Makes every attempt on a frame itself (elsewhere than on the page's thread). */
  decodeFrame?(frame: Frame): Promise<Decoded | null>
}

/** The first code found by the attempts on a frame, in order; null when none holds one. */
export async function decodeFrame(decoder: FrameDecoder, frame: Frame): Promise<Decoded | null> {
  if (decoder.decodeFrame) return decoder.decodeFrame(frame)
  for (const attempt of frameAttempts(frame, decoder.rotates)) {
    const found = await decoder.decode(attempt)
    if (found?.text) return found
  }
  return null
}

export const WASM_START_LIMIT_MS = 5000

/**
 * A leading group separator is the "FNC1 first" flag of a GS1 symbol, not
 * data; some decoders put it into the text, others do not.
 */
export function decodedText(text: string): string {
  return text.startsWith(GS) ? text.slice(1) : text
}

function withTimeout<T>(p: Promise<T>, ms: number, what: string): Promise<T> {
  return new Promise<T>((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`${what}: нет ответа за ${ms} мс`)), ms)
    p.then(
      (v) => {
        clearTimeout(timer)
        resolve(v)
      },
      (e: unknown) => {
        clearTimeout(timer)
        reject(e)
      },
    )
  })
}

// --- native detector -------------------------------------------------------

interface DetectedBarcodeLike {
  rawValue: string
  format: string
}
interface BarcodeDetectorLike {
  detect(source: ImageData): Promise<DetectedBarcodeLike[]>
}
interface BarcodeDetectorCtor {
  new (options: { formats: string[] }): BarcodeDetectorLike
  getSupportedFormats(): Promise<string[]>
}

/** The native detector when the platform has one that reads every wanted format. */
export async function nativeDecoder(formats: readonly BarcodeFormatName[]): Promise<FrameDecoder | undefined> {
  const Ctor = (globalThis as { BarcodeDetector?: BarcodeDetectorCtor }).BarcodeDetector
  if (!Ctor) return undefined
  const supported = await Ctor.getSupportedFormats().catch(() => [] as string[])
  if (!formats.every((f) => supported.includes(f))) return undefined
  const detector = new Ctor({ formats: [...formats] })
  return {
    kind: 'native',
    rotates: false,
    async decode(frame) {
      const found = await detector.detect(frame as ImageData)
      const first = found.find((b) => b.rawValue)
      return first ? { text: decodedText(first.rawValue), format: first.format } : null
    },
  }
}

// --- WebAssembly reader ----------------------------------------------------

export interface WasmDecoderOptions {
  /** Emscripten module settings; by default the .wasm comes from the app's own assets. */
  overrides?: Record<string, unknown>
  startLimitMs?: number
}

/** The app's copy of the reader's .wasm (bundled as an asset). */
export const ZXING_WASM_URL: string = zxingReaderWasmUrl

export async function wasmDecoder(formats: readonly BarcodeFormatName[], options: WasmDecoderOptions = {}): Promise<FrameDecoder> {
  const zxing = await import('zxing-wasm/reader')
  const overrides = options.overrides ?? {
    locateFile: (path: string, prefix: string) => (path.endsWith('.wasm') ? ZXING_WASM_URL : prefix + path),
  }
  await withTimeout(
    zxing.prepareZXingModule({ overrides, fireImmediately: true }),
    options.startLimitMs ?? WASM_START_LIMIT_MS,
    'WebAssembly',
  )
  const readerOptions = {
    formats: formats.map((f) => WASM_FORMAT_NAMES[f]) as NonNullable<Parameters<typeof zxing.readBarcodes>[1]>['formats'],
    tryHarder: true,
    tryRotate: true,
    // Plain keeps the group separators of marking codes; the default would rewrite GS1 data as "(01)…".
    textMode: 'Plain' as const,
    maxNumberOfSymbols: 1,
  }
  return {
    kind: 'wasm',
    rotates: true,
    async decode(frame) {
      const results = await zxing.readBarcodes(frame as ImageData, readerOptions)
      const first = results.find((r) => r.isValid && r.text)
      return first ? { text: decodedText(first.text), format: formatFromWasm(first.format) } : null
    },
  }
}

// --- script reader ---------------------------------------------------------

export async function scriptDecoder(formats: readonly BarcodeFormatName[]): Promise<FrameDecoder> {
  const lib = await import('@zxing/library')
  const ours: Record<BarcodeFormatName, number> = {
    ean_13: lib.BarcodeFormat.EAN_13,
    ean_8: lib.BarcodeFormat.EAN_8,
    code_128: lib.BarcodeFormat.CODE_128,
    code_39: lib.BarcodeFormat.CODE_39,
    qr_code: lib.BarcodeFormat.QR_CODE,
    data_matrix: lib.BarcodeFormat.DATA_MATRIX,
  }
  const hints = new Map<number, unknown>([
    [lib.DecodeHintType.POSSIBLE_FORMATS, formats.map((f) => ours[f])],
    [lib.DecodeHintType.TRY_HARDER, true],
  ])
  const reader = new lib.MultiFormatReader()
  reader.setHints(hints as Map<never, unknown>)
  const nameOf = (format: number) =>
    (Object.keys(ours) as BarcodeFormatName[]).find((k) => ours[k] === format) ?? String(format)
  return {
    kind: 'script',
    rotates: false,
    async decode(frame) {
      const { width, height, data } = frame
      const luma = new Uint8ClampedArray(width * height)
      for (let i = 0, p = 0; i < luma.length; i++, p += 4) {
        luma[i] = (data[p]! * 77 + data[p + 1]! * 150 + data[p + 2]! * 29) >> 8
      }
      const bitmap = new lib.BinaryBitmap(new lib.HybridBinarizer(new lib.RGBLuminanceSource(luma, width, height)))
      try {
        const result = reader.decodeWithState(bitmap)
        return { text: decodedText(result.getText()), format: nameOf(result.getBarcodeFormat()) }
      } catch (err) {
        // "Nothing here" comes as an exception; anything else is the decoder failing.
        if (err instanceof lib.NotFoundException || err instanceof lib.ChecksumException || err instanceof lib.FormatException) return null
        throw err
      }
    },
  }
}

// --- choice ----------------------------------------------------------------

export interface ChooseDecoderOptions {
  wasm?: WasmDecoderOptions
  log?: (line: string) => void
  /** Skips the native detector (tests, or a platform whose detector misreads). */
  skipNative?: boolean
  /**
   * Starts the same choice (without the native detector) off the page's
   * thread; undefined when that cannot be done here. Tried after the native detector.
   */
  offThread?: (formats: readonly BarcodeFormatName[], log: (line: string) => void) => Promise<FrameDecoder | undefined>
}

/** The first decoder that works; rejects only when none does. */
export async function chooseDecoder(formats: readonly BarcodeFormatName[], options: ChooseDecoderOptions = {}): Promise<FrameDecoder> {
  const log = options.log ?? ((line: string) => console.warn(line))
  if (!options.skipNative) {
    try {
      const native = await nativeDecoder(formats)
      if (native) return native
    } catch (err) {
      log(`[камера] встроенный распознаватель недоступен: ${err instanceof Error ? err.message : String(err)}`)
    }
  }
  if (options.offThread) {
    try {
      const worker = await options.offThread(formats, log)
      if (worker) return worker
    } catch (err) {
      log(`[камера] распознавание в отдельном потоке недоступно: ${err instanceof Error ? err.message : String(err)}`)
    }
  }
  try {
    return await wasmDecoder(formats, options.wasm)
  } catch (err) {
    log(`[камера] WebAssembly-распознаватель не запустился: ${err instanceof Error ? err.message : String(err)}`)
  }
  const script = await scriptDecoder(formats)
  log('[камера] распознавание кодов без WebAssembly: медленный запасной способ')
  return script
}
