import { describe, expect, it } from 'vitest'
import { RefusalError } from '../../core/requests'
import type { CellContents, Product } from '../records'
import { PlacementSession, parseNewQuantity, type PlacementCommands, type Sound } from './session'
import { actionText, formatQty, moveButtonText, type Action } from './texts'

// A small parts store held in memory: cells by barcode, products by barcode, quantities per cell.
const CELLS = [
  { id: 1, name: 'A1', barcode: 'CELL-A1' },
  { id: 2, name: 'B2', barcode: 'CELL-B2' },
  { id: 3, name: 'Стол', barcode: 'CELL-DESK' },
]
const PRODUCTS: Product[] = [
  { id: 10, name: 'Болт', internalBarcode: 'P000010', price: 5, comment: '' },
  { id: 11, name: 'Гайка', internalBarcode: 'P000011', price: 2, comment: '' },
  { id: 12, name: 'Шайба', internalBarcode: 'P000012', price: null, comment: '' },
  { id: 13, name: 'Винт', internalBarcode: 'P000013', price: 1, comment: '' },
]

const refusal = (code: string, message = code) => new RefusalError(message, { code } as RefusalError['info'])

function store(initial: Array<[cellId: number, productId: number, qty: number]> = [], extra: Record<string, string> = {}) {
  const qty = new Map<string, number>()
  const key = (c: number, p: number) => `${c}/${p}`
  for (const [c, p, q] of initial) qty.set(key(c, p), q)
  const calls: string[] = []
  /** the n-th placement command (1-based) fails with this refusal */
  const failAt = new Map<number, RefusalError>()
  let n = 0
  const step = () => {
    n++
    const f = failAt.get(n)
    if (f) throw f
  }
  const saved: unknown[] = []
  const contents = (id: number): CellContents => {
    const c = CELLS.find((x) => x.id === id)!
    const items = PRODUCTS.filter((p) => (qty.get(key(id, p.id)) ?? 0) > 0).map((p) => ({
      productId: p.id, name: p.name, internalBarcode: p.internalBarcode, price: p.price, quantity: qty.get(key(id, p.id))!,
    }))
    return { cell: { id, name: c.name, barcode: c.barcode, path: [c.name], zoneName: 'Склад' }, items }
  }
  const commands: PlacementCommands = {
    async cellByBarcode(b) {
      const c = CELLS.find((x) => x.barcode === b)
      if (!c) throw refusal('not_found')
      return contents(c.id)
    },
    async productFind(q) {
      return PRODUCTS.filter((p) => p.internalBarcode === q || (q.length > 2 && p.name.toLowerCase().includes(q.toLowerCase())))
    },
    async productLocations(productId) {
      return CELLS.filter((c) => (qty.get(key(c.id, productId)) ?? 0) > 0).map((c) => ({ zoneName: 'Склад', cellPath: c.name, quantity: qty.get(key(c.id, productId))!, cellId: c.id }))
    },
    async placementPut(q) {
      step()
      calls.push(`put ${q.cellId}/${q.productId} ${q.quantity}`)
      qty.set(key(q.cellId, q.productId), (qty.get(key(q.cellId, q.productId)) ?? 0) + q.quantity)
      const reply = { cellId: q.cellId, productId: q.productId, quantity: qty.get(key(q.cellId, q.productId))! }
      return q.price !== undefined ? { ...reply, price: 7.5 } : reply
    },
    async placementTake(q) {
      step()
      const have = qty.get(key(q.cellId, q.productId)) ?? 0
      if (have < q.quantity) throw refusal('not_enough')
      calls.push(`take ${q.cellId}/${q.productId} ${q.quantity}`)
      qty.set(key(q.cellId, q.productId), have - q.quantity)
      return { cellId: q.cellId, productId: q.productId, quantity: have - q.quantity }
    },
    async placementMove(q) {
      step()
      if (q.fromCellId === q.toCellId) throw refusal('same_cell')
      const have = qty.get(key(q.fromCellId, q.productId)) ?? 0
      if (have < q.quantity) throw refusal('not_enough')
      calls.push(`move ${q.fromCellId}->${q.toCellId}/${q.productId} ${q.quantity}`)
      qty.set(key(q.fromCellId, q.productId), have - q.quantity)
      qty.set(key(q.toCellId, q.productId), (qty.get(key(q.toCellId, q.productId)) ?? 0) + q.quantity)
      return { fromRemaining: have - q.quantity, toQuantity: qty.get(key(q.toCellId, q.productId))! }
    },
    async productSave(s) {
      saved.push(s)
      const product: Product = { id: 99, name: s.name, internalBarcode: 'P000099', price: s.price ?? null, comment: s.comment ?? '' }
      return { product }
    },
  }
  const sounds: Sound[] = []
  const session = new PlacementSession({ commands, sound: (s) => sounds.push(s), extraBarcode: (c) => extra[c] })
  const at = (c: number, p: number) => qty.get(key(c, p)) ?? 0
  return { session, calls, failAt, sounds, saved, at, resetCount: () => { n = 0 } }
}

