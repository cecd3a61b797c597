import { describe, expect, it } from 'vitest'
import { LookupIndex, lookupForms, withoutLeadingZeros } from './lookupIndex'
import type { AssortmentItem } from './syncAnswer'

const item = (id: string, barcodes: string[], code = '', extra: Partial<AssortmentItem> = {}): AssortmentItem => ({
  assortmentId: id,
  name: `Товар ${id}`,
  code,
  article: '',
  barcodes,
  markable: false,
  updatedAt: '',
  syncedAt: 1,
  ...extra,
})

const GS = '\x1d'

describe('lookup', () => {
  const index = new LookupIndex()
  index.put([
    item('zeros', ['0004600000000017']),
    item('plain', ['4607001234567'], '777'),
    item('gtin', ['4601234567890']),
    item('code-only', [], '100200'),
    // Its product code is the other product's barcode: the barcode must still win.
    item('code-clash', ['2000000000015'], '4607001234567'),
  ])

  it.each([
    ['stored with leading zeros, scanned without', '4600000000017', 'zeros'],
    ['stored with leading zeros, scanned with them', '0004600000000017', 'zeros'],
    ['stored without, scanned with leading zeros', '04607001234567', 'plain'],
    ['stored without, scanned as is', '4607001234567', 'plain'],
    ['by product code', '100200', 'code-only'],
    ['a barcode beats a product code that equals it', '4607001234567', 'plain'],
    ['the clashing product by its own barcode', '2000000000015', 'code-clash'],
    ['a marking code by its GTIN', `0104601234567890215abcdEFG${GS}91EE0692abc`, 'gtin'],
    ['surrounding blanks', '  777 ', 'plain'],
  ])('%s', (_what, code, id) => {
    expect(index.find(code)?.assortmentId).toBe(id)
  })

  it.each([['unknown', '4600000000999'], ['empty', ''], ['zeros only', '000']])('%s code finds nothing', (_what, code) => {
    expect(index.find(code)).toBeNull()
  })

  it('an empty index answers null', () => {
    expect(new LookupIndex().find('4607001234567')).toBeNull()
  })
})

describe('keeping the index current', () => {
  it('a changed product leaves its old barcodes and code behind', () => {
    const index = new LookupIndex()
    index.put([item('a', ['4600000000017'], '1')])
    index.put([item('a', ['4600000000024'], '2', { name: 'новое имя' })])
    expect(index.find('4600000000017')).toBeNull()
    expect(index.find('1')).toBeNull()
    expect(index.find('4600000000024')?.name).toBe('новое имя')
    expect(index.count).toBe(1)
  })

  it('removing one of two products that share a barcode keeps the other one findable by it', () => {
    const index = new LookupIndex()
    index.put([item('a', ['4600000000017']), item('b', ['4600000000017'])])
    index.remove(['a'])
    expect(index.find('4600000000017')?.assortmentId).toBe('b')
    index.remove(['b', 'unknown'])
    expect(index.find('4600000000017')).toBeNull()
    expect(index.count).toBe(0)
    expect(index.bytes).toBe(0)
  })
})

describe('forms of a code', () => {
  it.each([
    ['0004600000000017', ['0004600000000017', '4600000000017']],
    ['000', ['000']],
    [`0104601234567890215abc${GS}93abcd`, [`0104601234567890215abc${GS}93abcd`, '104601234567890215abc\x1d93abcd', '4601234567890', '04601234567890']],
  ])('%j', (code, forms) => {
    expect(lookupForms(code)).toEqual(forms)
  })

  it('a code of zeros only stays as it is', () => {
    expect(withoutLeadingZeros('0000')).toBe('0000')
    expect(withoutLeadingZeros('0012')).toBe('12')
  })
})
