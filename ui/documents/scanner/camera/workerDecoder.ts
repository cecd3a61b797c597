/**
 * A frame decoder that runs in a worker: the page hands each frame's pixels
 * over (no copy) and waits for the answer, while its own thread stays free
 * for scans and paints. Frames go one at a time: the reader never sends a
 * frame before the last one's answer came.
 */
import type { Decoded, FrameDecoder } from './decoders'
import type { FromWorker, ToWorker } from './decodeWorkerProtocol'
import type { BarcodeFormatName } from './formats'
import type { Frame } from './frames'

/** How long the worker may take to load its reader (the WebAssembly limit and the script fallback after it). */
export const WORKER_START_LIMIT_MS = 15_000

interface WorkerLike {
  postMessage(message: ToWorker, transfer?: Transferable[]): void
  terminate(): void
  onmessage: ((event: MessageEvent<FromWorker>) => void) | null
  onerror: ((event: ErrorEvent) => void) | null
}

function defaultWorker(): WorkerLike | undefined {
  if (typeof Worker === 'undefined') return undefined
  return new Worker(new URL('./decodeWorker.ts', import.meta.url), { type: 'module' }) as unknown as WorkerLike
}

/** The decoder in a worker once its reader is loaded; undefined when workers are not available here. */
export async function workerDecoder(
  formats: readonly BarcodeFormatName[],
  log: (line: string) => void,
  makeWorker: () => WorkerLike | undefined = defaultWorker,
  startLimitMs = WORKER_START_LIMIT_MS,
): Promise<FrameDecoder | undefined> {
  const worker = makeWorker()
  if (!worker) return undefined
  const pending = new Map<number, { resolve: (d: Decoded | null) => void; reject: (e: Error) => void }>()
  let nextId = 1
  let broken: Error | undefined
  let started: { resolve: (kind: FrameDecoder['kind']) => void; reject: (e: Error) => void } | undefined

  const breakDown = (err: Error) => {
    broken = err
    started?.reject(err)
    for (const p of pending.values()) p.reject(err)
    pending.clear()
    worker.terminate()
  }
  worker.onerror = (event) => breakDown(new Error(event.message || 'поток распознавания остановился'))
  worker.onmessage = ({ data }) => {
    if (data.type === 'log') log(data.line)
    else if (data.type === 'ready') started?.resolve(data.kind)
    else if (data.type === 'failed') started?.reject(new Error(data.error))
    else {
      const p = pending.get(data.id)
      pending.delete(data.id)
      if (data.type === 'result') p?.resolve(data.decoded)
      else p?.reject(new Error(data.error))
    }
  }

  let timer: ReturnType<typeof setTimeout> | undefined
  const kind = await new Promise<FrameDecoder['kind']>((resolve, reject) => {
    started = { resolve, reject }
    timer = setTimeout(() => reject(new Error(`нет ответа за ${startLimitMs} мс`)), startLimitMs)
    worker.postMessage({ type: 'start', formats: [...formats] })
  }).catch((err: Error) => {
    worker.terminate()
    throw err
  }).finally(() => {
    clearTimeout(timer)
    started = undefined
  })

  const send = (frame: Frame) =>
    new Promise<Decoded | null>((resolve, reject) => {
      if (broken) return reject(broken)
      const id = nextId++
      pending.set(id, { resolve, reject })
      // A whole buffer goes over as it is; a view into a larger one is copied out first.
      const { data } = frame
      const whole = data.byteOffset === 0 && data.byteLength === data.buffer.byteLength
      const pixels = (whole ? data.buffer : data.slice().buffer) as ArrayBuffer
      worker.postMessage({ type: 'frame', id, width: frame.width, height: frame.height, pixels }, [pixels])
    })

  return {
    kind,
    rotates: kind !== 'script',
    decode: send,
    decodeFrame: send,
  }
}
