import { describe, expect, it } from 'vitest'
import { cleanScannedCode, GS, isGroupSeparatorKey } from './symbology'

describe('cleanScannedCode', () => {
  it.each([
    ['a "]C1" prefix before a long code is dropped', ']C104600439931256215N', '04600439931256215N'],
    ['a "]C1" prefix before 5 characters is kept', ']C112345', ']C112345'],
    ['eight characters after the identifier are enough', ']E012345678', '12345678'],
    ['seven are not', ']E01234567', ']E01234567'],
    ['blanks after the identifier do not count', ']d2 1 2 3 4 5 6 7', ']d2 1 2 3 4 5 6 7'],
    ['not an identifier: a digit where the letter goes', ']1C12345678', ']1C12345678'],
    ['surrounding blanks are trimmed first', '  ]C10123456789\n', '0123456789'],
    ['group separators inside the code stay', `]d201046004399312562${GS}93abcd`, `01046004399312562${GS}93abcd`],
    ['blank input is no scan', ' \t', ''],
    ['a leading GS (FNC1) is dropped', `${GS}0104600439931256215Nsk2)!${GS}93dGVz`, `0104600439931256215Nsk2)!${GS}93dGVz`],
    ['a GS after the identifier is dropped too', `]d2${GS}0104600439931256215N`, '0104600439931256215N'],
    ['a lone GS is no scan', GS, ''],
  ])('%s', (_what, raw, expected) => {
    expect(cleanScannedCode(raw)).toBe(expected)
  })

  it('"]C1" + 20 characters gives exactly the 20 characters', () => {
    const code = 'ABCDEFGHIJ0123456789'
    expect(cleanScannedCode(`]C1${code}`)).toBe(code)
  })
})

describe('isGroupSeparatorKey', () => {
  it.each([
    [{ key: 'Tab' }, true],
    [{ key: GS }, true],
    [{ key: 'GroupSeparator' }, true],
    [{ key: ']', ctrlKey: true }, true],
    [{ key: 'ъ', code: 'BracketRight', ctrlKey: true }, true],
    [{ key: ']' }, false],
    [{ key: 'ъ', code: 'BracketRight' }, false],
    [{ key: 'a', ctrlKey: true }, false],
  ])('%j → %s', (key, expected) => {
    expect(isGroupSeparatorKey(key)).toBe(expected)
  })
})
