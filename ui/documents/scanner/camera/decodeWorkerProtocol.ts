/** Messages between the page and the frame-decoding worker. */
import type { Decoded, DecoderKind } from './decoders'
import type { BarcodeFormatName } from './formats'

export type ToWorker =
  | { type: 'start'; formats: BarcodeFormatName[] }
  /** RGBA pixels of one camera frame; the buffer is handed over, not copied. */
  | { type: 'frame'; id: number; width: number; height: number; pixels: ArrayBuffer }

export type FromWorker =
  | { type: 'ready'; kind: DecoderKind }
  | { type: 'failed'; error: string }
  | { type: 'log'; line: string }
  | { type: 'result'; id: number; decoded: Decoded | null }
  | { type: 'error'; id: number; error: string }
