import { describe, expect, it } from 'vitest'
import { buildBarcodeIndex, lookupPosition } from './barcodeIndex'
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

  it('a code shared by two lines of one product answers the first line', () => {
    expect(lookupPosition(index, '9999')).toBe(positions[0])
    expect(index.positions.get('ean')).toBe(positions[0])
  })

  it('GTIN of the marks in these tests is the EAN-13 with a leading zero', () => {
    expect(GTIN).toBe('0' + positions[0]!.barcodes[0])
  })
})
