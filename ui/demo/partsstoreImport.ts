/**
 * Import and export of the parts store in the in-memory backend. An import
 * file comes by HTTP (`acceptPartsUpload`, called by the stand-in's
 * "/upload/<token>"), is read as a ";" table and answered with a preview
 * push; a run goes through the rows in steps with progress pushes, on a copy
 * of the store that replaces the real one only when the run ends (a dry run
 * or a cancel leaves the store as it was). Rows whose product barcode belongs
 * to another product or repeats in the file are listed and applied only as
 * the user resolved them (`resolutions`). An export is a table of every
 * placement, served as .xlsx by the stand-in.
 */
import { replyNameFor, type Payload } from '../core/envelope'
import { fold } from '../partsstore/codes'
import { readTable } from '../partsstore/csvTable'
import { IMPORT_COLUMNS } from '../partsstore/importColumns'
import type { ImportResult } from '../partsstore/records'
import type { Handler, MemoryBackend } from './backend'
import { onStore, partsStoreOf, replacePartsStore } from './partsstore'
import { findImportConflicts, readResolutions } from './partsstoreImportConflicts'
import {
  cellPath, childrenOf, copyStore, newId, ownBarcode, productCells, qtyIn, round4, setQty, zoneName, type PartsStore, type StoreCell,
} from './partsstoreModel'

export const UPLOAD_MAX_BYTES = 10 * 1024 * 1024
export const IMPORT_STEP_ROWS = 50
const IMPORT_STEP_MS = 15
const ERRORS_SHOWN = 50

interface Upload {
  uploadId: string
  accountId: string
  connId: string
  fileName: string
  rows: string[][]
}

interface ImportState {
  tokens: Map<string, { accountId: string; connId: string }>
  uploads: Map<string, Upload>
  running: Map<string, { cancelled: boolean }>
  exports: Map<string, { accountId: string; fileName: string; rows: (string | number)[][] }>
  next: number
}

function importState(b: MemoryBackend): ImportState {
  let s = b.state.get('partsImport') as ImportState | undefined
  if (!s) b.state.set('partsImport', (s = { tokens: new Map(), uploads: new Map(), running: new Map(), exports: new Map(), next: 1 }))
  return s
}

const refuse = (errorCode: string, error: string, extra: Payload = {}): Payload => ({ error, errorCode, ...extra })
const randomPart = () => Math.random().toString(36).slice(2, 10)

const SYNONYMS: Record<string, string[]> = {
  zone: ['зона', 'zone'],
  cellPath: ['ячейка', 'ячейка (путь через короба)', 'путь', 'место', 'cell'],
  cellBarcode: ['штрихкод ячейки', 'шк ячейки'],
  productName: ['название товара', 'товар', 'название', 'наименование'],
  productBarcode: ['штрихкод товара', 'штрихкод', 'шк', 'barcode'],
  quantity: ['количество', 'кол-во', 'остаток', 'qty'],
  price: ['цена за штуку', 'цена'],
  comment: ['комментарий', 'примечание'],
}

/** Columns of the file recognised by their titles. */
export function suggestMapping(headers: readonly string[]): Record<string, number> {
  const out: Record<string, number> = {}
  const folded = headers.map((h) => fold(h.trim()))
  for (const c of IMPORT_COLUMNS) {
    const names = [c.title, ...(SYNONYMS[c.key] ?? [])].map((n) => fold(n))
    const at = folded.findIndex((h, i) => names.includes(h) && !Object.values(out).includes(i))
    if (at >= 0) out[c.key] = at
  }
  return out
}

/** Reads the uploaded bytes as a table, or says why it is none. */
export function readUploadedTable(bytes: Uint8Array): { rows: string[][] } | { error: string } {
  if (bytes.length === 0) return { error: 'Файл пустой' }
  let textContent: string
  try {
    textContent = new TextDecoder('utf-8', { fatal: true }).decode(bytes)
  } catch {
    return { error: 'Файл не похож на таблицу: сохраните его как .xlsx или .csv' }
  }
  if (textContent.includes('\u0000')) return { error: 'Файл не похож на таблицу: сохраните его как .xlsx или .csv' }
  const firstLine = textContent.replace(/^\uFEFF/, '').split(/\r?\n/, 1)[0] ?? ''
  const sep = firstLine.includes(';') ? ';' : firstLine.includes('\t') ? '\t' : firstLine.includes(',') ? ',' : ';'
  const rows = readTable(textContent, sep)
  if (rows.length === 0) return { error: 'Файл пустой' }
  if (rows.length < 2) return { error: 'В файле нет строк с товарами — только заголовок' }
  return { rows }
}

