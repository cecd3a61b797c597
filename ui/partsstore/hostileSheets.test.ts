// Hostile .xlsx files made here, each read as its real rows or refused before
// it costs more than the limits: a sheet declaring the whole grid, zip bombs
// (declared honestly, lying about their size, one entry's data listed many
// times), a huge cell, too many rows or columns.
import { Deflate, deflateSync, strToU8, zipSync } from 'fflate'
import { describe, expect, it, vi } from 'vitest'
import { EMPTY_FILE, NOT_XLSX, prepareImportFile } from './importFlow'
import { readProgressText, type ReadProgress } from './sheetReading'
import { readXlsxOffThread, type SheetWorkerLike } from './sheetReader'
import type { FromSheetWorker } from './sheetWorkerProtocol'
import { NotASpreadsheetError, READ_LIMITS, SpreadsheetRefused, xlsxToTable } from './spreadsheet'
import { ArchiveTooLargeError, MAX_INFLATED_BYTES, measureArchive } from './xlsxArchive'

const MB = 1024 * 1024

/** The parts of a workbook besides its one sheet. */
const FRAME: Record<string, string> = {
  '[Content_Types].xml':
    '<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">' +
    '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/><Default Extension="xml" ContentType="application/xml"/>' +
    '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>' +
    '<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/></Types>',
  '_rels/.rels':
    '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">' +
    '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/></Relationships>',
  'xl/workbook.xml':
    '<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" ' +
    'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets><sheet name="Лист1" sheetId="1" r:id="rId1"/></sheets></workbook>',
  'xl/_rels/workbook.xml.rels':
    '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">' +
    '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/></Relationships>',
}

const column = (c: number) => {
  let s = ''
  for (let n = c + 1; n > 0; n = Math.floor((n - 1) / 26)) s = String.fromCharCode(65 + ((n - 1) % 26)) + s
  return s
}

/** A sheet of inline texts: cells as [row, column, text] (0-based), with the dimension it declares. */
function sheetXml(cells: ReadonlyArray<readonly [number, number, string]>, dimension = ''): string {
  const rows = new Map<number, string[]>()
  for (const [r, c, text] of cells) {
    const list = rows.get(r) ?? []
    list.push(`<c r="${column(c)}${r + 1}" t="inlineStr"><is><t>${text}</t></is></c>`)
    rows.set(r, list)
  }
  const body = [...rows].sort(([a], [b]) => a - b).map(([r, list]) => `<row r="${r + 1}">${list.join('')}</row>`).join('')
  return (
    '<?xml version="1.0" encoding="UTF-8"?><worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">' +
    (dimension ? `<dimension ref="${dimension}"/>` : '') +
    `<sheetData>${body}</sheetData></worksheet>`
  )
}

/** An honest workbook (real sizes and checksums) around `sheet`. */
function workbook(sheet: string): Uint8Array {
  const files: Record<string, Uint8Array> = {}
  for (const [name, text] of Object.entries(FRAME)) files[name] = strToU8(text)
  files['xl/worksheets/sheet1.xml'] = strToU8(sheet)
  return zipSync(files)
}

const table = (rows: number, width = 3) =>
  Array.from({ length: rows * width }, (_, i) => [Math.floor(i / width), i % width, `r${Math.floor(i / width)}c${i % width}`] as const)

/** `size` bytes of blanks, deflated in pieces so the test never holds them. */
function deflatedBlanks(size: number): Uint8Array {
  const parts: Uint8Array[] = []
  const deflate = new Deflate({ level: 1 }, (chunk) => parts.push(chunk))
  const piece = new Uint8Array(MB).fill(0x20)
  for (let left = size; left > 0; left -= MB) deflate.push(left > MB ? piece : piece.subarray(0, left), left <= MB)
  const out = new Uint8Array(parts.reduce((n, p) => n + p.length, 0))
  parts.reduce((at, p) => (out.set(p, at), at + p.length), 0)
  return out
}

interface RawEntry {
  name: string
  /** deflated data, or the index of an earlier entry whose data this one points at */
  data: Uint8Array | number
  /** the inflated size the directory declares */
  declared: number
}

