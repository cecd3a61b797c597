/**
 * Reading an import's .xlsx off the page's thread: the bytes go to a worker
 * (ended when it answered), its progress comes back for the progress line,
 * and its answer is the ";" table to upload. Where workers are missing the
 * same reader runs here.
 */
import { NotASpreadsheetError, SpreadsheetRefused, type ReadProgress } from './sheetReading'
import type { FromSheetWorker, ToSheetWorker } from './sheetWorkerProtocol'

export interface SheetWorkerLike {
  postMessage(message: ToSheetWorker, transfer?: Transferable[]): void
  terminate(): void
  onmessage: ((event: MessageEvent<FromSheetWorker>) => void) | null
  onerror: ((event: ErrorEvent) => void) | null
}

function defaultWorker(): SheetWorkerLike | undefined {
  if (typeof Worker === 'undefined') return undefined
  return new Worker(new URL('./sheetWorker.ts', import.meta.url), { type: 'module' }) as unknown as SheetWorkerLike
}

export interface ReadTable {
  rows: number
  csv: Uint8Array
}

/** The first sheet of `bytes` as the ";" table to upload; refusals as `SpreadsheetRefused`, the rest as `NotASpreadsheetError`. */
export async function readXlsxOffThread(
  bytes: Uint8Array,
  onProgress: (p: ReadProgress) => void = () => {},
  makeWorker: () => SheetWorkerLike | undefined = defaultWorker,
): Promise<ReadTable> {
  const here = async () => (await import('./spreadsheet')).xlsxToCsv(bytes, onProgress)
  const worker = makeWorker()
  if (!worker) return here()
  let heard = false
  const outcome = await new Promise<ReadTable | 'not started'>((resolve, reject) => {
    // A worker that fails before saying anything never started (its script did not load): read here.
    // One that fails while reading gave up on this file, which is not retried on the page.
    worker.onerror = (event) => (heard ? reject(new NotASpreadsheetError(event.message || 'поток чтения таблицы остановился')) : resolve('not started'))
    worker.onmessage = ({ data }) => {
      heard = true
      if (data.type === 'progress') onProgress(data.progress)
      else if (data.type === 'done') resolve({ rows: data.rows, csv: new Uint8Array(data.csv) })
      else if (data.type === 'refused') reject(new SpreadsheetRefused(data.text))
      else reject(new NotASpreadsheetError(data.error))
    }
    // A copy goes over: the caller's bytes stay usable.
    const copy = bytes.slice().buffer as ArrayBuffer
    worker.postMessage({ type: 'read', bytes: copy }, [copy])
  }).finally(() => worker.terminate())
  return outcome === 'not started' ? here() : outcome
}
