import { describe, expect, it } from 'vitest'
import type { Payload } from '../core/envelope'
import { writeTable } from '../partsstore/csvTable'
import { createBackend, type MemoryBackend } from './backend'
import { partsStoreOf } from './partsstore'
import { acceptPartsUpload } from './partsstoreImport'
import { setPartsLabelPrinter, type PartsLabelJob } from './partsstoreLabels'
import { demoSigner } from './tokens'

interface Rig {
  b: MemoryBackend
  ask(c: string, p?: Payload): Payload | undefined
  pushes: Array<{ c: string; p: Payload }>
  /** the next message of this name, pushed or answered later */
  next(c: string): Promise<Payload>
}

function rig(userId = 'u-oleg'): Rig {
  const b = createBackend({ sign: demoSigner })
  const identity = b.authenticate(b.openSession(userId).token)
  if ('error' in identity) throw new Error(identity.error)
  const pushes: Array<{ c: string; p: Payload }> = []
  const waiting: Array<{ c: string; resolve(p: Payload): void }> = []
  const conn = b.attach(identity, (c, p) => {
    pushes.push({ c, p })
    const i = waiting.findIndex((w) => w.c === c)
    if (i >= 0) waiting.splice(i, 1)[0]!.resolve(p)
  })
  return {
    b,
    pushes,
    ask: (c, p = {}) => b.handle(conn, c, p).map((r) => r.p)[0],
    next: (c) => new Promise((resolve) => waiting.push({ c, resolve })),
  }
}

const HEADERS = ['Зона', 'Ячейка (путь через короба)', 'Штрихкод ячейки', 'Название товара', 'Штрихкод товара', 'Количество', 'Цена за штуку', 'Комментарий']
const csv = (rows: string[][]) => new TextEncoder().encode(writeTable(rows))

async function upload(r: Rig, bytes: Uint8Array): Promise<Payload> {
  const { token } = r.ask('radioImportUploadToken') as { token: string }
  const preview = r.next('radioImportPreview')
  const reply = acceptPartsUpload(r.b, token, 'склад.csv', bytes)
  expect(reply.ok).toBe(true)
  return preview
}

