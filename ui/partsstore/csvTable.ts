/**
 * The ";" table of imports: a value holding the separator, a double quote or
 * a line break goes in double quotes with inner quotes doubled; rows end with
 * CR LF. The reader takes what the writer makes (and LF-only line ends).
 */
export const SEPARATOR = ';'

export function quoteCell(value: string, sep = SEPARATOR): string {
  return value.includes(sep) || value.includes('"') || value.includes('\n') || value.includes('\r') ? `"${value.replace(/"/g, '""')}"` : value
}

export function writeTable(rows: readonly (readonly string[])[], sep = SEPARATOR): string {
  return rows.map((r) => r.map((v) => quoteCell(v, sep)).join(sep) + '\r\n').join('')
}

/** Rows of cells; a byte-order mark is dropped and blank trailing lines are not rows. */
export function readTable(text: string, sep = SEPARATOR): string[][] {
  const src = text.startsWith('\uFEFF') ? text.slice(1) : text
  const rows: string[][] = []
  let row: string[] = []
  let cell = ''
  let quoted = false
  let i = 0
  const endRow = () => {
    row.push(cell)
    rows.push(row)
    row = []
    cell = ''
  }
  while (i < src.length) {
    const ch = src[i]!
    if (quoted) {
      if (ch === '"') {
        if (src[i + 1] === '"') {
          cell += '"'
          i += 2
          continue
        }
        quoted = false
      } else cell += ch
      i++
      continue
    }
    if (ch === '"' && cell === '') quoted = true
    else if (ch === sep) {
      row.push(cell)
      cell = ''
    } else if (ch === '\r' && src[i + 1] === '\n') {
      endRow()
      i++
    } else if (ch === '\n') endRow()
    else cell += ch
    i++
  }
  if (cell !== '' || row.length > 0) endRow()
  while (rows.length > 0 && rows[rows.length - 1]!.every((c) => c === '')) rows.pop()
  return rows
}