const itemsOf = (s: PlacementSession) => s.cell?.items.map((i) => [i.productId, i.quantity])

describe('opening cells and the pending product', () => {
  it.each<[string, Array<[number, number, number]>, string, string | null]>([
    ['one cell: 1 unit taken at once', [[1, 10, 5]], 'Взяли 1 шт „Болт“ из „Склад → A1“', 'take 1/10 1'],
    ['no cell at all: error', [], '«Болт» нет ни в одной ячейке', null],
    ['two cells: the locations to choose from', [[1, 10, 5], [2, 10, 1]], '', null],
  ])('take mode, no cell open, product scanned — %s', async (_, initial, note, call) => {
    const t = store(initial)
    t.session.setMode('take')
    await t.session.scan('P000010')
    expect(t.calls).toEqual(call ? [call] : [])
    if (note) expect(t.session.note?.text).toBe(note)
    if (initial.length === 2) expect(t.session.takeFrom.map((l) => l.cellId)).toEqual([1, 2])
  })

  it('a second take from the listed locations is checked against what lies there', async () => {
    const t = store([[1, 10, 5], [2, 10, 1]])
    t.session.setMode('take')
    await t.session.scan('P000010')
    const loc = t.session.takeFrom[1]!
    await t.session.takeFromLocation(PRODUCTS[0]!, loc, '2')
    expect(t.session.note?.text).toBe('Не больше остатка: 1')
    await t.session.takeFromLocation(PRODUCTS[0]!, loc, '')
    expect(t.calls).toEqual(['take 2/10 1'])
    expect(t.session.takeFrom).toEqual([])
  })

  it.each<[string, string[], string, Sound]>([
    ['a new cell', ['CELL-A1'], 'Работаем с „A1“ — сканируйте товары', 'cellCue'],
    ['the same cell again', ['CELL-A1', 'CELL-A1'], 'Уже в „A1“', 'success'],
    ['a cell typed in the Russian layout', ['СУДД-Ф1'], 'Работаем с „A1“ — сканируйте товары', 'cellCue'],
  ])('%s', async (_, scans, note, sound) => {
    const t = store()
    for (const s of scans) await t.session.scan(s)
    expect(t.session.note?.text).toBe(note)
    expect(t.sounds.at(-1)).toBe(sound)
  })

  it('a pending product becomes the selected product of the cell opened next', async () => {
    const t = store([[1, 10, 4]])
    await t.session.scan('P000010')
    expect(t.session.pending?.product.id).toBe(10)
    await t.session.scan('CELL-A1')
    expect(t.session.pending).toBeNull()
    expect(t.session.selected).toMatchObject({ id: 10, currentQuantity: 4 })
  })

  it.each<[string, string, number | null, number | null]>([
    ["a product's barcode answered with the cell holding it: the product", 'P000010', null, 10],
    ['a code only a cell answers: the cell', 'CELL-B2', 2, null],
  ])('%s', async (_, code, cellId, productId) => {
    const t = store([[1, 10, 4]])
    const commands = t.session['deps'].commands
    const byCell = commands.cellByBarcode
    commands.cellByBarcode = async (b) => (b === 'P000010' ? byCell('CELL-A1') : byCell(b))
    await t.session.scan('CELL-B2')
    await t.session.scan(code)
    expect(t.session.cell?.cell.id).toBe(cellId ?? 2)
    expect(t.session.selected?.id ?? null).toBe(productId)
  })

  it("a pending product's move starts from the cell holding the most of it, the product listed with all of it", async () => {
    const t = store([[1, 10, 1], [2, 10, 6]])
    await t.session.scan('P000010')
    expect(t.session.pendingSource?.cellId).toBe(2)
    const source = await t.session['deps'].commands.cellByBarcode('CELL-B2')
    t.session.startMoveFrom(source!, 10)
    expect(t.session.mode).toBe('move')
    expect(t.session.cell?.cell.id).toBe(2)
    expect(t.session.pending).toBeNull()
    expect(t.session.moveList.map((r) => [r.productId, r.quantity])).toEqual([[10, '6']])
    expect(t.session.hint).toBe('Сканируйте товары, затем ячейку назначения')
  })
})

