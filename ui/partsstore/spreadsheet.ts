/**
 * .xlsx in the parts store: the first sheet of an import file read as a
 * table of texts, and tables written as a one-sheet workbook (the template,
 * the export). Loaded only when a spreadsheet is at hand.
 */
import * as XLSX from '@e965/xlsx'

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

export class NotASpreadsheetError extends Error {}

/** The first sheet as rows of texts (an empty cell an empty text). */
export function xlsxToTable(bytes: Uint8Array): string[][] {
  // The library reads almost anything as some sheet; an .xlsx is a zip archive or it is no .xlsx.
  if (!looksLikeXlsx(bytes)) throw new NotASpreadsheetError('not a zip archive')
  let book: XLSX.WorkBook
  try {
    book = XLSX.read(bytes, { type: 'array', cellText: true, cellNF: true, cellDates: false })
  } catch (err) {
    throw new NotASpreadsheetError(err instanceof Error ? err.message : String(err))
  }
  const name = book.SheetNames[0]
  const sheet = name === undefined ? undefined : book.Sheets[name]
  if (!sheet || !sheet['!ref']) return []
  const range = XLSX.utils.decode_range(sheet['!ref'])
  const rows: string[][] = []
  for (let r = range.s.r; r <= range.e.r; r++) {
    const row: string[] = []
    for (let c = range.s.c; c <= range.e.c; c++) row.push(cellText(sheet[XLSX.utils.encode_cell({ r, c })] as XLSX.CellObject | undefined))
    rows.push(row)
  }
  while (rows.length > 0 && rows[rows.length - 1]!.every((v) => v === '')) rows.pop()
  return rows
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
