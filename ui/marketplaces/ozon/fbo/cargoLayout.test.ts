import { describe, expect, it } from 'vitest'
import { cargoesRequest, cellMax, checkLayout, maxPlaces, newLayout, setCell, withPlaceCount, type CargoLayout, type LayoutContext } from './cargoLayout'
import type { CargoPlace, FboItem } from './fboRecords'

const item = (name: string, barcode: string, quantity: number, offerId = `of-${barcode}`): FboItem => ({ sku: `sku-${barcode}`, name, offerId, barcode, quantity, quant: 1 })
const soap = item('Мыло', '4600000000011', 10)
const towel = item('Полотенце', '4600000000028', 4)

function ctx(items: FboItem[], existing: CargoPlace[] = [], expiryRequired = false): LayoutContext {
  return { items, existing, existingCount: existing.length, expiryRequired }
}
const layout = (quantities: number[][], fields: Partial<CargoLayout> = {}): CargoLayout => ({
  type: 'BOX', quantities, expiry: quantities[0]!.map(() => ''), replace: true, ...fields,
})
const box = (n: number, lines: Array<[FboItem, number]>): CargoPlace => ({
  key: `box-${n}`, type: 'BOX', items: lines.map(([i, quantity]) => ({ barcode: i.barcode, offerId: i.offerId, quantity })),
})

describe('the layout check', () => {
  it.each<[string, LayoutContext, CargoLayout, string[], string[]]>([
    ['10 pieces split 5/5/0 over three boxes: box 3 is empty', ctx([soap]), layout([[5], [5], [0]]), ['в коробке 3 не указаны товары'], []],
    ['an empty pallet is named as a pallet', ctx([soap]), layout([[10], [0]], { type: 'PALLET' }), ['в палете 2 не указаны товары'], []],
    ['everything laid out', ctx([soap, towel]), layout([[6, 4], [4, 0]]), [], []],
    ['pieces left, per item too', ctx([soap, towel]), layout([[6, 1]]), ['разложите все штуки: осталось 7'],
      ['осталось разложить: Мыло — 4 шт', 'осталось разложить: Полотенце — 3 шт']],
    ['more than the supply holds', ctx([soap]), layout([[8], [3]]), ['товара Мыло больше, чем в поставке: 11 из 10'], []],
    ['31 boxes are over the limit', ctx([item('Гвозди', '1', 31)]), layout(Array.from({ length: 31 }, () => [1])), ['не больше 30 коробок'], []],
    ['41 pallets are over the limit', ctx([item('Гвозди', '1', 41)]), layout(Array.from({ length: 41 }, () => [1]), { type: 'PALLET' }), ['не больше 40 палет'], []],
    ['an expiry date is required for what is laid out', ctx([soap, towel], [], true), layout([[10, 4]], { expiry: ['2027-03-01', ''] }),
      ['укажите срок годности: Полотенце'], []],
  ])('%s', (_name, c, l, errors, left) => {
    expect(checkLayout(c, l)).toEqual({ errors, left })
  })
})

describe('adding places to the existing ones ("Заменить прежние грузоместа" off)', () => {
  // Two boxes already hold 6 pieces of soap and all the towels.
  const existing = [box(1, [[soap, 4], [towel, 4]]), box(2, [[soap, 2]])]
  const c = ctx([soap, towel], existing)

  it.each<[string, CargoLayout, string[]]>([
    ['the rest in one new box is enough; it is box 3', layout([[4, 0]], { replace: false }), []],
    ['laying out everything again declares it twice', layout([[10, 4]], { replace: false }),
      ['товара Мыло больше, чем в поставке: 16 из 10', 'товара Полотенце больше, чем в поставке: 8 из 4']],
    ['an empty new box is named by its own number', layout([[4, 0], [0, 0]], { replace: false }), ['в коробке 4 не указаны товары']],
    ['with "replace" on, the existing places count for nothing', layout([[4, 0]]), ['разложите все штуки: осталось 10']],
  ])('%s', (_name, l, errors) => {
    expect(checkLayout(c, l).errors).toEqual(errors)
  })

  it('a cell takes at most what the existing and the other new places leave', () => {
    const l = layout([[0, 0], [3, 0]], { replace: false })
    expect(cellMax(c, l, 0, 0)).toBe(1)
    expect(setCell(c, l, 0, 0, '9').quantities[0]).toEqual([1, 0])
    expect(cellMax(c, l, 0, 1)).toBe(0)
  })

  it('the request adds box 3 without deleting the others', () => {
    expect(cargoesRequest({ supplyId: '77', clientId: '' }, c, layout([[4, 0]], { replace: false }))).toEqual({
      supplyId: '77',
      deleteCurrent: false,
      cargoes: [{ key: 'box-3', type: 'BOX', items: [{ barcode: soap.barcode, offerId: soap.offerId, quantity: 4, quant: 1 }] }],
    })
  })

  it('the limit counts the places that stay', () => {
    expect(maxPlaces(c, { type: 'BOX', replace: false })).toBe(28)
    expect(maxPlaces(c, { type: 'PALLET', replace: true })).toBe(40)
  })
})

describe('the save request', () => {
  it('numbers pallets from 1, leaves out empty lines, adds expiry dates, and always deletes when there were no places', () => {
    const c = ctx([soap, towel], [], true)
    const l = layout([[10, 0], [0, 4]], { type: 'PALLET', replace: false, expiry: ['2027-01-31', '2026-12-20'] })
    expect(cargoesRequest({ supplyId: '5', clientId: '991' }, c, l)).toEqual({
      supplyId: '5',
      deleteCurrent: true,
      clientId: '991',
      cargoes: [
        { key: 'pallet-1', type: 'PALLET', items: [{ barcode: soap.barcode, offerId: soap.offerId, quantity: 10, quant: 1, expiresAt: '2027-01-31T23:59:59Z' }] },
        { key: 'pallet-2', type: 'PALLET', items: [{ barcode: towel.barcode, offerId: towel.offerId, quantity: 4, quant: 1, expiresAt: '2026-12-20T23:59:59Z' }] },
      ],
    })
  })

  it('the place count keeps what was typed in the places that stay', () => {
    const c = ctx([soap])
    let l = setCell(c, newLayout(c), 0, 0, 7)
    l = withPlaceCount(l, 3, 1)
    expect(l.quantities).toEqual([[7], [0], [0]])
    expect(withPlaceCount(l, 0, 1).quantities).toEqual([[7]])
  })

  it.each([['-3', 0], ['2.7', 2], ['abc', 0], ['', 0], ['50', 10]])('a typed %j becomes %i', (raw, expected) => {
    const c = ctx([soap])
    expect(setCell(c, newLayout(c), 0, 0, raw).quantities[0]![0]).toBe(expected)
  })
})