describe('the product card', () => {
  it.each<[string, 'put' | 'take', string, string, string[], string]>([
    ['put of the typed quantity', 'put', '2,5', '', ['put 1/10 2.5'], 'Положили 2,5 шт „Болт“ в „Склад → A1“'],
    ['put of 1 when empty', 'put', '', '', ['put 1/10 1'], 'Положили 1 шт „Болт“ в „Склад → A1“'],
    ['take', 'take', '3', '', ['take 1/10 3'], 'Взяли 3 шт „Болт“ из „Склад → A1“'],
    ['zero', 'put', '0', '', [], 'Количество должно быть числом больше нуля'],
    ['five decimals', 'put', '1.00001', '', [], 'Количество должно быть числом больше нуля'],
    ['a bad price', 'put', '1', 'abc', [], 'Цена должна быть числом не меньше нуля'],
    ['a take of more than there is', 'take', '9', '', [], 'В ячейке не хватает остатка'],
  ])('%s', async (_, mode, qty, price, calls, note) => {
    const t = store([[1, 10, 4]])
    t.session.setMode(mode)
    await t.session.scan('CELL-A1')
    await t.session.scan('P000010')
    await t.session.applySelected(qty, price)
    expect(t.calls).toEqual(calls)
    expect(t.session.note?.text).toBe(note)
    expect(t.session.selected === null).toBe(calls.length > 0)
  })

  it('keeps the open cell in step: quantity replaced, row removed at 0 with the comment kept till then', async () => {
    const t = store([[1, 10, 4], [1, 11, 1]])
    await t.session.scan('CELL-A1')
    t.session.cell!.items[0]!.comment = 'верх'
    await t.session.scan('P000010')
    await t.session.applySelected('1')
    expect(t.session.cell!.items[0]).toMatchObject({ productId: 10, quantity: 5, comment: 'верх' })
    await t.session.takeAll(t.session.cell!.items[1]!)
    expect(itemsOf(t.session)).toEqual([[10, 5]])
    expect(t.session.note?.text).toMatch(/^Забрано 1 шт\. «Гайка»\. Товар теперь без ячейки/)
  })

  it('"На рабочий стол" puts into the desk cell, and the desk row moves everything there', async () => {
    const t = store([[1, 10, 4]])
    await t.session.scan('CELL-DESK')
    t.session.makeDesk()
    await t.session.scan('CELL-A1')
    await t.session.scan('P000011')
    await t.session.applySelected('2', '', true)
    await t.session.deskAll(t.session.cell!.items[0]!)
    expect(t.calls).toEqual(['put 3/11 2', 'move 1->3/10 4'])
    expect(t.session.last?.text).toBe('4 шт. Болт перенесено из Склад → A1 в Склад → Стол')
  })
})

