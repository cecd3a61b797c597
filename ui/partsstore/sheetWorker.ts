/**
 * The worker that reads an import's .xlsx: measures the archive, reads the
 * first sheet within the limits and writes the ";" table to upload, while
 * the page's thread stays free for scans and paints. One file per worker;
 * the page ends the worker when the answer came.
 */
import { NotASpreadsheetError, SpreadsheetRefused } from './sheetReading'
import type { FromSheetWorker, ToSheetWorker } from './sheetWorkerProtocol'
import { xlsxToCsv } from './spreadsheet'

const post = (message: FromSheetWorker, transfer: Transferable[] = []) => (self as unknown as Worker).postMessage(message, transfer)

self.onmessage = (event: MessageEvent<ToSheetWorker>) => {
  if (event.data.type !== 'read') return
  try {
    const { rows, csv } = xlsxToCsv(new Uint8Array(event.data.bytes), (progress) => post({ type: 'progress', progress }))
    const whole = csv.byteOffset === 0 && csv.byteLength === csv.buffer.byteLength
    const buffer = (whole ? csv.buffer : csv.slice().buffer) as ArrayBuffer
    post({ type: 'done', rows, csv: buffer }, [buffer])
  } catch (err) {
    if (err instanceof SpreadsheetRefused) post({ type: 'refused', text: err.message })
    else post({ type: 'unreadable', error: err instanceof NotASpreadsheetError || err instanceof Error ? err.message : String(err) })
  }
}
