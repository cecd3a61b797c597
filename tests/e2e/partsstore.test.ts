// The parts store in the desktop app against the local service host: a generated .xlsx of 500 rows
// imported with a dry run first and then for real, with its progress; the store then holds exactly the
// file's zones, nested cells and stock (long barcodes and fractional quantities exact); the export lands
// in Downloads as an .xlsx with the same rows; labels for 60 products reach the printer as 60 pages;
// malformed files get their own errors and change nothing; a row whose barcode belongs to another product
// changes neither product until the user says it is the same product.
import * as XLSX from '@e965/xlsx'
import { mkdirSync, readdirSync, readFileSync } from 'node:fs'
import { join } from 'node:path'
import { describe, expect, it } from 'vitest'
import { press, signInWithDeviceCode, useStandInRig, waitForRoute } from './harness/standInApp'
import { waitFor } from './harness/wait'
import type { Session } from './harness/webdriver'

const rig = useStandInRig()
const ACCOUNT = 'acc-master'
const PIN = '975310'
const TITLES = ['Зона', 'Ячейка (путь через короба)', 'Штрихкод ячейки', 'Название товара', 'Штрихкод товара', 'Количество', 'Цена за штуку', 'Комментарий']

interface Row {
  zone: string
  path: string
  cellBarcode: string
  product: string
  productBarcode: string
  quantity: number
}

/** 500 rows: three zones, racks / shelves / boxes, 250 products in two places each. */
function generatedRows(): Row[] {
  const rows: Row[] = []
  for (let i = 0; i < 500; i++) {
    const p = i % 250
    const zone = `Зона ${(i % 3) + 1}`
    const rack = Math.floor(i / 60) + 1
    const shelf = (Math.floor(i / 12) % 5) + 1
    const box = (i % 4) + 1
    rows.push({
      zone,
      path: `Стеллаж ${rack}/Полка ${shelf}/Короб ${box}`,
      cellBarcode: '',
      product: `Деталь ${String(p + 1).padStart(3, '0')}`,
      productBarcode: String(4600000000000 + p * 7919),
      quantity: i % 5 === 0 ? 2.75 : (i % 9) + 1,
    })
  }
  return rows
}

/** The rows as a workbook, numbers stored as numbers and shown the way spreadsheet programs round them. */
function workbook(rows: Row[]): Buffer {
  const aoa: unknown[][] = [TITLES, ...rows.map((r) => [r.zone, r.path, r.cellBarcode, r.product, Number(r.productBarcode), r.quantity, 150, ''])]
  const sheet = XLSX.utils.aoa_to_sheet(aoa)
  for (let i = 2; i <= rows.length + 1; i++) {
    sheet[`E${i}`]!.z = '0.00E+00'
    sheet[`F${i}`]!.z = '0'
  }
  const book = XLSX.utils.book_new()
  XLSX.utils.book_append_sheet(book, sheet, 'Склад')
  return Buffer.from(XLSX.write(book, { type: 'buffer', bookType: 'xlsx' }) as Buffer)
}

/** Hands a file to the import screen's file field as a user's choice would. */
async function chooseFile(session: Session, name: string, bytes: Buffer): Promise<void> {
  await session.execute(
    `const [name, b64] = arguments
     const bin = atob(b64); const bytes = new Uint8Array(bin.length)
     for (let i = 0; i < bin.length; i++) bytes[i] = bin.charCodeAt(i)
     const input = document.querySelector('[data-test="import-file"]')
     const dt = new DataTransfer(); dt.items.add(new File([bytes], name))
     input.files = dt.files; input.dispatchEvent(new Event('change'))`,
    name,
    bytes.toString('base64'),
  )
}

const message = (session: Session) => session.execute<string>('return document.querySelector(\'[data-test="parts-message"]\')?.textContent.trim() ?? ""')

interface StoreDump {
  zones: number
  cells: number
  products: number
  history: number
  rows: Array<{ zone: string; path: string; product: string; productBarcode: string; quantity: number }>
}