describe('lookups, prices and single undo', () => {
  it('a code from the device index of extra barcodes finds its product', async () => {
    const t = store([], { '4600000000017': 'P000011' })
    await t.session.scan('CELL-A1')
    await t.session.scan('4600000000017')
    expect(t.session.selected?.id).toBe(11)
  })

  it('a put with a price shows the new average price', async () => {
    const t = store()
    await t.session.scan('CELL-A1')
    await t.session.scan('P000010')
    await t.session.applySelected('1', '10')
    expect(t.session.note?.text).toBe('Средняя цена теперь 7.5')
    expect(t.session.last?.text).toBe('Положили 1 шт „Болт“ в „Склад → A1“')
  })

  it.each<[string, string[], number[]]>([
    ['a put is taken back', ['put'], [4, 0]],
    ['a take is put back', ['take'], [4, 0]],
    ['a move goes back from target to source', ['move'], [4, 0]],
  ])('%s', async (_, [kind], [a1, b2]) => {
    const t = store([[1, 10, 4]])
    t.session.setMode(kind === 'take' ? 'take' : 'put')
    await t.session.scan('CELL-A1')
    if (kind === 'move') await t.session.moveOne(t.session.cell!.items[0]!, { id: 2, name: 'B2', barcode: null, path: ['B2'], zoneName: 'Склад' }, '4')
    else {
      await t.session.scan('P000010')
      await t.session.applySelected('2')
    }
    const text = t.session.last!.text
    await t.session.undo()
    expect([t.at(1, 10), t.at(2, 10)]).toEqual([a1, b2])
    expect(t.session.note?.text).toBe(`Отменено: ${text}`)
    await t.session.undo()
    expect(t.calls.length).toBe(2)
  })

  it('a move without a target asks for one', async () => {
    const t = store([[1, 10, 4]])
    await t.session.scan('CELL-A1')
    await t.session.moveOne(t.session.cell!.items[0]!, null, '1')
    expect(t.session.note?.text).toBe('Укажите ячейку-получателя')
  })
})

describe('not found and the new product', () => {
  it.each<[string, 'put' | 'take', boolean, boolean]>([
    ['put with a cell open: the form opens with the code', 'put', true, true],
    ['take: no form', 'take', true, false],
    ['no cell: no form', 'put', false, false],
  ])('%s', async (_, mode, open, form) => {
    const t = store()
    t.session.setMode(mode)
    if (open) await t.session.scan('CELL-A1')
    await t.session.scan('4600000000017')
    expect(t.session.note).toEqual({ text: 'Не найдено: 4600000000017', error: true })
    expect(t.session.newProduct?.barcode ?? null).toBe(form ? '4600000000017' : null)
  })

  it.each<[string, string, string, string[], string | null]>([
    ['quantity 0 creates without placing', 'Клипса', '0', [], 'Товар «Клипса» создан без размещения: в ячейку положено 0'],
    ['quantity 2 is put into the open cell', 'Клипса', '2', ['put 1/99 2'], 'Положили 2 шт „Клипса“ в „Склад → A1“'],
    ['no name', '  ', '1', [], 'Введите название товара'],
    ['not a number', 'Клипса', 'два', [], 'Количество должно быть числом'],
    ['negative', 'Клипса', '-1', [], 'Количество не может быть отрицательным'],
  ])('%s', async (_, name, quantity, calls, note) => {
    const t = store()
    await t.session.scan('CELL-A1')
    await t.session.scan('4600000000017')
    const ok = await t.session.saveNewProduct({ name, price: '', comment: '', quantity, printLabel: false })
    expect(t.calls).toEqual(calls)
    expect(t.session.note?.text).toBe(note)
    expect(ok).toBe(t.saved.length === 1)
    if (ok) expect(t.saved[0]).toEqual({ name, price: null, comment: '', barcode: '4600000000017' })
  })

  it.each<[string, unknown]>([['', { ok: true, value: 1 }], ['0', { ok: true, value: 0 }], ['1,25', { ok: true, value: 1.25 }], ['1.23456', { ok: false, text: 'Количество должно быть числом' }]])(
    'new quantity %j',
    (raw, out) => expect(parseNewQuantity(raw)).toEqual(out),
  )
})