/** What "/upload/<token>" answers: the JSON reply and, for an accepted file, the preview push that follows. */
export function acceptPartsUpload(b: MemoryBackend, token: string, fileName: string, bytes: Uint8Array): Payload {
  const st = importState(b)
  const owner = st.tokens.get(token)
  if (!owner) return { ok: false, error: 'Ссылка для загрузки устарела — начните импорт заново' }
  if (bytes.length === 0) return { ok: false, error: 'Файл пустой' }
  if (bytes.length > UPLOAD_MAX_BYTES) return { ok: false, error: 'Файл больше 10 МБ' }
  st.tokens.delete(token)
  const uploadId = `up-${st.next++}-${randomPart()}`
  const table = readUploadedTable(bytes)
  const push = (p: Payload) => b.pushWhere((c) => c.id === owner.connId, 'radioImportPreview', p)
  if ('error' in table) {
    setTimeout(() => push({ uploadId, error: table.error }), 0)
  } else {
    st.uploads.set(uploadId, { uploadId, accountId: owner.accountId, connId: owner.connId, fileName, rows: table.rows })
    const [headers, ...data] = table.rows
    setTimeout(() => push({ uploadId, headers, sampleRows: data.slice(0, 5), suggestedMapping: suggestMapping(headers!) }), 0)
  }
  return { ok: true, uploadId, size: bytes.length, kind: /\.xlsx$/i.test(fileName) ? 'xlsx' : 'csv' }
}

export interface ImportOptions {
  mapping: Record<string, number>
  pathSeparator: string
  barcodeAsChildCell: boolean
  quantityMode: 'set' | 'add'
}

/** A run's counts as the result carries them, and every failed row (only the first 50 are listed). */
export interface ImportTally extends Omit<ImportResult, 'dryRun'> {
  errorCount: number
}

export function emptyTally(): ImportTally {
  return {
    createdZones: 0, createdCells: 0, createdProducts: 0, updatedPlacements: 0, errors: [], warnings: [], quantityDefaulted: 0, productsWithoutCell: 0, limitSkipped: 0,
    conflicts: [], conflictsSkipped: 0, conflictsMerged: 0, errorCount: 0,
  }
}

function note(list: string[], line: string) {
  if (list.length < ERRORS_SHOWN) list.push(line)
}

/** Applies one data row (`line` is its line number in the file) to the store. */
export function importRow(s: PartsStore, row: readonly string[], line: number, o: ImportOptions, t: ImportTally, created: Set<number>): void {
  const get = (key: string) => (typeof o.mapping[key] === 'number' ? (row[o.mapping[key]!] ?? '').trim() : '')
  const zone = get('zone')
  const path = get('cellPath').split(o.pathSeparator || '/').map((x) => x.trim()).filter((x) => x !== '')
  const name = get('productName')
  const rawQty = get('quantity')
  if (row.every((v) => v.trim() === '')) return
  const fail = (why: string) => {
    t.errorCount++
    note(t.errors, `Строка ${line}: ${why}`)
  }
  if (name === '') return fail('нет названия товара')
  if (path.length > 0 && zone === '') return fail('не указана зона')
  let quantity = 1
  if (rawQty === '') t.quantityDefaulted++
  else {
    const n = Number(rawQty.replace(',', '.').replace(/\s/g, ''))
    if (!Number.isFinite(n) || n <= 0) return fail(`количество «${rawQty}» — не число больше нуля`)
    quantity = round4(n)
  }
  const rawPrice = get('price')
  const price = rawPrice === '' ? undefined : Number(rawPrice.replace(',', '.').replace(/\s/g, ''))
  if (price !== undefined && !Number.isFinite(price)) note(t.warnings, `Строка ${line}: цена «${rawPrice}» не число — не записали`)

  let cell: StoreCell | undefined
  if (zone !== '') {
    let z = s.zones.find((x) => fold(x.name) === fold(zone))
    if (!z) {
      z = { id: newId(s), name: zone }
      s.zones.push(z)
      t.createdZones++
    }
    let parentId: number | null = null
    for (const part of path) {
      let next: StoreCell | undefined = childrenOf(s, parentId, z.id).find((c) => fold(c.name) === fold(part))
      if (!next) {
        const id = newId(s)
        next = { id, name: part, barcode: null, parentId, zoneId: z.id, order: childrenOf(s, parentId, z.id).length }
        s.cells.set(id, next)
        created.add(id)
        t.createdCells++
      }
      cell = next
      parentId = next.id
    }
    const cellBarcode = get('cellBarcode')
    if (cell && cellBarcode !== '') cell = placeCellBarcode(s, cell, cellBarcode, line, o, t, created)
  }
  const productBarcode = get('productBarcode')
  let product = productBarcode !== '' ? [...s.products.values()].find((x) => x.internalBarcode === productBarcode) : undefined
  product ??= [...s.products.values()].find((x) => fold(x.name) === fold(name) && (productBarcode === '' || x.internalBarcode === productBarcode))
  if (!product) {
    const id = newId(s)
    product = { id, name, internalBarcode: productBarcode || ownBarcode('product', id), price: null, comment: '' }
    s.products.set(id, product)
    t.createdProducts++
  }
  if (price !== undefined && Number.isFinite(price)) product.price = price
  const comment = get('comment')
  if (comment !== '') product.comment = comment
  if (!cell) {
    if (productCells(s, product.id).length === 0) t.productsWithoutCell++
    return
  }
  setQty(s, cell.id, product.id, o.quantityMode === 'add' ? qtyIn(s, cell.id, product.id) + quantity : quantity)
  t.updatedPlacements++
}

