import { beforeEach, describe, expect, it } from 'vitest'
import { installMemoryStorage } from '../../core/testing/memoryStorage'
import { CELLS_ORDER_LABELS, locationLines, nextCellsOrder, readCellsOrder, rowHeight, sortByCell, statusText, writeCellsOrder } from './cells'

beforeEach(() => installMemoryStorage())

describe('cells order', () => {
  const list = [
    { id: 1, cell: '' },
    { id: 2, cell: 'б-10' },
    { id: 3, cell: 'А-2' },
    { id: 4, cell: 'Б-9' },
    { id: 5, cell: '' },
    { id: 6, cell: 'а-2' },
  ]
  it.each([
    ['', [1, 2, 3, 4, 5, 6]],
    // numeric, ignoring case, ties in document order, no cell last
    ['asc', [3, 6, 4, 2, 1, 5]],
    // only the name comparison is reversed: ties and cell-less positions keep their order
    ['desc', [2, 4, 3, 6, 1, 5]],
  ] as const)('%s', (order, ids) => {
    expect(sortByCell(list, order).map((p) => p.id)).toEqual(ids)
  })

  it('cycles as in the document → А → Я → Я → А → back, and is kept for this device', () => {
    expect(readCellsOrder()).toBeUndefined()
    const seen = ['' as const, nextCellsOrder(''), nextCellsOrder('asc'), nextCellsOrder('desc')]
    expect(seen.map((o) => CELLS_ORDER_LABELS[o])).toEqual([
      '📍 Ячейки: как в документе',
      '📍 Ячейки: А → Я',
      '📍 Ячейки: Я → А',
      '📍 Ячейки: как в документе',
    ])
    writeCellsOrder('desc')
    expect(localStorage.getItem('zv_cells_sort_device')).toBe('"desc"')
    expect(readCellsOrder()).toBe('desc')
  })
})

describe('card and row lines', () => {
  const p = { cell: 'A-01-02', cellStock: 7, warehouseStock: 40, productFieldValue: 'Стеллаж 3' }
  it.each([
    [null, '📍 A-01-02', ''],
    ['cell', '📍 A-01-02 · 7 шт.', ''],
    ['warehouse', '📍 A-01-02', 'Склад: 40 шт.'],
    ['both', '📍 A-01-02 · 7 шт.', 'Склад: 40 шт.'],
    ['productField', '📍 Стеллаж 3', ''],
  ] as const)('display %s', (display, location, stock) => {
    expect(locationLines(p, display)).toEqual({ location, stock })
  })

  it('says nothing about a cell or stock it does not know', () => {
    expect(locationLines({ cell: '' }, 'both')).toEqual({ location: '', stock: '' })
  })

  it.each([
    ['pending', false, 'Не начат'],
    ['partial', false, 'Частично'],
    ['excess', false, 'Лишнее'],
    ['done', false, 'Собрано'],
    ['done', true, 'Проверено'],
  ] as const)('status %s (checked word %s) reads %s', (status, word, text) => {
    expect(statusText(status, word)).toBe(text)
  })

  it('rows are 120 px (160 for large photos), 16 px taller in check mode', () => {
    expect([rowHeight('off', false), rowHeight('medium', false), rowHeight('large', false), rowHeight('small', true)]).toEqual([120, 120, 160, 136])
  })
})