describe('the multi list', () => {
  it('the same product three times is one row of 3', async () => {
    const t = store()
    await t.session.scan('CELL-A1')
    t.session.multiOn = true
    for (let i = 0; i < 3; i++) await t.session.scan('P000010')
    expect(t.session.multi.map((r) => [r.productId, r.quantity])).toEqual([[10, '3']])
  })

  it('a put of four rows whose third fails keeps rows 3 and 4, the third with its error; undo takes back the two done', async () => {
    const t = store()
    await t.session.scan('CELL-A1')
    t.session.multiOn = true
    for (const code of ['P000010', 'P000011', 'P000012', 'P000013']) await t.session.scan(code)
    t.failAt.set(3, refusal('product_not_found'))
    await t.session.runMulti()
    expect(t.session.multi.map((r) => [r.productId, r.error])).toEqual([[12, 'Товар не найден — возможно, его удалили'], [13, undefined]])
    expect(t.session.note?.text).toBe('Не обработано: Товар не найден — возможно, его удалили')
    expect(t.session.last?.text).toBe('Положили 2 товара в «Склад → A1»')
    await t.session.undo()
    expect(t.calls.slice(2)).toEqual(['take 1/10 1', 'take 1/11 1'])
    expect(t.session.last?.text).toBe('Отменено: Положили 2 товара в «Склад → A1»')
    expect(t.session.canUndo).toBe(false)
  })

  it('a bad quantity in any row stops the whole run before any command', async () => {
    const t = store()
    await t.session.scan('CELL-A1')
    t.session.multiOn = true
    await t.session.scan('P000010')
    await t.session.scan('P000011')
    t.session.multi[1]!.quantity = '0'
    await t.session.runMulti()
    expect(t.calls).toEqual([])
    expect(t.session.note?.text).toBe('Исправьте количество в таблице')
    expect(t.session.multi[1]!.error).toBe('Количество должно быть числом больше нуля')
  })

  it('undo of a multi action that fails half way never sends an inverse twice', async () => {
    const t = store()
    await t.session.scan('CELL-A1')
    t.session.multiOn = true
    for (const code of ['P000010', 'P000011', 'P000012']) await t.session.scan(code)
    await t.session.runMulti()
    t.resetCount()
    t.failAt.set(2, refusal('not_enough'))
    await t.session.undo()
    expect(t.session.canUndo).toBe(true)
    t.failAt.clear()
    await t.session.undo()
    expect(t.calls.filter((c) => c.startsWith('take'))).toEqual(['take 1/10 1', 'take 1/11 1', 'take 1/12 1'])
    expect([t.at(1, 10), t.at(1, 11), t.at(1, 12)]).toEqual([0, 0, 0])
    expect(t.session.last?.text).toBe('Отменено: Положили 3 товара в «Склад → A1»')
  })
})

