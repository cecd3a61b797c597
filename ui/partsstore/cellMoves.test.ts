import { describe, expect, it } from 'vitest'
import { checkMoveInto, deleteQuestion, dropPlace } from './cellMoves'
import { parseQuantity, stepQuantity } from './quantity'
import type { CellNode } from './records'

const leaf = (id: number, name = `Ячейка ${id}`): CellNode => ({ id, name, barcode: null, children: [] })
const rack: CellNode = { id: 1, name: 'Стеллаж', barcode: null, children: [{ ...leaf(2), children: [leaf(3)] }, leaf(4)] }

describe('moving and deleting cells', () => {
  it.each<[number | null, { id: number; name: string }, string, unknown]>([
    [10, { id: 10, name: 'Полка' }, 'А', { ok: false, text: 'Уже здесь' }],
    [null, { id: 3, name: 'Ячейка 3' }, 'А', { ok: false, text: 'Нельзя перенести ячейку в саму себя или в её вложенную ячейку' }],
    [null, { id: 1, name: 'Стеллаж' }, 'А', { ok: false, text: 'Нельзя перенести ячейку в саму себя или в её вложенную ячейку' }],
    [null, { id: 9, name: 'Шкаф' }, 'Б', { ok: true, question: 'Перенести «Стеллаж» в «Шкаф»?', notes: ['Из зоны «А» в зону «Б»', 'Внутри еще 3 ячейки — переедут вместе с ней'] }],
  ])('from parent %s into %j', (parent, target, toZone, outcome) => {
    expect(checkMoveInto(rack, parent, target, { from: 'А', to: toZone })).toEqual(outcome)
  })

  it.each<[number, number, string]>([
    [1, 0, 'В ячейке есть 1 вложенная ячейка. Удалить все равно, вместе с содержимым? Отменить это будет нельзя.'],
    [3, 1, 'В ячейке есть 3 вложенные ячейки и товар в 1 позиции. Удалить все равно, вместе с содержимым? Отменить это будет нельзя.'],
    [0, 5, 'В ячейке есть товар в 5 позициях. Удалить все равно, вместе с содержимым? Отменить это будет нельзя.'],
    [21, 0, 'В ячейке есть 21 вложенных ячеек. Удалить все равно, вместе с содержимым? Отменить это будет нельзя.'],
  ])('delete question for %s cells and %s placements', (c, p, text) => expect(deleteQuestion(c, p)).toBe(text))

  it.each<[number, boolean, boolean, string | null]>([
    [5, true, true, 'before'],
    [50, true, true, 'inside'],
    [95, true, true, 'after'],
    [5, false, true, 'inside'],
    [50, true, false, null],
  ])('a drop at %s of 100 px (reorder %s, nest %s)', (y, r, n, place) => expect(dropPlace(y, 100, r, n)).toBe(place))
})

describe('typed quantities', () => {
  it.each<[string, number | undefined, unknown]>([
    ['2,5', undefined, { ok: true, value: 2.5 }],
    ['1.2345', undefined, { ok: true, value: 1.2345 }],
    ['1.23456', undefined, { ok: false, text: 'Количество должно быть числом больше нуля' }],
    ['0', undefined, { ok: false, text: 'Количество должно быть числом больше нуля' }],
    ['abc', undefined, { ok: false, text: 'Количество должно быть числом больше нуля' }],
    ['7', 6.5, { ok: false, text: 'Не больше остатка: 6,5' }],
  ])('%s (stock %s)', (raw, have, outcome) => expect(parseQuantity(raw, have)).toEqual(outcome))

  it('steps never go below zero', () => {
    expect(stepQuantity('0', -1)).toBe('0')
    expect(stepQuantity('2,5', 1)).toBe('3.5')
  })
})