const key = (r: { zone: string; path: string; product: string; productBarcode: string; quantity: number }) =>
  `${r.zone}|${r.path}|${r.product}|${r.productBarcode}|${r.quantity}`

describe('the parts store in the desktop app', () => {
  it('imports, exports, prints labels and refuses malformed files', { timeout: 300_000 }, async () => {
    const { standIn } = rig
    const dump = () => standIn.control<StoreDump>('GET', `/partsstore?accountId=${ACCOUNT}`)
    const before = await dump()
    const rows = generatedRows()
    const { session, profile } = await rig.open()
    try {
      await signInWithDeviceCode(session, '45678901', 'Олег Орлов', PIN)
      await press(session, '[data-test="tile-partsstore"]')
      await waitForRoute(session, '/radio')
      await session.waitForText('[data-test="zone"]', (t) => t.includes('Основной склад'))

      // Malformed files: each its own error, nothing reaches the store.
      await press(session, '[data-test="nav-import"]')
      await waitForRoute(session, '/radio/import')
      const malformed: Array<[string, Buffer, string]> = [
        ['пусто.csv', Buffer.alloc(0), 'Файл пустой'],
        ['склад.xlsx', Buffer.from('это не таблица, а просто текст'), 'Файл не читается как таблица Excel (.xlsx) — сохраните его заново или выберите .csv'],
        ['картинка.csv', Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0xff]), 'Файл не похож на таблицу: сохраните его как .xlsx или .csv'],
      ]
      for (const [name, bytes, text] of malformed) {
        await chooseFile(session, name, bytes)
        await waitFor(`the error for ${name}`, async () => (await message(session)) === text || undefined).catch(async (err: Error) => {
          throw new Error(`${err.message}: the screen says "${await message(session)}"`)
        })
      }
      const wrong = XLSX.utils.book_new()
      XLSX.utils.book_append_sheet(wrong, XLSX.utils.aoa_to_sheet([['Артикул', 'Кол-во'], ['A-1', 2]]), 'Лист1')
      await chooseFile(session, 'артикулы.xlsx', Buffer.from(XLSX.write(wrong, { type: 'buffer', bookType: 'xlsx' }) as Buffer))
      await session.waitForText('[data-test="parts-message"]', (t) => t === 'Укажите столбцы: Зона, Ячейка (путь через короба), Название товара')
      expect(await session.execute<boolean>('return document.querySelector(\'[data-test="import-run"]\').disabled && document.querySelector(\'[data-test="import-dry-run"]\').disabled')).toBe(true)
      expect(await dump()).toEqual(before)
      await press(session, '[data-test="import-other-file"]')

      // The 500 rows: a dry run first (nothing changes), then the import, both with progress.
      await chooseFile(session, 'склад-500.xlsx', workbook(rows))
      await session.waitForText('[data-test="import-preview"]', (t) => t.includes('Деталь 001'))
      expect(await session.execute<string>('return document.querySelector(\'[data-test="map-quantity"]\').value')).toBe('5')
      await press(session, '[data-test="import-dry-run"]')
      await waitFor('the dry run', async () => (await session.findAll('[data-test="import-result"][data-dry-run="true"]'))[0], 60_000)
      const dryProgress = Number(await session.execute<string>('return document.querySelector(\'[data-test="import-result"]\').dataset.progressSeen'))
      expect(dryProgress).toBeGreaterThanOrEqual(2)
      expect(await dump()).toEqual(before)

      await press(session, '[data-test="import-run"]')
      await waitFor('the import', async () => (await session.findAll('[data-test="import-result"][data-dry-run="false"]'))[0], 60_000)
      expect(Number(await session.execute<string>('return document.querySelector(\'[data-test="import-result"]\').dataset.progressSeen'))).toBeGreaterThanOrEqual(2)
      expect(await session.findAll('[data-test="import-errors"]')).toHaveLength(0)

      const after = await dump()
      const imported = after.rows.filter((r) => r.zone.startsWith('Зона '))
      expect(imported.map(key).sort()).toEqual(rows.map(key).sort())
      expect(after.products - before.products).toBe(250)

      // A scanned box barcode finds its cell first; the cell shows the file's product and quantity.
      const first = rows[0]!
      const box = after.rows.find((r) => r.zone === first.zone && r.path === first.path) as (StoreDump['rows'][number] & { cellBarcode: string }) | undefined
      expect(box?.cellBarcode).toMatch(/^C-\d{6}$/)
      await press(session, '[data-test="nav-zones"]')
      await session.type(await session.find('[data-test="cell-search"]'), box!.cellBarcode)
      await session.waitForText('[data-test="cell-search-row"]', (t) => t.startsWith(`${first.zone} → Стеллаж 1 → Полка 1 → Короб 1`))
      await press(session, '[data-test="cell-search-row"]')
      await waitForRoute(session, (r) => r.startsWith('/radio/zones/'))
      await session.waitForText('[data-test="cell-item"]', (t) => t.includes(first.product) && t.includes(String(first.quantity)))

      // The export in Downloads holds the same rows.
      const downloads = join(profile.root, 'Downloads')
      mkdirSync(downloads, { recursive: true })
      await press(session, '[data-test="nav-zones"]')
      await press(session, '[data-test="export"]')
      await session.waitForText('[data-test="parts-message"]', (t) => t.startsWith('Выгрузили'), 30_000)
      const saved = readdirSync(downloads).filter((f) => f.endsWith('.xlsx'))
      expect(saved).toHaveLength(1)
      const book = XLSX.read(readFileSync(join(downloads, saved[0]!)), { type: 'buffer' })
      const sheet = XLSX.utils.sheet_to_json<unknown[]>(book.Sheets[book.SheetNames[0]!]!, { header: 1, raw: true })
      expect(sheet[0]).toEqual(TITLES)
      const exported = sheet.slice(1).map((r) => ({ zone: String(r[0]), path: String(r[1]), product: String(r[3]), productBarcode: String(r[4]), quantity: Number(r[5]) }))
      expect(exported.filter((r) => r.zone.startsWith('Зона ')).map(key).sort()).toEqual(rows.map(key).sort())

      // Labels for 60 products: two selections (50 and 10), 60 label pages.
      await standIn.control('POST', '/partsstore/label-capture', { printedOn: 'Этикетки' })
      await press(session, '[data-test="nav-products"]')
      await session.waitForText('[data-test="product-count"]', (t) => t.startsWith('Товаров:'))
      const tick = (from: number, to: number) =>
        session.execute(`document.querySelectorAll('[data-test="product-tick"]').forEach((el, i) => { if (i >= ${from} && i < ${to}) el.click() })`)
      await tick(0, 50)
      await session.waitForText('[data-test="label-selected"]', (t) => t === 'Выбрано: 50')
      await press(session, '[data-test="label-print"]')
      await session.waitForText('[data-test="label-result"]', (t) => t === 'Напечатано 50 на «Этикетки».', 60_000)
      await press(session, '[data-test="label-clear"]')
      await tick(50, 60)
      await session.waitForText('[data-test="label-selected"]', (t) => t === 'Выбрано: 10')
      await press(session, '[data-test="label-print"]')
      await session.waitForText('[data-test="label-result"]', (t) => t === 'Напечатано 10 на «Этикетки».', 60_000)
      const { jobs } = await standIn.control<{ jobs: Array<{ pages: number }> }>('GET', '/partsstore/labels')
      expect(jobs.reduce((n, j) => n + j.pages, 0)).toBe(60)
    } finally {
      await session.close()
    }
  })

  it('an import row with another product\'s barcode changes neither product until the user chooses', { timeout: 300_000 }, async () => {
    const { standIn } = rig
    const dump = () => standIn.control<StoreDump>('GET', `/partsstore?accountId=${ACCOUNT}`)
    const before = await dump()
    const lamp = before.rows.find((r) => r.product === 'Фильтр масляный')!
    const lampRows = (d: StoreDump) => d.rows.filter((r) => r.productBarcode === lamp.productBarcode).map(key).sort()
    const file = XLSX.utils.book_new()
    XLSX.utils.book_append_sheet(file, XLSX.utils.aoa_to_sheet([
      TITLES,
      ['Склад Г', 'Полка 1', '', 'Прокладка клапанной крышки', lamp.productBarcode, 4, 310, ''],
      ['Склад Г', 'Полка 2', '', 'Щуп масляный', '4607000100062', 2, 120, ''],
    ]), 'Лист1')
    const bytes = Buffer.from(XLSX.write(file, { type: 'buffer', bookType: 'xlsx' }) as Buffer)
    const { session } = await rig.open()
    const result = (label: string) => session.execute<string>(`return document.querySelector('[data-test="result-${label}"]')?.textContent ?? ''`)
    try {
      await signInWithDeviceCode(session, '45678901', 'Олег Орлов', PIN)
      await press(session, '[data-test="tile-partsstore"]')
      await waitForRoute(session, '/radio')
      await press(session, '[data-test="nav-import"]')
      await waitForRoute(session, '/radio/import')

      // The check lists the row; the import without a choice leaves it out, and both products as they were.
      await chooseFile(session, 'склад-г.xlsx', bytes)
      await session.waitForText('[data-test="import-preview"]', (t) => t.includes('Прокладка клапанной крышки'))
      await press(session, '[data-test="import-dry-run"]')
      const listed = await session.waitForText('[data-test="import-conflict"]', () => true, 60_000)
      expect(listed).toContain(`Строка 2: «Прокладка клапанной крышки» — штрихкод ${lamp.productBarcode} уже у товара «Фильтр масляный»`)
      expect(await session.findAll('[data-test="import-conflict"]')).toHaveLength(1)
      expect(await result('Строк с чужим или повторным штрихкодом')).toBe('1')
      await press(session, '[data-test="import-run"]')
      await waitFor('the import', async () => (await session.findAll('[data-test="import-result"][data-dry-run="false"]'))[0], 60_000)
      expect(await result('Из них не тронуты')).toBe('1')
      expect(await result('Товаров создано')).toBe('1')
      const afterSkip = await dump()
      expect(afterSkip.rows.some((r) => r.product === 'Прокладка клапанной крышки')).toBe(false)
      expect(lampRows(afterSkip)).toEqual(lampRows(before))
      expect(afterSkip.products).toBe(before.products + 1)

      // The same file again, now said to be the same product: its stock goes to the filter, under the filter's name.
      await press(session, '[data-test="import-again"]')
      await chooseFile(session, 'склад-г.xlsx', bytes)
      await session.waitForText('[data-test="import-preview"]', (t) => t.includes('Прокладка клапанной крышки'))
      await press(session, '[data-test="import-dry-run"]')
      await session.waitForText('[data-test="import-conflict"]', () => true, 60_000)
      expect(lampRows(await dump())).toEqual(lampRows(before))
      await press(session, '[data-test="import-conflict"] [data-test="conflict-same"]')
      await waitFor('the choice', async () => (await session.findAll('[data-test="import-conflict"][data-choice="same"]'))[0])
      await press(session, '[data-test="import-run"]')
      await waitFor('the import', async () => (await session.findAll('[data-test="import-result"][data-dry-run="false"]'))[0], 60_000)
      expect(await result('Из них записаны как тот же товар')).toBe('1')
      const afterSame = await dump()
      expect(afterSame.rows.some((r) => r.product === 'Прокладка клапанной крышки')).toBe(false)
      expect(lampRows(afterSame)).toEqual([...lampRows(before), key({ ...lamp, zone: 'Склад Г', path: 'Полка 1', quantity: 4 })].sort())
      expect(afterSame.products).toBe(before.products + 1)
    } finally {
      await session.close()
    }
  })
})