/** A zip archive written by hand, so that it can declare whatever it likes (checksums left 0). */
function rawZip(entries: readonly RawEntry[]): Uint8Array {
  const chunks: Uint8Array[] = []
  let at = 0
  const put = (b: Uint8Array) => (chunks.push(b), (at += b.length))
  const header = (size: number, fill: (v: DataView) => void) => {
    const b = new Uint8Array(size)
    fill(new DataView(b.buffer))
    return b
  }
  const placed: Array<{ offset: number; compressed: number }> = []
  const names = entries.map((e) => strToU8(e.name))
  entries.forEach((e, i) => {
    if (typeof e.data === 'number') return void placed.push(placed[e.data]!)
    const data = e.data
    placed.push({ offset: at, compressed: data.length })
    put(header(30, (v) => {
      v.setUint32(0, 0x04034b50, true)
      v.setUint16(4, 20, true)
      v.setUint16(8, 8, true)
      v.setUint32(18, data.length, true)
      v.setUint32(22, e.declared, true)
      v.setUint16(26, names[i]!.length, true)
    }))
    put(names[i]!)
    put(data)
  })
  const directoryAt = at
  entries.forEach((e, i) => {
    put(header(46, (v) => {
      v.setUint32(0, 0x02014b50, true)
      v.setUint16(4, 20, true)
      v.setUint16(6, 20, true)
      v.setUint16(10, 8, true)
      v.setUint32(20, placed[i]!.compressed, true)
      v.setUint32(24, e.declared, true)
      v.setUint16(28, names[i]!.length, true)
      v.setUint32(42, placed[i]!.offset, true)
    }))
    put(names[i]!)
  })
  const directorySize = at - directoryAt
  put(header(22, (v) => {
    v.setUint32(0, 0x06054b50, true)
    v.setUint16(8, entries.length, true)
    v.setUint16(10, entries.length, true)
    v.setUint32(12, directorySize, true)
    v.setUint32(16, directoryAt, true)
  }))
  const out = new Uint8Array(at)
  chunks.reduce((o, c) => (out.set(c, o), o + c.length), 0)
  return out
}

/** The workbook's frame as raw entries, then `more`. */
function rawWorkbook(more: RawEntry[]): Uint8Array {
  const frame = Object.entries(FRAME).map(([name, text]) => ({ name, data: deflateSync(strToU8(text)), declared: strToU8(text).length }))
  return rawZip([...frame, ...more.map((e) => (typeof e.data === 'number' ? { ...e, data: e.data + frame.length } : e))])
}

const refusedWith = (bytes: Uint8Array, limits = READ_LIMITS): string => {
  try {
    xlsxToTable(bytes, undefined, limits)
  } catch (err) {
    if (err instanceof SpreadsheetRefused) return err.message
    if (err instanceof NotASpreadsheetError) return `unreadable: ${err.message}`
    throw err
  }
  return 'read'
}

describe('hostile spreadsheets', () => {
  it('a sheet declaring the whole grid reads as the rows it holds', () => {
    const bytes = workbook(sheetXml([[0, 0, 'Зона'], [0, 1, 'Товар'], [1, 0, 'А'], [1, 1, 'Лампа'], [3, 1, 'Фильтр']], 'A1:XFD1048576'))
    expect(bytes.length).toBeLessThan(4096)
    expect(xlsxToTable(bytes)).toEqual([['Зона', 'Товар'], ['А', 'Лампа'], ['', ''], ['', 'Фильтр']])
  }, 60_000)

  const bomb = deflatedBlanks(MAX_INFLATED_BYTES + 8 * MB)
  const blanks5 = deflatedBlanks(5 * MB)
  const tooLarge = 'Файл слишком большой: в распакованном виде больше 40 МБ — разделите его на части'

  it.each<[string, () => Uint8Array, string]>([
    ['a zip bomb that declares its size', () => rawWorkbook([{ name: 'xl/worksheets/sheet1.xml', data: new Uint8Array([3, 0]), declared: 4000 * MB }]), tooLarge],
    ['a zip bomb that claims to be small', () => rawWorkbook([{ name: 'xl/worksheets/sheet1.xml', data: bomb, declared: 1000 }]), tooLarge],
    [
      'one small entry listed many times',
      () => rawWorkbook([{ name: 'xl/worksheets/sheet1.xml', data: blanks5, declared: 100 }, ...Array.from({ length: 9 }, (_, i) => ({ name: `xl/media/image${i}.png`, data: 0, declared: 100 }))]),
      tooLarge,
    ],
    ['a cell of 5 MB', () => workbook(sheetXml([[0, 0, 'Зона'], [0, 1, 'Товар'], [1, 0, 'А'], [1, 1, 'x'.repeat(5 * MB)]])),
      'Ячейка B2 слишком длинная: 5\u00a0242\u00a0880 символов, можно не больше 1\u00a0000 — сократите текст и загрузите файл снова'],
    ['a cell in the last column', () => workbook(sheetXml([[0, 0, 'Зона'], [0, 16383, 'x']])),
      'Файл слишком большой: заполнены столбцы дальше 200-го — оставьте в листе только столбцы для импорта'],
    ['a cell in the last row', () => workbook(sheetXml([[0, 0, 'Зона'], [1048575, 0, 'x']])),
      'Файл слишком большой: больше 100\u00a0000 строк — разделите его на части'],
    ['an archive cut short', () => workbook(sheetXml(table(3))).subarray(0, 300), 'unreadable: no end of the central directory'],
  ])('%s is refused', (_, make, expected) => {
    expect(refusedWith(make())).toBe(expected)
  }, 60_000)

  it('a bomb is refused within one piece of the limit, whatever it claims', () => {
    const lying = rawWorkbook([{ name: 'xl/worksheets/sheet1.xml', data: bomb, declared: 1000 }])
    let refused: unknown
    try {
      measureArchive(lying)
    } catch (err) {
      refused = err
    }
    expect(refused).toBeInstanceOf(ArchiveTooLargeError)
    // Inflated in pieces and counted, never kept: what was inflated stays near the limit.
    expect((refused as ArchiveTooLargeError).inflated).toBeLessThan(MAX_INFLATED_BYTES + 5 * MB)
  }, 60_000)

  it('the row limit refuses one row more and reads the last allowed one', () => {
    const limits = { ...READ_LIMITS, rows: 100 }
    expect(refusedWith(workbook(sheetXml(table(101))), limits)).toBe('Файл слишком большой: больше 100 строк — разделите его на части')
    expect(xlsxToTable(workbook(sheetXml(table(100))), undefined, limits)).toHaveLength(100)
  }, 60_000)

  it('a large file reports how far reading has gone', () => {
    const seen: ReadProgress[] = []
    const rows = xlsxToTable(workbook(sheetXml(table(12_000, 2))), (p) => seen.push(p))
    expect(rows).toHaveLength(12_000)
    expect(seen.map(readProgressText)).toEqual(
      expect.arrayContaining(['Распаковываем файл: 100%', 'Читаем таблицу…', 'Читаем строки: 5\u00a0000 из 12\u00a0000', 'Читаем строки: 10\u00a0000 из 12\u00a0000']),
    )
  }, 60_000)
})

