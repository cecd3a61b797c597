import { beforeEach, describe, expect, it } from 'vitest'
import { BARCODE_INDEX_KEY, extraBarcodeLookup } from './barcodeIndex'
import { clearDraft, DRAFT_KEY, EMPTY_DRAFT, loadDraft, loadPrintLabel, saveDraft, savePrintLabel, type ProductDraft } from './draft'

beforeEach(() => localStorage.clear())

describe('the new-product draft', () => {
  it.each<[string, ProductDraft, boolean]>([
    ['the empty form removes the draft', { ...EMPTY_DRAFT }, false],
    ['a name is kept', { ...EMPTY_DRAFT, name: 'Клипса' }, true],
    ['quantity 0 differs from the empty form', { ...EMPTY_DRAFT, quantity: '0' }, true],
  ])('%s', (_, draft, stored) => {
    localStorage.setItem(DRAFT_KEY, '{"name":"старое"}')
    saveDraft(localStorage, draft)
    expect(localStorage.getItem(DRAFT_KEY) !== null).toBe(stored)
    expect(loadDraft(localStorage)).toEqual(draft)
  })

  it.each<[string, string | null, ProductDraft]>([
    ['nothing stored', null, { ...EMPTY_DRAFT }],
    ['broken JSON', '{', { ...EMPTY_DRAFT }],
    ['fields of the wrong type', '{"name":5,"price":"10"}', { ...EMPTY_DRAFT, price: '10' }],
  ])('reading %s', (_, raw, draft) => {
    if (raw !== null) localStorage.setItem(DRAFT_KEY, raw)
    expect(loadDraft(localStorage)).toEqual(draft)
  })

  it('is removed on reset, and the label choice is remembered as "1" or "0"', () => {
    saveDraft(localStorage, { ...EMPTY_DRAFT, name: 'x' })
    clearDraft(localStorage)
    expect(localStorage.getItem(DRAFT_KEY)).toBeNull()
    expect(loadPrintLabel(localStorage)).toBe(false)
    savePrintLabel(localStorage, true)
    expect([localStorage.getItem('radio.newProduct.printLabel'), loadPrintLabel(localStorage)]).toEqual(['1', true])
  })
})

describe('the extra barcode index', () => {
  it.each<[string | null, string, string | undefined]>([
    ['{"4600000000017":"P000010"}', '4600000000017', 'P000010'],
    ['{"4600000000017":"P000010"}', 'other', undefined],
    ['{"toString":1}', 'toString', undefined],
    ['[', '4600000000017', undefined],
    [null, '4600000000017', undefined],
  ])('%s answers %s with %s', (raw, code, internal) => {
    if (raw !== null) localStorage.setItem(BARCODE_INDEX_KEY, raw)
    expect(extraBarcodeLookup(localStorage)(code)).toBe(internal)
  })
})