describe('the parts store of the in-memory backend', () => {
  it('imports a file: a dry run changes nothing, the run builds zones, nested cells and stock with progress', async () => {
    const r = rig()
    const rows = [
      HEADERS,
      ['Склад Б', 'Стеллаж 9/Полка 1/Короб 3', 'BOX-0003', 'Свеча зажигания', '4601234567893', '12', '350,5', ''],
      ['Склад Б', 'Стеллаж 9/Полка 1', '', 'Свеча зажигания', '4601234567893', '3', '', ''],
      ['Склад Б', 'Стеллаж 9/Полка 2', '', 'Щетка', '', '', '', 'без упаковки'],
      ['', '', '', '', '', '1', '', ''],
      ['Склад Б', 'Стеллаж 9', '', 'Хомут', '', 'много', '', ''],
    ]
    const preview = await upload(r, csv(rows))
    expect(preview).toMatchObject({ headers: HEADERS, suggestedMapping: { zone: 0, cellPath: 1, cellBarcode: 2, productName: 3, productBarcode: 4, quantity: 5, price: 6, comment: 7 } })
    const run = (dryRun: boolean) => {
      const done = r.next('radioImportRun.result')
      expect(r.ask('radioImportRun', { uploadId: preview.uploadId, mapping: preview.suggestedMapping, pathSeparator: '/', dryRun })).toBeUndefined()
      return done
    }
    const before = JSON.stringify(r.ask('radioCellTree'))
    const dry = await run(true)
    expect(dry).toMatchObject({ dryRun: true, createdZones: 1, createdCells: 4, createdProducts: 2, updatedPlacements: 3, quantityDefaulted: 1 })
    expect(dry.errors).toEqual(['Строка 5: нет названия товара', 'Строка 6: количество «много» — не число больше нуля'])
    expect(JSON.stringify(r.ask('radioCellTree'))).toBe(before)
    expect(r.pushes.filter((x) => x.c === 'radioImportProgress').at(-1)?.p).toMatchObject({ processed: 5, total: 5 })

    expect(await run(false)).toMatchObject({ dryRun: false, createdCells: 4, updatedPlacements: 3 })
    const found = r.ask('radioCellByBarcode', { barcode: 'BOX-0003' }) as { cell: Payload; items: Payload[] }
    expect(found.cell).toMatchObject({ name: 'Короб 3', path: ['Стеллаж 9', 'Полка 1', 'Короб 3'], zoneName: 'Склад Б' })
    expect(found.items).toEqual([{ productId: expect.any(Number), name: 'Свеча зажигания', internalBarcode: '4601234567893', quantity: 12, price: 350.5 }])
    const spark = (r.ask('radioProductFind', { query: '4601234567893' }) as { products: Payload[] }).products[0]!
    expect(spark).toMatchObject({ quantity: 15, cellsCount: 2 })
  })

  it('leaves rows with another product\'s barcode, a repeated barcode or a second price untouched until the user says what they mean', async () => {
    const r = rig()
    const s = () => partsStoreOf(r.b, 'acc-master')
    const filter = [...s().products.values()].find((p) => p.name === 'Фильтр масляный')!
    const filterBefore = JSON.stringify({ product: filter, stock: [...s().stock].filter(([, m]) => m.has(filter.id)).map(([cell, m]) => [cell, m.get(filter.id)]) })
    const rows = [
      HEADERS,
      ['Склад В', 'Полка 1', '', 'Прокладка клапанной крышки', filter.internalBarcode, '5', '99', ''],
      ['Склад В', 'Полка 1', '', 'Свеча', '4601234567893', '2', '100', ''],
      ['Склад В', 'Полка 2', '', 'Свеча', '4601234567893', '3', '120', ''],
      ['Склад В', 'Полка 3', '', 'Щетка', '4601234567893', '1', '', ''],
    ]
    const run = async (preview: Payload, dryRun: boolean, resolutions?: Record<number, string>) => {
      const done = r.next('radioImportRun.result')
      r.ask('radioImportRun', { uploadId: preview.uploadId, mapping: preview.suggestedMapping, pathSeparator: '/', dryRun, resolutions })
      return done
    }
    const find = (q: string) => (r.ask('radioProductFind', { query: q }) as { products: Payload[] }).products
    const preview = await upload(r, csv(rows))
    const dry = await run(preview, true)
    expect(dry.conflicts).toEqual([
      { line: 2, kind: 'barcode_taken', name: 'Прокладка клапанной крышки', barcode: filter.internalBarcode, otherName: 'Фильтр масляный', otherLine: 0 },
      { line: 4, kind: 'price_differs', name: 'Свеча', barcode: '4601234567893', otherName: 'Свеча', otherLine: 3, price: 120, otherPrice: 100 },
      { line: 5, kind: 'barcode_repeated', name: 'Щетка', barcode: '4601234567893', otherName: 'Свеча', otherLine: 3 },
    ])
    expect(dry).toMatchObject({ createdProducts: 1, updatedPlacements: 1, conflictsSkipped: 3, conflictsMerged: 0 })

    // The second price is meant; the gasket is skipped; the brush has no answer and stays out as well.
    expect(await run(preview, false, { 2: 'skip', 4: 'same' })).toMatchObject({ createdProducts: 1, updatedPlacements: 2, conflictsSkipped: 2, conflictsMerged: 1 })
    expect(find('Прокладка')).toEqual([])
    expect(find('Щетка').filter((p) => p.internalBarcode === '4601234567893')).toEqual([])
    expect(find('4601234567893')).toEqual([expect.objectContaining({ name: 'Свеча', price: 120, quantity: 5 })])
    const filterNow = [...s().products.values()].find((p) => p.id === filter.id)!
    expect(JSON.stringify({ product: filterNow, stock: [...s().stock].filter(([, m]) => m.has(filter.id)).map(([cell, m]) => [cell, m.get(filter.id)]) })).toBe(filterBefore)

    // Said to be the same product, the row goes to the filter under its own name.
    const again = await upload(r, csv([HEADERS, rows[1]!]))
    expect(await run(again, false, { 2: 'same' })).toMatchObject({ createdProducts: 0, conflictsMerged: 1, conflictsSkipped: 0 })
    expect(find(filter.internalBarcode)).toEqual([expect.objectContaining({ id: filter.id, name: 'Фильтр масляный', price: 99 })])
  })

  it.each<[string, Uint8Array, string]>([
    ['not a table', new Uint8Array([0x50, 0x4b, 0x03, 0x04, 0xff, 0xfe, 0x00]), 'Файл не похож на таблицу: сохраните его как .xlsx или .csv'],
    ['a header only', csv([HEADERS]), 'В файле нет строк с товарами — только заголовок'],
  ])('a file that is %s gets a preview error', async (_w, bytes, error) => {
    const r = rig()
    expect(await upload(r, bytes)).toMatchObject({ error })
  })

  it('refuses a run without the required columns and an upload with a stale token', async () => {
    const r = rig()
    const preview = await upload(r, csv([['Артикул', 'Кол-во'], ['A-1', '2']]))
    expect(preview.suggestedMapping).toEqual({ quantity: 1 })
    expect(r.ask('radioImportRun', { uploadId: preview.uploadId, mapping: { quantity: 1 }, pathSeparator: '/' })).toMatchObject({
      errorCode: 'bad_mapping',
      error: 'Не указаны столбцы: Зона, Ячейка (путь через короба), Название товара',
    })
    expect(acceptPartsUpload(r.b, 'nope', 'a.csv', csv([HEADERS]))).toMatchObject({ ok: false })
  })

  it('puts, takes and undoes; an undone entry cannot be undone again', () => {
    const r = rig()
    const s = partsStoreOf(r.b, 'acc-master')
    const cell = [...s.cells.values()].find((c) => c.name === 'Полка 2')!
    const product = [...s.products.values()].find((p) => p.name === 'Фильтр масляный')!
    expect(r.ask('radioPlacementPut', { cellId: cell.id, productId: product.id, quantity: 4 })).toMatchObject({ quantity: 10 })
    expect(r.ask('radioPlacementTake', { cellId: cell.id, productId: product.id, quantity: 11 })).toMatchObject({ errorCode: 'not_enough', available: 10 })
    const page = r.ask('radioHistoryList', { limit: 10 }) as { items: Payload[] }
    const put = page.items[0]!
    expect(put).toMatchObject({ kind: 'put', quantity: 4, toCellPath: 'Основной склад → Стеллаж 1 → Полка 2' })
    expect(r.ask('radioHistoryUndo', { id: put.id })).toMatchObject({ undoneId: put.id, item: { kind: 'take', undoesId: put.id } })
    expect(r.ask('radioHistoryUndo', { id: put.id })).toMatchObject({ errorCode: 'already_undone' })
    expect(s.stock.get(cell.id)?.get(product.id)).toBe(6)
  })

  it('a put with a price answers the average over what is held everywhere; a put without one leaves it', () => {
    const r = rig()
    const s = partsStoreOf(r.b, 'acc-master')
    const shelf = [...s.cells.values()].find((c) => c.name === 'Полка 1')!
    const bolt = [...s.products.values()].find((p) => p.name === 'Болт М6×20')!
    // 155 held at 4.5 (120 in a box, 35 in a drawer), 45 more at 6: (155·4.5 + 45·6) / 200 = 4.8375
    expect(r.ask('radioPlacementPut', { cellId: shelf.id, productId: bolt.id, quantity: 45, price: 6 })).toEqual({ cellId: shelf.id, productId: bolt.id, quantity: 45, price: 4.84 })
    expect(r.ask('radioPlacementPut', { cellId: shelf.id, productId: bolt.id, quantity: 5 })).toEqual({ cellId: shelf.id, productId: bolt.id, quantity: 50 })
    expect(s.products.get(bolt.id)?.price).toBe(4.84)
  })

  it('refuses to move a cell into itself and asks before deleting a cell with content', () => {
    const r = rig()
    const s = partsStoreOf(r.b, 'acc-master')
    const rack = [...s.cells.values()].find((c) => c.name === 'Стеллаж 1')!
    const box = [...s.cells.values()].find((c) => c.name === 'Короб 1')!
    expect(r.ask('radioCellMove', { id: rack.id, newParentId: box.id })).toMatchObject({ errorCode: 'cycle' })
    expect(r.ask('radioCellDelete', { id: rack.id })).toMatchObject({ childrenCount: 3, placementsCount: 3 })
    expect(r.ask('radioCellDelete', { id: rack.id, force: true })).toEqual({ ok: true })
    expect(s.cells.has(box.id)).toBe(false)
  })

  it('prints labels through the installed printer and skips what a label cannot carry', async () => {
    const r = rig()
    const s = partsStoreOf(r.b, 'acc-master')
    const ids = [...s.cells.values()].map((c) => c.id)
    expect(r.ask('radioLabelsPrint', { kind: 'cell', ids, size: '42x24', copies: 2 })).toMatchObject({ errorCode: 'no_printer' })
    const jobs: PartsLabelJob[] = []
    setPartsLabelPrinter(r.b, async (job) => {
      jobs.push(job)
      return { printedOn: 'Склад-этикетки' }
    })
    const reply = r.next('radioLabelsPrint.result')
    expect(r.ask('radioLabelsPrint', { kind: 'cell', ids, size: '42x24', copies: 2 })).toBeUndefined()
    const unlabelled = [...s.cells.values()].find((c) => c.barcode === null)!.id
    expect(await reply).toEqual({ printed: true, printedCount: ids.length - 1, copies: 2, skippedIds: [unlabelled], printedOn: 'Склад-этикетки' })
    expect(jobs[0]).toMatchObject({ accountId: 'acc-master', size: '42x24', copies: 2 })
    expect(jobs[0]!.labels[0]).toMatchObject({ kind: 'cell', title: 'Стеллаж 1', code: expect.stringMatching(/^C-\d{6}$/) })
  })
})
