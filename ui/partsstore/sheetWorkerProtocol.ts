/** Messages between the page and the worker that reads an import's .xlsx. */
import type { ReadProgress } from './sheetReading'

/** The file's bytes, handed over (not copied). */
export type ToSheetWorker = { type: 'read'; bytes: ArrayBuffer }

export type FromSheetWorker =
  | { type: 'progress'; progress: ReadProgress }
  /** the ";" table to upload, handed over */
  | { type: 'done'; rows: number; csv: ArrayBuffer }
  /** a limit: `text` is for the user */
  | { type: 'refused'; text: string }
  | { type: 'unreadable'; error: string }