function placeCellBarcode(s: PartsStore, cell: StoreCell, barcode: string, line: number, o: ImportOptions, t: ImportTally, created: Set<number>): StoreCell {
  if (!/^[\x20-\x7e]+$/.test(barcode)) {
    note(t.warnings, `Строка ${line}: штрихкод ячейки «${barcode}» с кириллицей — не записали`)
    return cell
  }
  const owner = [...s.cells.values()].find((c) => c.barcode === barcode)
  if (owner?.id === cell.id) return cell
  if (owner && owner.parentId === cell.id && o.barcodeAsChildCell) return owner
  if (owner) {
    note(t.warnings, `Строка ${line}: штрихкод ячейки «${barcode}» уже у ячейки «${owner.name}»`)
    return cell
  }
  if (cell.barcode === null) {
    cell.barcode = barcode
    return cell
  }
  if (!o.barcodeAsChildCell) {
    note(t.warnings, `Строка ${line}: у ячейки «${cell.name}» уже другой штрихкод`)
    return cell
  }
  // The barcode of a box inside the cell: the box becomes a cell of its own.
  const id = newId(s)
  const box: StoreCell = { id, name: barcode, barcode, parentId: cell.id, zoneId: cell.zoneId, order: childrenOf(s, cell.id, cell.zoneId).length }
  s.cells.set(id, box)
  created.add(id)
  t.createdCells++
  return box
}

/** Cells the import made without a barcode get the store's own. */
export function finishImport(s: PartsStore, created: ReadonlySet<number>): void {
  for (const id of created) {
    const c = s.cells.get(id)
    if (c && c.barcode === null) c.barcode = ownBarcode('cell', id)
  }
}

function exportRows(s: PartsStore): (string | number)[][] {
  const rows: (string | number)[][] = [IMPORT_COLUMNS.map((c) => c.title)]
  const placed = new Set<number>()
  const cells = [...s.cells.values()].sort((a, b) => {
    const pa = [zoneName(s, a.zoneId), ...cellPath(s, a.id)].join('\u0000')
    const pb = [zoneName(s, b.zoneId), ...cellPath(s, b.id)].join('\u0000')
    return pa < pb ? -1 : pa > pb ? 1 : 0
  })
  for (const c of cells) {
    for (const [productId, quantity] of s.stock.get(c.id) ?? []) {
      const p = s.products.get(productId)
      if (!p) continue
      placed.add(productId)
      rows.push([zoneName(s, c.zoneId), cellPath(s, c.id).join('/'), c.barcode ?? '', p.name, p.internalBarcode, quantity, p.price ?? '', p.comment])
    }
  }
  for (const p of s.products.values()) if (!placed.has(p.id)) rows.push(['', '', '', p.name, p.internalBarcode, 0, p.price ?? '', p.comment])
  return rows
}

/** The rows of an export made earlier, for the stand-in's file route. */
export function partsExportFile(b: MemoryBackend, id: string): { fileName: string; rows: (string | number)[][] } | undefined {
  return importState(b).exports.get(id)
}

