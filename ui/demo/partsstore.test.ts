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

  describe('corrections', () => {
    const ids = (r: Rig) => {
      const s = partsStoreOf(r.b, 'acc-master')
      const cell = (name: string) => [...s.cells.values()].find((c) => c.name === name)!
      const product = (name: string) => [...s.products.values()].find((p) => p.name === name)!
      return { s, cell, product }
    }

    it.each<[string, Payload, Payload]>([
      ['no parts', { parts: [] }, { errorCode: 'bad_request', error: 'Добавьте хотя бы одну часть' }],
      ['a part without a name', { parts: [{ name: ' ', quantity: 1 }] }, { errorCode: 'bad_request', error: 'Часть 1: укажите название' }],
      ['a negative part', { parts: [{ name: 'А', quantity: 1 }, { name: 'Б', quantity: -1 }] }, { errorCode: 'bad_request', error: 'Часть 2: количество должно быть больше нуля' }],
      ['51 parts', { parts: Array.from({ length: 51 }, () => ({ name: 'А', quantity: 0.1 })) }, { errorCode: 'bad_request', error: 'Частей получится 51 — это больше предела 50 за один раз' }],
      ['more than the cell holds', { parts: [{ name: 'А', quantity: 100 }, { name: 'Б', quantity: 20.5 }] }, { errorCode: 'not_enough', available: 120 }],
    ])('refuses a split with %s and changes nothing', (_, extra, refusal) => {
      const r = rig()
      const { s, cell, product } = ids(r)
      const products = s.products.size
      expect(r.ask('radioProductSplit', { sourceProductId: product('Болт М6×20').id, cellId: cell('Короб 1').id, ...extra })).toMatchObject(refusal)
      expect(s.products.size).toBe(products)
      expect(s.history).toHaveLength(0)
    })

    it('splits 10 → 6 + 4 with a history entry; the undo puts the 10 back and removes the parts; a part already taken blocks the undo', () => {
      const r = rig()
      const { s, cell, product } = ids(r)
      const box = cell('Короб 1').id
      const bolt = product('Болт М6×20').id
      r.ask('radioPlacementTake', { cellId: box, productId: bolt, quantity: 110 })
      const reply = r.ask('radioProductSplit', { sourceProductId: bolt, cellId: box, parts: [{ name: 'Болт А', quantity: 6 }, { name: 'Болт Б', quantity: 4 }] })!
      expect(reply).toMatchObject({ sourceRemaining: 0, createdProducts: [{ name: 'Болт А', internalBarcode: expect.stringMatching(/^P-\d{6}$/) }, { name: 'Болт Б' }] })
      const [a, b] = (reply.createdProducts as Array<{ id: number }>).map((x) => x.id)
      expect(Object.fromEntries(s.stock.get(box)!)).toEqual({ [a!]: 6, [b!]: 4 })
      const entry = (r.ask('radioHistoryList', { limit: 1 })!.items as Payload[])[0]!
      expect(entry).toMatchObject({ kind: 'split', productId: bolt, quantity: 10, fromCellId: box, parts: [{ productId: a, name: 'Болт А', quantity: 6 }, { productId: b, name: 'Болт Б', quantity: 4 }] })

      const undo = r.ask('radioHistoryUndo', { id: entry.id })!
      expect(undo).toMatchObject({ undoneId: entry.id, item: { kind: 'split', undoesId: entry.id } })
      expect(Object.fromEntries(s.stock.get(box)!)).toEqual({ [bolt]: 10 })
      expect(s.products.has(a!)).toBe(false)

      const again = r.ask('radioProductSplit', { sourceProductId: bolt, cellId: box, parts: [{ name: 'Болт В', quantity: 10 }] })!
      const part = (again.createdProducts as Array<{ id: number }>)[0]!.id
      r.ask('radioPlacementTake', { cellId: box, productId: part, quantity: 1 })
      const split = s.history.find((h) => h.kind === 'split' && h.undoneById === null && h.undoesId === null)!
      expect(r.ask('radioHistoryUndo', { id: split.id })).toMatchObject({ errorCode: 'not_enough', available: 9 })
      expect(s.products.has(part)).toBe(true)
    })

    it('refuses moves into the own subtree by parent, before and after; moves to a zone top and reorders', () => {
      const r = rig()
      const { s, cell } = ids(r)
      const rack = cell('Стеллаж 1').id
      const box = cell('Короб 1').id
      for (const target of [{ newParentId: box }, { beforeId: box }, { afterId: cell('Полка 1').id }]) {
        expect(r.ask('radioCellMove', { id: rack, ...target })).toMatchObject({ errorCode: 'cycle' })
      }
      const attic = s.zones.find((z) => z.name === 'Антресоль')!.id
      expect(r.ask('radioCellMove', { id: rack, newZoneId: attic })).toEqual({ id: rack, parentId: null, zoneId: attic, rootId: rack })
      expect(cell('Короб 1').zoneId).toBe(attic)
      expect(r.ask('radioCellMove', { id: rack, beforeId: cell('Ящик с мелочью').id })).toMatchObject({ parentId: null, zoneId: attic })
      expect((r.ask('radioCellTree', { zoneId: attic })!.tree as Array<{ cells: Array<{ name: string }> }>)[0]!.cells.map((c) => c.name)).toEqual(['Стеллаж 1', 'Ящик с мелочью'])
    })

    it('generates a series within its limit, previewed without changes', () => {
      const r = rig()
      const { s } = ids(r)
      const zoneId = s.zones[0]!.id
      const cells = s.cells.size
      expect(r.ask('radioCellGenerate', { prefix: 'A-', from: 1, to: 20, width: 2, zoneId, preview: true })).toMatchObject({ count: 20, names: expect.arrayContaining(['A-01', 'A-20']) })
      expect(r.ask('radioCellGenerate', { prefix: 'A-', from: 1, to: 201, width: 0, zoneId })).toEqual({ errorCode: 'bad_request', error: 'Получится 201 — это больше предела 200 за один раз' })
      expect(s.cells.size).toBe(cells)
      const made = r.ask('radioCellGenerate', { prefix: 'A-', from: 1, to: 20, width: 2, zoneId })!
      expect(made.createdCount).toBe(20)
      expect((made.ids as number[]).map((id) => s.cells.get(id)!.barcode)).toEqual((made.ids as number[]).map((id) => `C-${String(id).padStart(6, '0')}`))
      expect(r.ask('radioProductGeneratePreview', { prefix: 'Шайба ', from: 5, to: 3, width: 0 })).toEqual({ errorCode: 'bad_request', error: 'Последний номер меньше первого' })
      expect((r.ask('radioProductGenerate', { prefix: 'Шайба ', from: 1, to: 2, width: 0, price: 3 })!.products as Payload[]).map((p) => [p.name, p.price])).toEqual([['Шайба 1', 3], ['Шайба 2', 3]])
    })

    it('a zone with cells is deleted only with force, its cells and stock with it', () => {
      const r = rig()
      const { s } = ids(r)
      const main = s.zones[0]!.id
      expect(r.ask('radioZoneDelete', { id: main })).toMatchObject({ errorCode: 'not_empty', cellsCount: 5, placementsCount: 4 })
      expect(r.ask('radioZoneDelete', { id: main, force: true })).toEqual({ ok: true })
      expect(s.zones.map((z) => z.name)).toEqual(['Антресоль'])
      expect([...s.cells.values()].map((c) => c.name)).toEqual(['Ящик с мелочью'])
    })
  })
})
