import { describe, expect, it } from 'vitest'
import { CellDrag, gestureStep, type DropTarget } from './cellDrag'
import { checkMoveBeside, checkMoveInto, checkMoveToZone, zoneDeleteQuestion } from './cellMoves'
import { seriesNames, seriesRequest } from './generation'
import { entryText } from './history'
import type { CellNode, HistoryEntry } from './records'
import { parsePrice } from './quantity'
import { checkSplit, splitProblem } from './split'

const leaf = (id: number, name = `Ячейка ${id}`): CellNode => ({ id, name, barcode: null, children: [] })
/** Стеллаж (1) holds Полка (2) with Короб (3), and Ячейка 4. */
const rack: CellNode = { id: 1, name: 'Стеллаж', barcode: null, children: [{ ...leaf(2, 'Полка'), children: [leaf(3, 'Короб')] }, leaf(4)] }
const INTO_ITSELF = 'Нельзя перенести ячейку в саму себя или в её вложенную ячейку'

describe('splitting a product', () => {
  const many = Array.from({ length: 51 }, (_, i) => ({ name: `Часть ${i}`, quantity: '1' }))
  it.each<[string, Array<{ name: string; quantity: string }>, number, unknown]>([
    ['no parts', [], 10, { ok: false, text: 'Добавьте хотя бы одну часть' }],
    ['51 parts', many, 100, { ok: false, text: 'Частей получится 51 — это больше предела 50 за один раз' }],
    ['a part without a name', [{ name: 'Левая', quantity: '6' }, { name: '  ', quantity: '4' }], 10, { ok: false, text: 'Часть 2: укажите название' }],
    ['a zero quantity', [{ name: 'Левая', quantity: '0' }], 10, { ok: false, text: 'Часть 1: количество должно быть больше нуля' }],
    ['a quantity that is not a number', [{ name: 'Левая', quantity: 'шесть' }], 10, { ok: false, text: 'Часть 1: количество должно быть больше нуля' }],
    ['five decimals', [{ name: 'Левая', quantity: '1,00001' }], 10, { ok: false, text: 'Часть 1: количество должно быть больше нуля' }],
    ['more than lies in the cell', [{ name: 'Левая', quantity: '6' }, { name: 'Правая', quantity: '4,5' }], 10, { ok: false, text: 'В ячейке не хватает остатка исходного товара — есть только 10' }],
    ['10 → 6 + 4', [{ name: ' Левая ', quantity: '6' }, { name: 'Правая', quantity: '4' }], 10, { ok: true, parts: [{ name: 'Левая', quantity: 6 }, { name: 'Правая', quantity: 4 }] }],
    ['fractions that add up exactly', [{ name: 'А', quantity: '0,1' }, { name: 'Б', quantity: '0,2' }], 0.3, { ok: true, parts: [{ name: 'А', quantity: 0.1 }, { name: 'Б', quantity: 0.2 }] }],
  ])('%s', (_, drafts, available, outcome) => expect(checkSplit(drafts, available)).toEqual(outcome))

  it('the service-side check has no stock to compare with', () => {
    expect(splitProblem([{ name: 'А', quantity: 1000 }])).toBeNull()
    expect(splitProblem([{ name: 'А', quantity: Number.NaN }])).toBe('Часть 1: количество должно быть больше нуля')
  })
})

