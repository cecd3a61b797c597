/**
 * Files of the inventory: the export as an .xlsx workbook, the photo archive
 * as a .zip with a folder per unit, and the photos themselves (uploaded to
 * the address of a batch of photo ids). The stand-in serves them over HTTP;
 * demonstration mode calls the same functions inside the page.
 */
import type { Payload } from '../core/envelope'
import { EXPORT_COLUMNS, exportDate, exportFileName, exportRows, photoFolder, safeCell, type Cell } from '../inventory/exportTable'
import { FAILURE_TEXTS } from '../inventory/commands'
import { normaliseScan, type Scan } from '../inventory/records'
import type { MemoryBackend } from './backend'
import { inventoryState, photosOf, scanRecord, type InventorySession, type InventoryState } from './inventoryModel'

export const PHOTO_TYPES: readonly string[] = ['image/jpeg', 'image/png', 'image/webp', 'image/heic', 'image/heif']
export const PHOTO_MAX_BYTES = 30 * 1024 * 1024
export const PHOTOS_PER_UNIT = 5
export const PHOTO_BATCH_TTL_MS = 60 * 60 * 1000
export const FILE_TTL_MS = 60 * 60 * 1000
const EXTENSIONS: Record<string, string> = { 'image/jpeg': 'jpg', 'image/png': 'png', 'image/webp': 'webp', 'image/heic': 'heic', 'image/heif': 'heif' }
const XLSX_TYPE = 'application/vnd.openxmlformats-officedocument.spreadsheetml.sheet'

/**
 * Where export and archive links point: the service's own origin once the
 * service host has set it (a desktop fetches them as they are), relative in
 * demonstration mode.
 */
export function setInventoryFileOrigin(b: MemoryBackend, origin: string): void {
  inventoryState(b).fileOrigin = origin.replace(/\/+$/, '')
}

const refuse = (errorCode: string): Payload => ({ error: FAILURE_TEXTS[errorCode] ?? errorCode, errorCode })
const fileId = (st: InventoryState) => `f${st.nextFile++}-${Math.random().toString(36).slice(2, 10)}`
const scansOf = (st: InventoryState, s: InventorySession): Scan[] => s.scans.map((x) => normaliseScan(scanRecord(st, x))!)
/** A workbook cell: numbers stay numbers, texts are kept from being read as formulas. */
const sheetCell = (v: Cell): Cell => (typeof v === 'number' ? v : safeCell(v))

/** The rows of a session's scans as workbook cells; a unit number of digits is a number. */
const sheetRows = (st: InventoryState, s: InventorySession): Cell[][] =>
  exportRows(scansOf(st, s)).map(([unit, ...rest]) => [typeof unit === 'string' && /^\d{1,15}$/.test(unit) ? Number(unit) : unit!, ...rest].map(sheetCell))

/** The rows of an export of these sessions (several: each row led by its session's name, start and close). */
export function exportTable(st: InventoryState, sessions: readonly InventorySession[], all: boolean): Cell[][] {
  if (!all) return [[...EXPORT_COLUMNS], ...sheetRows(st, sessions[0]!)]
  const rows: Cell[][] = [['Инвентаризация', 'Начата', 'Закрыта', ...EXPORT_COLUMNS]]
  for (const s of sessions) for (const r of sheetRows(st, s)) rows.push([...[s.name, exportDate(s.startedAt), exportDate(s.closedAt)].map(sheetCell), ...r])
  return rows
}

/** Makes an export of one session (or, with `all`, of several) ready for download; answers its address. */
export function exportFile(st: InventoryState, accountId: string, sessions: readonly InventorySession[], now: number, all: boolean): Payload {
  const rows = exportTable(st, sessions, all)
  const id = fileId(st)
  const fileName = exportFileName(new Date(now), all).replace(/\.csv$/, '.xlsx')
  st.files.set(id, { kind: 'xlsx', accountId, fileName, rows, expiresAt: now + FILE_TTL_MS })
  return { url: `${st.fileOrigin}/inventory/files/${id}.xlsx`, fileName, rows: rows.length - 1 }
}

/** Makes the photo archive of a session (or of one unit) ready for download. */
export function archiveFile(st: InventoryState, s: InventorySession, unitNo: string, now: number): Payload {
  const entries: Array<{ path: string; photoId: string }> = []
  let bytes = 0
  let missing = 0
  const units = new Set<string>()
  for (const scan of scansOf(st, s)) {
    if (unitNo !== '' && scan.unitNo !== unitNo) continue
    for (const ph of photosOf(st, s.accountId, scan.scanUid)) {
      if (ph.bytes.length === 0) {
        missing++
        continue
      }
      const folder = photoFolder(scan)
      units.add(folder)
      entries.push({ path: `${folder}/${ph.id}.${EXTENSIONS[ph.type] ?? 'jpg'}`, photoId: ph.id })
      bytes += ph.bytes.length
    }
  }
  if (entries.length === 0) return refuse('empty')
  if (bytes > st.faults.archiveMaxBytes) return refuse('too-big')
  const id = fileId(st)
  const fileName = unitNo === '' ? 'foto-inventarizacii.zip' : `foto-edinicy-${unitNo.replace(/[^A-Za-z0-9_-]/g, '')}.zip`
  const expiresAt = now + FILE_TTL_MS
  st.files.set(id, { kind: 'zip', accountId: s.accountId, fileName, entries, expiresAt })
  return { url: `${st.fileOrigin}/inventory/files/${id}.zip`, fileName, files: entries.length, units: units.size, photosMissing: missing, expiresAt: new Date(expiresAt).toISOString() }
}

