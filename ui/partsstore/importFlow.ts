/**
 * One import from the device's side: the file made ready (an .xlsx becomes a
 * ";" table of its first sheet, read off the page's thread), an upload token, the upload, the preview
 * push (within 60 s), then runs with progress pushes for this upload only.
 */
import type { Payload } from '../core/envelope'
import type { PartsCommands, ImportRun } from './commands'
import { csvNameFor, PREVIEW_WAIT_S, previewTimeoutText } from './importColumns'
import { normaliseImportPreview, normaliseImportProgress, type ImportPreview, type ImportProgress, type ImportResult } from './records'
import { SpreadsheetRefused, type ReadProgress } from './sheetReading'
import type { UploadReply } from './upload'

export const EMPTY_FILE = 'Файл пустой'
export const NOT_XLSX = 'Файл не читается как таблица Excel (.xlsx) — сохраните его заново или выберите .csv'

export interface ImportFlowDeps {
  commands: Pick<PartsCommands, 'importUploadToken' | 'importRun' | 'importCancel'>
  onPush(name: string, handler: (p: Payload) => void): () => void
  upload(token: string, fileName: string, bytes: Uint8Array): Promise<UploadReply>
  /** the first sheet of an .xlsx as the ";" table to upload, with its row count (limits refuse with `SpreadsheetRefused`) */
  readXlsx(bytes: Uint8Array, onProgress: (p: ReadProgress) => void): Promise<{ rows: number; csv: Uint8Array }>
  setTimer(fn: () => void, ms: number): () => void
}

/** The bytes and name that are uploaded for a chosen file. */
export async function prepareImportFile(
  fileName: string,
  bytes: Uint8Array,
  readXlsx: ImportFlowDeps['readXlsx'],
  onProgress: (p: ReadProgress) => void = () => {},
): Promise<{ name: string; bytes: Uint8Array }> {
  if (bytes.length === 0) throw new Error(EMPTY_FILE)
  if (!/\.xlsx$/i.test(fileName)) return { name: fileName, bytes }
  let table: { rows: number; csv: Uint8Array }
  try {
    table = await readXlsx(bytes, onProgress)
  } catch (err) {
    if (err instanceof SpreadsheetRefused) throw new Error(err.message)
    throw new Error(NOT_XLSX)
  }
  if (table.rows === 0) throw new Error(EMPTY_FILE)
  return { name: csvNameFor(fileName), bytes: table.csv }
}

/** Uploads a chosen file and waits for its preview. */
export async function uploadForPreview(
  deps: ImportFlowDeps,
  fileName: string,
  raw: Uint8Array,
  onReading: (p: ReadProgress) => void = () => {},
): Promise<ImportPreview> {
  const file = await prepareImportFile(fileName, raw, deps.readXlsx, onReading)
  const { token, maxSizeBytes } = await deps.commands.importUploadToken()
  if (maxSizeBytes !== undefined && file.bytes.length > maxSizeBytes) {
    throw new Error(`Файл больше ${Math.floor(maxSizeBytes / 1024 / 1024)} МБ — разделите его на части`)
  }
  // The preview may come before the upload's own reply: pushes are kept from the start.
  const early: Payload[] = []
  let waiting: ((p: Payload) => void) | undefined
  let uploadId: string | undefined
  const off = deps.onPush('radioImportPreview', (p) => {
    if (uploadId === undefined) early.push(p)
    else if (p.uploadId === uploadId) waiting?.(p)
  })
  try {
    uploadId = (await deps.upload(token, file.name, file.bytes)).uploadId
    const already = early.find((p) => p.uploadId === uploadId)
    const push =
      already ??
      (await new Promise<Payload>((resolve, reject) => {
        const stop = deps.setTimer(() => reject(new Error(previewTimeoutText())), PREVIEW_WAIT_S * 1000)
        waiting = (p) => {
          stop()
          resolve(p)
        }
      }))
    if (typeof push.error === 'string' && push.error !== '') throw new Error(push.error)
    return normaliseImportPreview(push)
  } finally {
    off()
  }
}

/** A run (or a dry run) with its progress pushes. */
export async function runImport(deps: ImportFlowDeps, run: ImportRun, onProgress: (p: ImportProgress) => void): Promise<ImportResult> {
  const off = deps.onPush('radioImportProgress', (p) => {
    const progress = normaliseImportProgress(p)
    if (progress.uploadId === run.uploadId) onProgress(progress)
  })
  try {
    return await deps.commands.importRun(run)
  } finally {
    off()
  }
}