describe('the names of a generated series', () => {
  it.each<[string, string, string, unknown]>([
    ['A-', '01', '20', { count: 20, first: 'A-01', last: 'A-20' }],
    ['Полка ', '1', '3', { count: 3, first: 'Полка 1', last: 'Полка 3' }],
    ['B', '098', '102', { count: 5, first: 'B098', last: 'B102' }],
    ['', '0', '0', { count: 1, first: '0', last: '0' }],
    ['A-', '1', '200', { count: 200, first: 'A-1', last: 'A-200' }],
    ['A-', '1', '201', 'Получится 201 — это больше предела 200 за один раз'],
    ['A-', '20', '1', 'Последний номер меньше первого'],
    ['A-', '-1', '5', 'Номера — целые числа от 0 до 999999'],
    ['A-', '1.5', '5', 'Номера — целые числа от 0 до 999999'],
    ['A-', '', '5', 'Номера — целые числа от 0 до 999999'],
    ['A-', '1', '1234567', 'Номера — целые числа от 0 до 999999'],
    ['я'.repeat(61), '1', '2', 'Начало названия длиннее 60 символов'],
  ])('%j from %s to %s', (prefix, from, to, outcome) => {
    const r = seriesRequest(prefix, from, to)
    const check = 'text' in r ? { ok: false as const, text: r.text } : seriesNames(r)
    if (typeof outcome === 'string') return expect(check).toEqual({ ok: false, text: outcome })
    if (!check.ok) throw new Error(check.text)
    expect({ count: check.names.length, first: check.names[0], last: check.names.at(-1) }).toEqual(outcome)
  })

  it('refuses a width the service would not make', () => {
    expect(seriesNames({ prefix: 'A', from: 1, to: 2, width: 7 })).toEqual({ ok: false, text: 'Ширина номера — от 0 до 6 цифр' })
  })
})

describe('moves refused into the own subtree', () => {
  const at = { parentId: null, zoneId: 10, zoneName: 'Склад' }
  const sibling = (id: number, parentId: number | null, zoneName = 'Склад') => ({ id, name: `№${id}`, parentId, zoneName, parentName: 'Полка' })
  it.each<[string, () => unknown, unknown]>([
    ['inside itself', () => checkMoveInto(rack, null, { id: 1, name: 'Стеллаж' }, { from: 'Склад', to: 'Склад' }), { ok: false, text: INTO_ITSELF }],
    ['inside a grandchild', () => checkMoveInto(rack, null, { id: 3, name: 'Короб' }, { from: 'Склад', to: 'Склад' }), { ok: false, text: INTO_ITSELF }],
    ['before its own child', () => checkMoveBeside(rack, at, sibling(2, 1)), { ok: false, text: INTO_ITSELF }],
    ['after a grandchild', () => checkMoveBeside(rack, at, sibling(3, 2)), { ok: false, text: INTO_ITSELF }],
    ['beside itself', () => checkMoveBeside(rack, at, sibling(1, null)), { ok: false, text: 'Уже здесь' }],
    ['to the top of its own zone, already there', () => checkMoveToZone(rack, at, { id: 10, name: 'Склад' }), { ok: false, text: 'Уже здесь' }],
    ['a plain reorder asks nothing', () => checkMoveBeside(rack, at, sibling(7, null)), { ok: true, question: '', notes: [] }],
    ['beside a cell of another zone', () => checkMoveBeside(rack, at, sibling(8, 5, 'Антресоль')), {
      ok: true, question: 'Перенести «Стеллаж» в «Полка»?', notes: ['Из зоны «Склад» в зону «Антресоль»', 'Внутри еще 3 ячейки — переедут вместе с ней'],
    }],
    ['to the top of another zone', () => checkMoveToZone(leaf(4), { parentId: 1, zoneId: 10, zoneName: 'Склад' }, { id: 11, name: 'Антресоль' }), {
      ok: true, question: 'Перенести «Ячейка 4» в «Антресоль»?', notes: ['Из зоны «Склад» в зону «Антресоль»'],
    }],
    ['from inside a cell to the top of the same zone', () => checkMoveToZone(leaf(4), { parentId: 1, zoneId: 10, zoneName: 'Склад' }, { id: 10, name: 'Склад' }), {
      ok: true, question: 'Перенести «Ячейка 4» в «Склад»?', notes: [],
    }],
  ])('%s', (_, check, outcome) => expect(check()).toEqual(outcome))

  it.each<[number, number, string]>([
    [1, 0, 'В зоне есть 1 ячейка. Удалить все равно, вместе с содержимым? Отменить это будет нельзя.'],
    [12, 2, 'В зоне есть 12 ячеек и товар в 2 позициях. Удалить все равно, вместе с содержимым? Отменить это будет нельзя.'],
    [22, 1, 'В зоне есть 22 ячейки и товар в 1 позиции. Удалить все равно, вместе с содержимым? Отменить это будет нельзя.'],
  ])('the zone delete question for %s cells and %s placements', (cells, placements, text) => expect(zoneDeleteQuestion(cells, placements)).toBe(text))
})