export interface Download { fileName: string; contentType: string; bytes: Uint8Array }

const FILE_PATH = /^\/inventory\/files\/([A-Za-z0-9-]+)\.(xlsx|zip)$/
const PHOTO_PATH = /^\/inventory\/photos\/([A-Za-z0-9-]+)$/

/** The bytes behind an inventory address (an export, an archive, a photo; with the origin or without), or null when there are none (any more). */
export async function inventoryDownload(b: MemoryBackend, url: string): Promise<Download | null> {
  const st = inventoryState(b)
  const path = url.replace(/^[a-z]+:\/\/[^/]+/i, '')
  const photo = PHOTO_PATH.exec(path)
  if (photo) {
    const ph = st.photos.get(photo[1]!)
    return ph ? { fileName: `${ph.id}.${EXTENSIONS[ph.type] ?? 'jpg'}`, contentType: ph.type, bytes: ph.bytes } : null
  }
  const m = FILE_PATH.exec(path)
  const file = m ? st.files.get(m[1]!) : undefined
  if (!file || file.kind !== m![2] || file.expiresAt <= b.now()) return null
  if (file.kind === 'xlsx') {
    // The spreadsheet library loads with the first export, not with the backend.
    const { tableToXlsx } = await import('../partsstore/spreadsheet')
    return { fileName: file.fileName, contentType: XLSX_TYPE, bytes: tableToXlsx(file.rows, 'Инвентаризация') }
  }
  const { zipSync } = await import('fflate')
  const tree: Record<string, Uint8Array> = {}
  for (const e of file.entries) {
    const ph = st.photos.get(e.photoId)
    // Photos are compressed already: stored as they are.
    if (ph) tree[e.path] = ph.bytes
  }
  return { fileName: file.fileName, contentType: 'application/zip', bytes: zipSync(tree, { level: 0 }) }
}

export interface PhotoUpload { fileId: string; fileRef: string; type: string; bytes: Uint8Array; fileName?: string }

/** The declared type, else the one the file name's extension stands for. */
function photoType(up: PhotoUpload): string {
  if (up.type !== '') return up.type.toLowerCase()
  const ext = /\.([a-z]+)$/i.exec(up.fileName ?? '')?.[1]?.toLowerCase()
  const found = Object.entries(EXTENSIONS).find(([, e]) => e === ext || (ext === 'jpeg' && e === 'jpg'))
  return found ? found[0] : ''
}

/**
 * One photo posted to a batch's address; answers the HTTP status and the
 * JSON body. Sending the same photo id again (an answer lost on the way)
 * answers as the first time did.
 */
export function acceptInventoryPhoto(b: MemoryBackend, token: string, up: PhotoUpload): { status: number; body: Payload } {
  const st = inventoryState(b)
  const fail = (status: number, error: string) => ({ status, body: { ok: false, error } })
  const batch = st.batches.get(token)
  if (!batch || batch.expiresAt <= b.now()) return fail(410, 'Ссылка для фото устарела — отправьте фото еще раз')
  if (st.faults.uploadDisabled) return fail(503, FAILURE_TEXTS['upload-disabled']!)
  if (!batch.ids.has(up.fileId)) return fail(400, 'Номер фото не из этой пачки')
  const held = st.photos.get(up.fileId)
  if (held) return { status: 200, body: { ok: true, uploadId: held.id, size: held.bytes.length } }
  const type = photoType(up)
  if (!PHOTO_TYPES.includes(type)) return fail(415, 'Это не фотография — выберите снимок с камеры или из галереи')
  if (up.bytes.length === 0) return fail(400, 'Фото пустое')
  if (up.bytes.length > PHOTO_MAX_BYTES) return fail(413, 'Снимок слишком большой — попробуйте другой')
  const own = [...st.photos.values()].filter((p) => p.accountId === batch.accountId).length
  if (own >= st.faults.photoLimit) return fail(507, FAILURE_TEXTS['photo-storage-full']!)
  const scanUid = up.fileRef.trim() || null
  if (scanUid !== null && photosOf(st, batch.accountId, scanUid).length >= PHOTOS_PER_UNIT) return fail(409, FAILURE_TEXTS['photo-limit']!)
  st.photos.set(up.fileId, { id: up.fileId, accountId: batch.accountId, scanUid, type, bytes: up.bytes, createdAt: new Date(b.now()).toISOString() })
  return { status: 200, body: { ok: true, uploadId: up.fileId, size: up.bytes.length } }
}
