import { describe, expect, it } from 'vitest'
import { CONTENT_LOCKED, contentEditing, contentRequest, MANY_ROWS_HINT } from './fboContent'
import { readPage, type FboItem } from './fboRecords'

const items = (n: number): FboItem[] =>
  Array.from({ length: n }, (_, i) => ({ sku: `${1000 + i}`, name: `Товар ${i + 1}`, offerId: `A-${i}`, barcode: `46${i}`, quantity: 2, quant: 1 }))

describe('whether the content may be edited', () => {
  it.each<[string, Parameters<typeof contentEditing>[0], { editable: boolean; hint: string }]>([
    ['600 rows of which 500 were sent: not editable, the 500-row hint',
      { canEditContent: true, contentReasons: [], items: items(500), itemsCount: 600, itemsShown: 500 }, { editable: false, hint: MANY_ROWS_HINT }],
    ['the row hint comes before the server\'s reasons',
      { canEditContent: false, contentReasons: ['поставка в пути'], items: items(500), itemsCount: 600, itemsShown: 500 }, { editable: false, hint: MANY_ROWS_HINT }],
    ['every row sent and allowed',
      { canEditContent: true, contentReasons: [], items: items(3), itemsCount: 3, itemsShown: 3 }, { editable: true, hint: '' }],
    ['not allowed: the reasons joined',
      { canEditContent: false, contentReasons: ['слот уже забронирован', 'поставка в пути'], items: items(3), itemsCount: 3, itemsShown: 3 },
      { editable: false, hint: 'слот уже забронирован; поставка в пути' }],
    ['not allowed without reasons',
      { canEditContent: false, contentReasons: [], items: items(3), itemsCount: 3, itemsShown: 3 }, { editable: false, hint: CONTENT_LOCKED }],
  ])('%s', (_name, page, expected) => {
    expect(contentEditing(page)).toEqual(expected)
  })

  it('a page record read from the server: itemsCount beyond the rows sent locks editing', () => {
    const page = readPage({ supplyId: 7, orderId: 70, canEditContent: true, items: items(500), itemsCount: 600, itemsShown: 500 })!
    expect(contentEditing(page)).toEqual({ editable: false, hint: MANY_ROWS_HINT })
  })
})

describe('the content save request', () => {
  const page = { orderId: '70', supplyId: '7', clientId: '', items: items(2) }

  it('sends sku, quantity and quant of every row; ids as text, no empty clientId', () => {
    expect(contentRequest(page, ['5', 1])).toEqual({
      ok: true,
      payload: { orderId: '70', supplyId: '7', items: [{ sku: '1000', quantity: 5, quant: 1 }, { sku: '1001', quantity: 1, quant: 1 }] },
    })
  })

  it.each([['0'], ['-1'], ['1.5'], ['два'], ['']])('refuses %j', (typed) => {
    expect(contentRequest(page, [typed, '1'])).toEqual({ ok: false, errors: ['Количество товара «Товар 1» — целое число не меньше 1'] })
  })
})