describe('dragging a cell', () => {
  it.each<['mouse' | 'touch', number, boolean, string]>([
    ['mouse', 5, false, 'wait'],
    ['mouse', 6, false, 'drag'],
    ['touch', 10, false, 'wait'],
    ['touch', 11, false, 'cancel'],
    ['touch', 40, true, 'drag'],
  ])('%s moved %s px (held %s)', (pointer, px, held, step) => expect(gestureStep(pointer, px, held)).toBe(step))

  function rig() {
    const drops: Array<[number, DropTarget]> = []
    const timers: Array<() => void> = []
    const target: DropTarget = { kind: 'cell', id: 9, place: 'after' }
    const drag = new CellDrag({ hitTest: () => target, drop: (id, t) => drops.push([id, t]), setTimer: (fn) => (timers.push(fn), () => timers.splice(timers.indexOf(fn), 1)) })
    return { drag, drops, timers, target }
  }

  it('a mouse drops where it is released, once it moved 6 px; a click is no drop', () => {
    const { drag, drops, target } = rig()
    drag.down(1, 'mouse', 100, 100)
    drag.move(103, 102)
    expect(drag.up(103, 102)).toBe(false)
    drag.down(1, 'mouse', 100, 100)
    drag.move(100, 106)
    expect(drag.dragging && drag.over).toEqual(target)
    expect(drag.up(100, 140)).toBe(true)
    expect(drops).toEqual([[1, target]])
  })

  it('a finger drags after the long press and not when it slid away first', () => {
    const { drag, drops, timers, target } = rig()
    drag.down(2, 'touch', 50, 50)
    drag.move(50, 65)
    expect(timers).toHaveLength(0)
    drag.up(50, 65)
    drag.down(2, 'touch', 50, 50)
    drag.move(52, 53)
    timers[0]!()
    expect(drag.dragging).toBe(true)
    drag.move(50, 200)
    drag.up(50, 200)
    expect(drops).toEqual([[2, target]])
  })
})

it('a split and its undo read in the history', () => {
  const e: HistoryEntry = {
    id: 5, at: '2026-12-11T10:00:00Z', kind: 'split', productId: 1, productName: 'Болт', barcode: 'P-1', quantity: 10,
    fromCellId: 3, fromCellPath: 'Склад → Короб', toCellId: 3, toCellPath: 'Склад → Короб', comment: '', undoneById: null, undoesId: null,
    parts: [{ productId: 7, name: 'Болт короткий', quantity: 6 }, { productId: 8, name: 'Болт длинный', quantity: 4 }],
  }
  expect(entryText(e)).toBe('Выделили 10 шт. в Склад → Короб: Болт короткий — 6 шт., Болт длинный — 4 шт.')
  expect(entryText({ ...e, undoesId: 4 })).toBe('Отмена: Выделили 10 шт. в Склад → Короб: Болт короткий — 6 шт., Болт длинный — 4 шт.')
})

describe('typed prices', () => {
  it.each<[string, number | null | undefined]>([
    ['', null],
    ['150,50', 150.5],
    ['0', 0],
    ['1.999', undefined],
    ['-5', undefined],
    ['сто', undefined],
  ])('%j', (raw, price) => expect(parsePrice(raw)).toBe(price))
})
