import { describe, expect, it } from 'vitest'
import { buildBarcodeIndex, matchScan } from './barcodeIndex'
import { hasCyrillic, toUsLayout } from './layout'
import { mark } from './testing/marks'

describe('toUsLayout', () => {
  it.each([
    ['letters of both cases', 'йцукенгшщзхъфывапролджэячсмитьбюё', "qwertyuiop[]asdfghjkl;'zxcvbnm,.`"],
    ['upper case with the shifted keys', 'ЙЦУКЕНГШЩЗХЪФЫВАПРОЛДЖЭЯЧСМИТЬБЮЁ', 'QWERTYUIOP{}ASDFGHJKL:"ZXCVBNM<>~'],
    ['punctuation of the dot key and the shifted digit row', '.,№";:?', '/?#@$^&'],
    ['digits and other characters stay', '4601234-567_8', '4601234-567_8'],
  ])('%s', (_what, input, expected) => {
    expect(toUsLayout(input)).toBe(expected)
  })

  it('knows Cyrillic by the U+0400–U+04FF block', () => {
    expect(hasCyrillic('ABC123')).toBe(false)
    expect(hasCyrillic('ФВС')).toBe(true)
    expect(hasCyrillic('Ѐ')).toBe(true)
  })
})

describe('layout correction when matching a scan', () => {
  const positions = [
    { assortmentId: 'latin', code: 'ABC-1', barcodes: ['SKU42XL'] },
    { assortmentId: 'cyrillic', code: 'ФЫВ1', barcodes: [] },
    { assortmentId: 'gtin', code: '', barcodes: ['4601234567893'] },
  ]
  const index = buildBarcodeIndex(positions)

  it.each([
    ['a Latin code typed on the Russian layout is corrected', 'ЫЛГ42ЧД', 'SKU42XL', true, 'latin'],
    ['a Cyrillic code that matches as it is stays', 'ФЫВ1', 'ФЫВ1', false, 'cyrillic'],
    ['a code that matches in neither form stays as scanned', 'ЖЖЖ', 'ЖЖЖ', false, undefined],
    ['a marking code typed on the Russian layout is corrected (by its form)', mark('ФИС1234'), mark('ABC1234'), true, 'gtin'],
    ['a code without Cyrillic is never touched', 'SKU42XL', 'SKU42XL', false, 'latin'],
  ])('%s', (_what, scanned, code, corrected, position) => {
    const m = matchScan(index, scanned)
    expect(m.code).toBe(code)
    expect(m.corrected).toBe(corrected)
    expect(m.position?.assortmentId).toBe(position)
  })
})