describe('the group move', () => {
  it.each<[string, string[], string, string | null]>([
    ['an empty list and a second cell: the new source', ['CELL-A1', 'CELL-B2'], 'Работаем с „B2“ — сканируйте товары', null],
    ['a product and a second cell: the target', ['CELL-A1', 'P000010', 'CELL-B2'], 'Переносим в „B2“ — сканируйте товары', 'B2'],
    ['the source again', ['CELL-A1', 'P000010', 'CELL-A1'], 'Уже в „A1“', null],
    ['a product the source lacks', ['CELL-A1', 'P000013'], 'В ячейке «A1» этого товара нет', null],
  ])('%s', async (_, scans, note, target) => {
    const t = store([[1, 10, 3], [1, 11, 2], [2, 12, 1]])
    t.session.setMode('move')
    expect(t.session.hint).toBe('Отсканируйте ячейку, откуда переносим')
    for (const s of scans) await t.session.scan(s)
    expect(t.session.note?.text).toBe(note)
    expect(t.session.target?.name ?? null).toBe(target)
    if (target) expect(t.session.hint).toBe('Назначение: Склад → B2')
  })

  it('moves two products, then undo moves both back with "Отменено: …" and no second undo', async () => {
    const t = store([[1, 10, 3], [1, 11, 2]])
    t.session.setMode('move')
    await t.session.scan('CELL-A1')
    t.session.addAllToMoveList()
    expect(t.session.moveList.map((r) => [r.productId, r.quantity])).toEqual([[10, '3'], [11, '2']])
    expect(t.session.moveButton).toBe('Переместить 2 позиции')
    await t.session.scan('CELL-B2')
    await t.session.runGroupMove()
    expect([t.at(2, 10), t.at(2, 11)]).toEqual([3, 2])
    expect(t.session.last?.text).toBe('Перенесено 2 позиции из Склад → A1 в Склад → B2')
    await t.session.undo()
    expect([t.at(1, 10), t.at(1, 11), t.at(2, 10), t.at(2, 11)]).toEqual([3, 2, 0, 0])
    expect(t.session.note?.text).toBe('Отменено: Перенесено 2 позиции из Склад → A1 в Склад → B2')
    expect(t.session.canUndo).toBe(false)
    expect(itemsOf(t.session)).toEqual([[10, 3], [11, 2]])
  })

  it.each<[string, number | null, string, string]>([
    ['the second row fails', 2, 'Перенесено: «Болт». Не перенесено «Гайка»: Это та же ячейка', '3 шт. Болт перенесено из Склад → A1 в Склад → B2'],
    ['the first row fails', 1, 'Не перенесено «Болт»: Это та же ячейка', ''],
  ])('%s', async (_, failAt, note, last) => {
    const t = store([[1, 10, 3], [1, 11, 2]])
    t.session.setMode('move')
    await t.session.scan('CELL-A1')
    t.session.addAllToMoveList()
    await t.session.scan('CELL-B2')
    if (failAt) t.failAt.set(failAt, refusal('same_cell'))
    await t.session.runGroupMove()
    expect(t.session.note?.text).toBe(note)
    expect(t.session.last?.text ?? '').toBe(last)
    expect(t.session.moveList.length).toBe(failAt === 1 ? 2 : 1)
  })

  it.each<[string, string]>([['4', 'Не больше остатка: 3'], ['0', 'Количество должно быть числом больше нуля']])(
    'quantity %s is refused before any move',
    async (qty, rowError) => {
      const t = store([[1, 10, 3]])
      t.session.setMode('move')
      await t.session.scan('CELL-A1')
      await t.session.scan('P000010')
      await t.session.scan('CELL-B2')
      t.session.moveList[0]!.quantity = qty
      await t.session.runGroupMove()
      expect(t.calls).toEqual([])
      expect(t.session.note?.text).toBe('Исправьте количество в списке')
      expect(t.session.moveList[0]!.error).toBe(rowError)
    },
  )

  it('undo of a group move after a partial failure sends only what is left', async () => {
    const t = store([[1, 10, 3], [1, 11, 2]])
    t.session.setMode('move')
    await t.session.scan('CELL-A1')
    t.session.addAllToMoveList()
    await t.session.scan('CELL-B2')
    await t.session.runGroupMove()
    t.resetCount()
    t.failAt.set(2, refusal('not_enough'))
    await t.session.undo()
    expect(t.session.note?.text).toBe('В ячейке не хватает остатка')
    t.failAt.clear()
    await t.session.undo()
    expect(t.calls.slice(2)).toEqual(['move 2->1/10 3', 'move 2->1/11 2'])
  })

  it('changing the mode clears the lists, the target and the selection', async () => {
    const t = store([[1, 10, 3]])
    t.session.setMode('move')
    await t.session.scan('CELL-A1')
    await t.session.scan('P000010')
    await t.session.scan('CELL-B2')
    t.session.setMode('put')
    expect([t.session.moveList, t.session.target, t.session.selected, t.session.pending]).toEqual([[], null, null, null])
  })
})

describe('texts', () => {
  it.each<[number, string]>([[1, '1'], [1.23456, '1,2346'], [2.5, '2,5'], [-0, '0'], [-0.00001, '0'], [10 / 3 * 3, '10'], [0.0001, '0,0001']])(
    'quantity %s shows as %s',
    (n, text) => expect(formatQty(n)).toBe(text),
  )

  const e = (name: string, quantity = 1) => ({ productId: 1, name, internalBarcode: 'X', price: null, quantity })
  const cell = { id: 1, path: 'Склад → A1' }
  it.each<[Action, string]>([
    [{ kind: 'multi', mode: 'put', entries: [e('a')], cell }, 'Положили 1 товар в «Склад → A1»'],
    [{ kind: 'multi', mode: 'take', entries: [e('a'), e('b'), e('c'), e('d'), e('e')], cell }, 'Забрали 5 товаров из «Склад → A1»'],
    [{ kind: 'group', entries: [e('Болт', 0.5)], source: cell, target: { id: 2, path: 'B2' } }, '0,5 шт. Болт перенесено из Склад → A1 в B2'],
    [{ kind: 'group', entries: [e('a'), e('b'), e('c'), e('d'), e('e')], source: cell, target: { id: 2, path: 'B2' } }, 'Перенесено 5 позиций из Склад → A1 в B2'],
  ])('%j', (a, text) => expect(actionText(a)).toBe(text))

  it.each<[number, string]>([[1, 'Переместить 1 позицию'], [3, 'Переместить 3 позиции'], [11, 'Переместить 11 позиций'], [22, 'Переместить 22 позиции']])(
    'run button for %s',
    (n, text) => expect(moveButtonText(n)).toBe(text),
  )
})