describe('reading an .xlsx off the page', () => {
  /** A worker that answers with `answers` when it gets the bytes. */
  function fakeWorker(answers: FromSheetWorker[] | 'crash' | 'no script') {
    const worker: SheetWorkerLike & { got?: ArrayBuffer } = {
      onmessage: null,
      onerror: null,
      terminate: vi.fn(),
      postMessage(message) {
        worker.got = message.bytes
        queueMicrotask(() => {
          if (answers === 'no script') worker.onerror?.({ message: 'failed to load' } as ErrorEvent)
          else if (answers === 'crash') {
            worker.onmessage?.({ data: { type: 'progress', progress: { stage: 'parse' } } } as MessageEvent<FromSheetWorker>)
            worker.onerror?.({ message: 'out of memory' } as ErrorEvent)
          } else for (const data of answers) worker.onmessage?.({ data } as MessageEvent<FromSheetWorker>)
        })
      },
    }
    return worker
  }

  it.each<[string, FromSheetWorker[] | 'crash' | 'no script', string]>([
    ['a table', [{ type: 'progress', progress: { stage: 'parse' } }, { type: 'done', rows: 2, csv: strToU8('a;b\r\n1;2\r\n').buffer as ArrayBuffer }], 'a;b\r\n1;2\r\n'],
    ['a refusal', [{ type: 'refused', text: 'Файл слишком большой: больше 100 строк — разделите его на части' }], 'Файл слишком большой: больше 100 строк — разделите его на части'],
    ['no workbook', [{ type: 'unreadable', error: 'not a zip archive' }], NOT_XLSX],
    ['a worker that died while reading', 'crash', NOT_XLSX],
    // A worker whose script never loaded: the page reads the file itself.
    ['a worker that never started', 'no script', 'r0c0;r0c1;r0c2\r\nr1c0;r1c1;r1c2\r\n'],
    ['no rows', [{ type: 'done', rows: 0, csv: new ArrayBuffer(0) }], EMPTY_FILE],
  ])('%s: the import gets what to upload or the text to show', async (_, answers, expected) => {
    const worker = fakeWorker(answers)
    const progress: ReadProgress[] = []
    const bytes = workbook(sheetXml(table(2)))
    const read = prepareImportFile('склад.xlsx', bytes, (b, onProgress) => readXlsxOffThread(b, onProgress, () => worker), (p) => progress.push(p))
    const outcome = await read.then((f) => new TextDecoder().decode(f.bytes), (err: Error) => err.message)
    expect(outcome).toBe(expected)
    expect(worker.terminate).toHaveBeenCalledOnce()
    // The worker got a copy: the page's bytes are still whole.
    expect(worker.got?.byteLength).toBe(bytes.length)
    expect(bytes.length).toBeGreaterThan(0)
    if (expected.startsWith('a;b')) expect(progress).toEqual([{ stage: 'parse' }])
    if (answers === 'no script') expect(progress).toContainEqual({ stage: 'parse' })
  })

  it('without workers the same reader runs on the page', async () => {
    const table2 = await readXlsxOffThread(workbook(sheetXml([[0, 0, 'Зона'], [1, 0, 'А']])), undefined, () => undefined)
    expect(new TextDecoder().decode(table2.csv)).toBe('Зона\r\nА\r\n')
    expect(table2.rows).toBe(2)
  })
})
