import { describe, expect, it } from 'vitest'
import { buildBarcodeIndex, chooseLine, lineKey, lookupPosition } from './barcodeIndex'
import { GTIN, mark } from './testing/marks'

const positions = [
  { assortmentId: 'ean', code: '10001', barcodes: ['4601234567893'] },
  { assortmentId: 'padded', code: '10002', barcodes: ['0002000000123'] },
  { assortmentId: 'gtin14', code: '', barcodes: ['04680000000019'] },
  // a product code equal to another product's barcode: the barcode wins
  { assortmentId: 'clash', code: '4601234567893', barcodes: ['2900000000017'] },
  { assortmentId: 'ean', code: 'dup', barcodes: ['9999'] },
]
const index = buildBarcodeIndex(positions)

describe('position lookup', () => {
  it.each([
    ['a barcode as it is, though another product has it as its code', '4601234567893', 'ean'],
    ['a product code', '10002', 'padded'],
    ['a barcode stored with leading zeros, scanned without', '2000000123', 'padded'],
    ['a barcode scanned with leading zeros, stored without', '0004601234567893', 'ean'],
    ['a marking code by its GTIN without leading zeros', mark(), 'ean'],
    ['a marking code by its 14-digit GTIN', mark('SER1234', 'gs', '04680000000019'), 'gtin14'],
    ['an unknown code', '123', undefined],
    ['a code of only zeros stays as it is', '0000', undefined],
  ])('%s', (_what, code, id) => {
    expect(lookupPosition(index, code)?.assortmentId).toBe(id)
  })

  it('indexes every barcode, every barcode without leading zeros and every product code', () => {
    expect([...index.codes.keys()].sort()).toEqual(
      ['4601234567893', '0002000000123', '04680000000019', '2900000000017', '9999', '2000000123', '4680000000019', '10001', '10002', 'dup'].sort(),
    )
  })

  it('a code shared by two lines of one product answers the first line; each line has its own key', () => {
    expect(lookupPosition(index, '9999')).toBe(positions[0])
    expect(index.positions.get('ean')).toBe(positions[0])
    expect(index.positions.get('ean#2')).toBe(positions[4])
    expect(index.lines.get('ean')).toEqual([positions[0], positions[4]])
    expect(index.keys.get(positions[4]!)).toBe(lineKey('ean', 2))
    expect(index.keys.get(positions[1]!)).toBe('padded')
  })

  it('GTIN of the marks in these tests is the EAN-13 with a leading zero', () => {
    expect(GTIN).toBe('0' + positions[0]!.barcodes[0])
  })
})

describe('the line a scan of a product on several lines goes to', () => {
  // Line 2 needs 1 item, line 118 needs 3 (the sample shipment of 120 lines).
  const lines = (a: number, b: number) => [
    { key: 'line 2', required: 1, checked: a },
    { key: 'line 118', required: 3, checked: b },
  ]
  it.each([
    ['none full: the first line', lines(0, 0), false, 'line 2'],
    ['the first full: the next line that needs items', lines(1, 0), false, 'line 118'],
    ['the first full, the next partly: still the next', lines(1, 2), false, 'line 118'],
    ['all full: the first line, as excess', lines(1, 3), false, 'line 2'],
    ['the first line over, the next short: the short one', lines(2, 1), false, 'line 118'],
    ['removing: the last line with a count', lines(1, 2), true, 'line 118'],
    ['removing, only the first counted', lines(1, 0), true, 'line 2'],
    ['removing, nothing counted: the first line (nothing to remove)', lines(0, 0), true, 'line 2'],
  ])('%s', (_what, list, removing, expected) => {
    expect(chooseLine(list, removing)?.key).toBe(expected)
  })

  it('a product on one line always goes to it', () => {
    const one = [{ required: 2, checked: 5 }]
    expect(chooseLine(one)).toBe(one[0])
    expect(chooseLine(one, true)).toBe(one[0])
  })
})
