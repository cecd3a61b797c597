/**
 * The frame-decoding worker: chooses the WebAssembly reader (or the script
 * one) as the page would, then makes every attempt on each frame it is sent,
 * so the page's thread only grabs frames and hears the answer.
 */
import { chooseDecoder, decodeFrame, type FrameDecoder } from './decoders'
import type { FromWorker, ToWorker } from './decodeWorkerProtocol'

const post = (message: FromWorker) => (self as unknown as Worker).postMessage(message)
const errorText = (err: unknown) => (err instanceof Error ? err.message : String(err))

let decoder: FrameDecoder | undefined

self.onmessage = async (event: MessageEvent<ToWorker>) => {
  const message = event.data
  if (message.type === 'start') {
    try {
      decoder = await chooseDecoder(message.formats, { skipNative: true, log: (line) => post({ type: 'log', line }) })
      post({ type: 'ready', kind: decoder.kind })
    } catch (err) {
      post({ type: 'failed', error: errorText(err) })
    }
    return
  }
  if (!decoder) {
    post({ type: 'error', id: message.id, error: 'распознаватель не запущен' })
    return
  }
  try {
    const frame = { data: new Uint8ClampedArray(message.pixels), width: message.width, height: message.height }
    post({ type: 'result', id: message.id, decoded: await decodeFrame(decoder, frame) })
  } catch (err) {
    post({ type: 'error', id: message.id, error: errorText(err) })
  }
}
