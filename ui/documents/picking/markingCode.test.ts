import { describe, expect, it } from 'vitest'
import { GS } from '../scanner/symbology'
import { isMarkingCode, markIdentity, parseMarkingCode, tailStatus, withoutLeadingZeros } from './markingCode'
import { cartonMark, GTIN, mark, packMark, SERIAL } from './testing/marks'

describe('isMarkingCode', () => {
  it.each([
    ['"01" + 14 digits + "21" + serial', mark(), true],
    ['the bare form: 14 digits and a non-digit after them', `${GTIN}Ab5xQ`, true],
    ['an EAN-13 barcode', '4601234567893', false],
    ['16 digits', '0460123456789312', false],
    ['"01" + GTIN without "21" after it', `01${GTIN}10BATCH`, false],
    ['"01" + a GTIN with a letter in it', `0104601234X6789321abc`, false],
    ['14 digits and nothing more', GTIN, false],
    ['the bare form needs a non-digit right after the 14 digits', `${GTIN}1abc`, false],
    ['a tobacco pack whose serial starts with a digit', packMark('1A-E7x9'), true],
    ['a tobacco pack whose serial starts with a letter', packMark('xA-E7x9'), true],
  ])('%s → %s', (_what, code, expected) => {
    expect(isMarkingCode(code)).toBe(expected)
  })
})

describe('parseMarkingCode: GTIN, serial, identity and tail', () => {
  it.each([
    ['with GS and the 91/92 tail', mark(SERIAL, 'gs'), SERIAL, 'full'],
    ['without GS but with the 91/92 tail', mark(SERIAL, 'no-gs'), SERIAL, 'no-gs'],
    ['with the 93 tail and no GS', mark('Ab3x5Ky', '93'), 'Ab3x5Ky', 'no-gs'],
    ['with GS and the 93 tail', mark('Ab3x5Ky', '93-gs'), 'Ab3x5Ky', 'full'],
    ['with GS but no crypto tail after it', mark(SERIAL, 'gs-other'), SERIAL, 'missing'],
    ['no tail at all: the serial is the first 20 characters', mark('ABCDEFGHIJKLMNOPQRSTUVWX', 'none'), 'ABCDEFGHIJKLMNOPQRST', 'missing'],
    ['short serial without a tail', mark(SERIAL, 'none'), SERIAL, 'missing'],
    ['a serial holding "91…92" keeps it: the tail starts at the latest place', mark('X91abcd92Y', 'no-gs'), 'X91abcd92Y', 'no-gs'],
  ])('%s', (_what, code, serial, tail) => {
    const parsed = parseMarkingCode(code)
    expect(parsed).toMatchObject({ gtin: GTIN, serial, identity: `${GTIN}:${serial}`, form: '01' })
    expect(tailStatus(code)).toBe(tail)
  })

  it('the bare form: GTIN = the first 14 digits, serial = the rest, tail "full"', () => {
    const code = `${GTIN}-Ab5xQ${GS}93zz`
    expect(parseMarkingCode(code)).toMatchObject({ gtin: GTIN, serial: `-Ab5xQ${GS}93zz`, form: 'bare' })
    expect(tailStatus(code)).toBe('full')
  })

  it('the same item scanned with and without its tail has one identity', () => {
    expect(markIdentity(mark(SERIAL, 'gs'))).toBe(markIdentity(mark(SERIAL, 'no-gs')))
    expect(markIdentity(mark(SERIAL, 'gs'))).not.toBe(markIdentity(mark('ABC1234567891', 'gs')))
  })

  it('a tobacco pack counts under its GTIN and 7-character serial, whatever the serial starts with', () => {
    expect(parseMarkingCode(packMark('1A-E7x9'))).toMatchObject({ gtin: '04606203084623', serial: '1A-E7x9', identity: '04606203084623:1A-E7x9' })
    expect(markIdentity(packMark('xA-E7x9'))).toBe('04606203084623:xA-E7x9')
  })

  it('a tobacco carton has one identity with and without its separators', () => {
    expect(markIdentity(cartonMark(false))).toBe(markIdentity(cartonMark(true)))
    expect(markIdentity(cartonMark(true))).toBe(`${GTIN}:Kx7-5Qa`)
    expect(tailStatus(cartonMark(false))).toBe('no-gs')
    expect(tailStatus(cartonMark(true))).toBe('full')
  })

  it('an "01" code shorter than 20 characters does not parse and counts under its own text', () => {
    const short = `01${GTIN}21X`
    expect(isMarkingCode(short)).toBe(true)
    expect(parseMarkingCode(short)).toBeNull()
    expect(markIdentity(short)).toBe(short)
  })

  it('a plain barcode is no mark', () => {
    expect(parseMarkingCode('4601234567893')).toBeNull()
  })
})

describe('withoutLeadingZeros', () => {
  it.each([
    ['0004601234567893', '4601234567893'],
    ['4601234567893', '4601234567893'],
    ['0000', '0000'],
    ['0', '0'],
  ])('%s → %s', (code, expected) => {
    expect(withoutLeadingZeros(code)).toBe(expected)
  })
})
