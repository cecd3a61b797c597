/**
 * .xlsx in the parts store: the first sheet of an import file read as a
 * table of texts, and tables written as a one-sheet workbook (the template,
 * the export). Loaded only when a spreadsheet is at hand.
 */
import * as XLSX from '@e965/xlsx'
import { writeTable } from './csvTable'
import {
  cellTooLongText, NotASpreadsheetError, SpreadsheetRefused, tooLargeInflatedText, tooManyColumnsText, tooManyRowsText, type ReadProgress,
} from './sheetReading'
import { ArchiveTooLargeError, MAX_INFLATED_BYTES, measureArchive } from './xlsxArchive'

export { NotASpreadsheetError, SpreadsheetRefused } from './sheetReading'

/** A number as a plain decimal text, never in exponent form. */
export function plainNumber(v: number): string {
  if (Number.isInteger(v) && Math.abs(v) >= 1e21) return BigInt(v).toString()
  const s = String(v)
  if (!/e/i.test(s)) return s
  return v.toFixed(20).replace(/\.?0+$/, '')
}

/** A date cell as shown; a format the library cannot apply reads as day.month.year. */
function dateText(format: string | number, serial: number): string {
  try {
    return XLSX.SSF.format(format, serial)
  } catch {
    const d = XLSX.SSF.parse_date_code(serial)
    const two = (n: number) => String(n).padStart(2, '0')
    return `${two(d.d)}.${two(d.m)}.${d.y}`
  }
}

function cellText(cell: XLSX.CellObject | undefined): string {
  if (!cell || cell.t === 'z' || cell.v === undefined || cell.v === null) return ''
  // Numbers keep their exact value: the shown text turns long barcodes into
  // exponent form and rounds quantities to the column's format. Dates show as dated.
  if (cell.t === 'n') {
    const z = cell.z
    if (z === undefined || !XLSX.SSF.is_date(z)) return plainNumber(cell.v as number)
    return typeof cell.w === 'string' ? cell.w : dateText(z, cell.v as number)
  }
  if (typeof cell.w === 'string') return cell.w
  return String(cell.v)
}

/** Rows an import file may hold (the header row included). */
export const MAX_ROWS = 100_000
/** Columns an import file may fill. */
export const MAX_COLUMNS = 200
/** The longest text one cell may hold. */
export const MAX_CELL_CHARS = 1000

export interface ReadLimits {
  inflatedBytes: number
  rows: number
  columns: number
  cellChars: number
}

export const READ_LIMITS: ReadLimits = Object.freeze({ inflatedBytes: MAX_INFLATED_BYTES, rows: MAX_ROWS, columns: MAX_COLUMNS, cellChars: MAX_CELL_CHARS })

const ROWS_PER_REPORT = 5000

/**
 * The first sheet as rows of texts (an empty cell an empty text). What is read is bounded by what the file
 * holds, not by what it declares: the archive is measured before it is inflated, the sheet is read row by
 * row as its cells come (a declared range of the whole grid costs nothing), and each row ends at its last
 * filled cell. Limits refuse with `SpreadsheetRefused`.
 */
export function xlsxToTable(bytes: Uint8Array, onProgress: (p: ReadProgress) => void = () => {}, limits: ReadLimits = READ_LIMITS): string[][] {
  // The library reads almost anything as some sheet; an .xlsx is a zip archive or it is no .xlsx.
  if (!looksLikeXlsx(bytes)) throw new NotASpreadsheetError('not a zip archive')
  try {
    // One report per whole percent: the archive goes through in small pieces.
    let shown = -1
    measureArchive(bytes, limits.inflatedBytes, (done, total) => {
      const percent = total > 0 ? Math.floor((done * 100) / total) : 100
      if (percent === shown) return
      shown = percent
      onProgress({ stage: 'unpack', done, total })
    })
  } catch (err) {
    if (err instanceof ArchiveTooLargeError) throw new SpreadsheetRefused(tooLargeInflatedText(limits.inflatedBytes))
    throw new NotASpreadsheetError(err instanceof Error ? err.message : String(err))
  }
  onProgress({ stage: 'parse' })
  let book: XLSX.WorkBook
  try {
    // Dense sheets keep rows as they come: a declared range costs nothing. No row limit is passed to the
    // library: it would drop the rows past it without a word; the measured archive bounds its work instead.
    book = XLSX.read(bytes, { type: 'array', cellText: true, cellNF: true, cellDates: false, dense: true })
  } catch (err) {
    throw new NotASpreadsheetError(err instanceof Error ? err.message : String(err))
  }
  const name = book.SheetNames[0]
  const sheet = name === undefined ? undefined : (book.Sheets[name] as XLSX.WorkSheet & { '!data'?: (XLSX.CellObject | undefined)[][] })
  const data = sheet?.['!data']
  if (!sheet || !sheet['!ref'] || !data) return []
  const start = XLSX.utils.decode_range(sheet['!ref']).s
  const filled: Array<[number, string[]]> = []
  const total = Math.max(0, data.length - start.r)
  for (let r = start.r; r < data.length; r++) {
    const at = r - start.r
    if (at > 0 && at % ROWS_PER_REPORT === 0) onProgress({ stage: 'rows', done: at, total })
    const cells = data[r]
    if (!cells) continue
    const row: string[] = []
    for (let c = start.c; c < cells.length; c++) {
      const text = cellText(cells[c])
      row.push(text)
      if (text === '') continue
      if (c - start.c >= limits.columns) throw new SpreadsheetRefused(tooManyColumnsText(limits.columns))
      if (text.length > limits.cellChars) {
        throw new SpreadsheetRefused(cellTooLongText(XLSX.utils.encode_cell({ r, c }), text.length, limits.cellChars))
      }
    }
    // The row ends at its last filled cell, wherever the sheet says its range ends.
    while (row.length > 0 && row[row.length - 1] === '') row.pop()
    if (row.length === 0) continue
    if (at >= limits.rows) throw new SpreadsheetRefused(tooManyRowsText(limits.rows))
    filled.push([at, row])
  }
  const width = filled.reduce((w, [, row]) => Math.max(w, row.length), 0)
  const rows: string[][] = Array.from({ length: filled.length > 0 ? filled[filled.length - 1]![0] + 1 : 0 }, () => [])
  for (const [at, row] of filled) rows[at] = row
  for (const row of rows) while (row.length < width) row.push('')
  return rows
}

/** The first sheet written as the ";" table that is uploaded, and how many rows it has. */
export function xlsxToCsv(bytes: Uint8Array, onProgress?: (p: ReadProgress) => void, limits?: ReadLimits): { rows: number; csv: Uint8Array } {
  const rows = xlsxToTable(bytes, onProgress, limits)
  return { rows: rows.length, csv: new TextEncoder().encode(writeTable(rows)) }
}

/** A workbook of one sheet; a cell is a text or a number. */
export function tableToXlsx(rows: readonly (readonly (string | number)[])[], sheetName: string): Uint8Array {
  const book = XLSX.utils.book_new()
  XLSX.utils.book_append_sheet(book, XLSX.utils.aoa_to_sheet(rows.map((r) => [...r])), sheetName)
  return new Uint8Array(XLSX.write(book, { type: 'array', bookType: 'xlsx' }) as ArrayBuffer)
}

/** Whether bytes look like an .xlsx (a zip archive). */
export function looksLikeXlsx(bytes: Uint8Array): boolean {
  return bytes.length > 4 && bytes[0] === 0x50 && bytes[1] === 0x4b && bytes[2] === 0x03 && bytes[3] === 0x04
}
