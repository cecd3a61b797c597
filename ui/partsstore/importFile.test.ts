import * as XLSX from '@e965/xlsx'
import { describe, expect, it } from 'vitest'
import { readTable, writeTable } from './csvTable'
import { csvNameFor, exportUrl, mappingToSend, missingColumns, progressText, templateRows } from './importColumns'
import { normaliseImportPreview } from './records'
import { looksLikeXlsx, NotASpreadsheetError, tableToXlsx, xlsxToTable } from './spreadsheet'
import { multipartBody, readUploadReply, uploadImportFile, type UploadDeps } from './upload'

describe('the ";" table', () => {
  it.each<[string[][], string]>([
    [[['a', 'b']], 'a;b\r\n'],
    [[['a;b', 'say "hi"', 'two\nlines']], '"a;b";"say ""hi""";"two\nlines"\r\n'],
    [[['', 'x'], ['y', '']], ';x\r\ny;\r\n'],
  ])('writes and reads back %j', (rows, text) => {
    expect(writeTable(rows)).toBe(text)
    expect(readTable(text)).toEqual(rows)
  })

  it('reads LF line ends, a byte-order mark and ignores blank trailing lines', () => {
    expect(readTable('\uFEFFЗона;Ячейка\nА;1\n\n')).toEqual([['Зона', 'Ячейка'], ['А', '1']])
  })

  it('the template has the eight column titles', () => {
    expect(writeTable(templateRows())).toBe('Зона;Ячейка (путь через короба);Штрихкод ячейки;Название товара;Штрихкод товара;Количество;Цена за штуку;Комментарий\r\n')
  })
})

describe('reading an .xlsx', () => {
  function book(): Uint8Array {
    const sheet = XLSX.utils.aoa_to_sheet([
      ['Зона', 'Штрихкод товара', 'Количество', 'Цена', 'Когда'],
      ['А', 4601234567893, 2.3456, 1250.5, 45000],
      ['Б', 123456789012345678, 1, '', ''],
    ])
    // What a spreadsheet program shows: long numbers in exponent form, quantities rounded, a date.
    sheet['B2']!.z = '0.00E+00'
    sheet['C2']!.z = '0.0'
    sheet['E2']!.z = 'dd.mm.yyyy'
    const b = XLSX.utils.book_new()
    XLSX.utils.book_append_sheet(b, sheet, 'Лист1')
    return new Uint8Array(XLSX.write(b, { type: 'array', bookType: 'xlsx' }) as ArrayBuffer)
  }

  it('keeps barcodes and quantities exact and texts as shown', () => {
    const rows = xlsxToTable(book())
    expect(rows[1]).toEqual(['А', '4601234567893', '2.3456', '1250.5', '15.03.2023'])
    expect(rows[2]![1]).toBe('123456789012345680') // beyond 2^53 the file itself holds no more
    expect(rows[2]![3]).toBe('')
  })

  it('writes a sheet that reads back', () => {
    const bytes = tableToXlsx([['Зона', 'Количество'], ['А', 3]], 'Шаблон')
    expect(looksLikeXlsx(bytes)).toBe(true)
    expect(XLSX.read(bytes, { type: 'array' }).SheetNames).toEqual(['Шаблон'])
    expect(xlsxToTable(bytes)).toEqual([['Зона', 'Количество'], ['А', '3']])
  })

  it('refuses bytes that are no .xlsx', () => {
    expect(() => xlsxToTable(new TextEncoder().encode('Зона;Ячейка\r\nА;1\r\n'))).toThrow(NotASpreadsheetError)
  })

  it('an upload of a converted file carries ".csv"', () => {
    expect(csvNameFor('склад.XLSX')).toBe('склад.csv')
    expect(csvNameFor('склад.csv')).toBe('склад.csv')
  })
})

describe('mapping and texts', () => {
  it('sends only mapped keys and names the missing required columns', () => {
    expect(mappingToSend({ zone: 0, cellPath: 1, productName: 3, quantity: 5, price: undefined })).toEqual({ zone: 0, cellPath: 1, productName: 3, quantity: 5 })
    expect(missingColumns({ zone: 0, productName: 2 })).toEqual(['Ячейка (путь через короба)', 'Количество'])
  })

  it('drops suggested columns outside the headers', () => {
    expect(normaliseImportPreview({ uploadId: 'u', headers: ['a', 'b'], sampleRows: [], suggestedMapping: { zone: 1, quantity: 2, price: -1 } }).suggestedMapping).toEqual({ zone: 1 })
  })

  it.each<[number, number | undefined, string]>([[10, 500, 'обработано 10 из 500 строк'], [10, undefined, 'обработано 10 строк']])('progress %s/%s', (n, t, text) => {
    expect(progressText(n, t)).toBe(text)
  })

  it.each<[string, string]>([
    ['https://files.example/x.xlsx', 'https://files.example/x.xlsx'],
    ['/exports/1.xlsx', 'http://localhost:8787/exports/1.xlsx'],
    ['exports/1.xlsx', 'http://localhost:8787/exports/1.xlsx'],
  ])('export url %s', (url, full) => expect(exportUrl(url, 'http://localhost:8787/')).toBe(full))
})

describe('upload', () => {
  it.each<[number, string, string]>([
    [200, '{"ok":false,"error":"Файл слишком большой"}', 'Файл слишком большой'],
    [502, 'Bad gateway', 'Сервер ответил 502 при загрузке файла'],
  ])('a reply %s %s fails with its text', (status, body, text) => {
    expect(() => readUploadReply(status, body)).toThrow(text)
  })

  it('falls back to the page request when the host facility fails, and reports a transport failure', async () => {
    const seen: string[] = []
    const deps: UploadDeps = {
      inHost: () => true,
      invokePlugin: async () => {
        throw new Error('connection refused')
      },
      fetch: (async (url: string, init: RequestInit) => {
        seen.push(`${url} ${(init.body as FormData).get('file') instanceof Blob}`)
        return new Response(JSON.stringify({ ok: true, uploadId: 'up-1', size: 3, kind: 'csv' }))
      }) as unknown as typeof fetch,
      log: () => {},
    }
    await expect(uploadImportFile('http://h/', 't 1', 'a.csv', new Uint8Array([1, 2, 3]), deps)).resolves.toEqual({ uploadId: 'up-1', size: 3, kind: 'csv' })
    expect(seen).toEqual(['http://h/upload/t%201 true'])
    deps.fetch = (async () => {
      throw new TypeError('Failed to fetch')
    }) as unknown as typeof fetch
    await expect(uploadImportFile('http://h', 't', 'a.csv', new Uint8Array([1]), deps)).rejects.toThrow('Не удалось загрузить файл: Failed to fetch')
  })

  it('builds one file field', () => {
    const text = new TextDecoder().decode(multipartBody('a"b.csv', new TextEncoder().encode('x;y'), 'BND'))
    expect(text).toBe('--BND\r\nContent-Disposition: form-data; name="file"; filename="a_b.csv"\r\nContent-Type: application/octet-stream\r\n\r\nx;y\r\n--BND--\r\n')
  })
})