export const partsImportHandlers: Record<string, Handler> = {
  radioImportUploadToken: /*#__PURE__*/ onStore(({ ctx, accountId }) => {
    const token = `${randomPart()}${randomPart()}`
    importState(ctx.backend).tokens.set(token, { accountId, connId: ctx.conn.id })
    return { token, maxSizeBytes: UPLOAD_MAX_BYTES }
  }),

  radioImportCancel: /*#__PURE__*/ onStore(({ ctx }, p) => {
    const run = importState(ctx.backend).running.get(String(p.uploadId))
    if (run) run.cancelled = true
    return { ok: true }
  }),

  radioImportRun: /*#__PURE__*/ onStore(({ ctx, accountId }, p) => {
    const st = importState(ctx.backend)
    const uploadId = String(p.uploadId ?? '')
    const upload = st.uploads.get(uploadId)
    if (!upload || upload.accountId !== accountId) return refuse('upload_not_found', 'Файл не найден — загрузите его еще раз')
    const mapping: Record<string, number> = {}
    const raw = typeof p.mapping === 'object' && p.mapping !== null ? (p.mapping as Payload) : {}
    const width = upload.rows[0]!.length
    for (const [k, v] of Object.entries(raw)) if (typeof v === 'number' && Number.isInteger(v) && v >= 0 && v < width) mapping[k] = v
    const missing = IMPORT_COLUMNS.filter((c) => c.required && mapping[c.key] === undefined).map((c) => c.title)
    if (missing.length > 0) return refuse('bad_mapping', `Не указаны столбцы: ${missing.join(', ')}`)
    if (st.running.has(uploadId)) return refuse('running', 'Импорт этого файла уже идет')
    const options: ImportOptions = {
      mapping,
      pathSeparator: typeof p.pathSeparator === 'string' && p.pathSeparator !== '' ? p.pathSeparator : '/',
      barcodeAsChildCell: p.barcodeAsChildCell !== false,
      quantityMode: p.quantityMode === 'add' ? 'add' : 'set',
    }
    const dryRun = p.dryRun === true
    const work = copyStore(partsStoreOf(ctx.backend, accountId))
    const data = upload.rows.slice(1)
    const tally = emptyTally()
    // Rows that would change another product wait for the user's word, in a dry run and a run alike.
    const conflicts = findImportConflicts(work, data, options)
    const resolutions = readResolutions(p.resolutions)
    tally.conflicts = [...conflicts.values()]
    const created = new Set<number>()
    const run = { cancelled: false }
    st.running.set(uploadId, run)
    const conn = ctx.conn
    const progress = (processed: number) => conn.push('radioImportProgress', { uploadId, processed, total: data.length })
    let at = 0
    const step = () => {
      if (run.cancelled) {
        st.running.delete(uploadId)
        conn.push(replyNameFor('radioImportRun'), refuse('cancelled', 'Импорт прерван — ничего не изменилось'))
        return
      }
      const end = Math.min(data.length, at + IMPORT_STEP_ROWS)
      for (; at < end; at++) {
        const line = at + 2
        if (conflicts.has(line)) {
          if (resolutions.get(line) !== 'same') {
            tally.conflictsSkipped++
            continue
          }
          tally.conflictsMerged++
        }
        importRow(work, data[at]!, line, options, tally, created)
      }
      progress(at)
      if (at < data.length) return void setTimeout(step, IMPORT_STEP_MS)
      st.running.delete(uploadId)
      finishImport(work, created)
      if (!dryRun) {
        replacePartsStore(ctx.backend, accountId, work)
        st.uploads.delete(uploadId)
      }
      const { errorCount: _n, ...result } = tally
      conn.push(replyNameFor('radioImportRun'), { ...result, dryRun })
    }
    setTimeout(step, IMPORT_STEP_MS)
    return null
  }),

  radioExport: /*#__PURE__*/ onStore(({ ctx, accountId, store }) => {
    const st = importState(ctx.backend)
    const id = `ex-${st.next++}-${randomPart()}`
    const rows = exportRows(store)
    const day = new Date(ctx.now).toISOString().slice(0, 10)
    const fileName = `склад-деталей-${day}.xlsx`
    st.exports.set(id, { accountId, fileName, rows })
    return { url: `/exports/${id}.xlsx`, fileName, rows: rows.length - 1, products: store.products.size }
  }),
}
