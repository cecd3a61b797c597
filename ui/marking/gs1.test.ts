import { describe, expect, it } from 'vitest'
import { emptyBurst, keyStep, type KeyPress } from '../documents/scanner/keyBurst'
import { GS } from '../documents/scanner/symbology'
import { cartonMark, CRYPTO, GTIN, KEY, mark, packMark, SERIAL } from '../documents/picking/testing/marks'
import { gs1Date, gs1Expiry, parseGs1 } from './gs1'

/** What the wedge makes of a scanner typing `text`, with Ctrl+] for every GS, 10 ms apart. */
function typedThroughWedge(text: string): string {
  let state = emptyBurst()
  let code = ''
  const keys: KeyPress[] = [...text].map((ch) => (ch === GS ? { key: ']', code: 'BracketRight', ctrlKey: true } : { key: ch }))
  keys.push({ key: 'Enter' })
  keys.forEach((k, i) => {
    const step = keyStep(state, k, 1_000 + i * 10, 'free')
    state = step.state
    for (const e of step.effects) if (e.type === 'code') code = e.code
  })
  return code
}

const SERIAL7 = 'abc1234'
const CRYPTO44 = 'A'.repeat(22) + 'b'.repeat(22)

describe('parseGs1', () => {
  it.each([
    ['01 + GTIN + 21 + serial, GS 91, GS 92', `01${GTIN}21${SERIAL7}${GS}91EE06${GS}92${CRYPTO44}`,
      { ok: true, gtin: GTIN, serial: SERIAL7, verificationCode: 'EE06', crypto: CRYPTO44, unknown: [] }],
    ['the bracketed form with AI 17 and day 00 in February 2025', `(01)${GTIN}(21)${SERIAL7}(17)250200`,
      { ok: true, gtin: GTIN, serial: SERIAL7, expiry: '2025-02-28' }],
    ['AI 17 with four digits', `01${GTIN}172502`, { ok: false, error: 'Поле 17 оборвано' }],
    ['a 13-digit EAN', '4601234567893', { ok: false, error: 'Это не марка Честного Знака' }],
    ['blank', '   ', { ok: false, error: 'Пустая марка' }],
    ['a tobacco pack whose serial starts with a digit', packMark('1A-E7x9'),
      { ok: true, gtin: '04606203084623', serial: '1A-E7x9', crypto: 'Bftl' }],
    ['a tobacco pack whose serial starts with a letter', packMark('xA-E7x9'), { ok: true, gtin: '04606203084623', serial: 'xA-E7x9' }],
    ['a carton with its separators', cartonMark(true), { ok: true, gtin: GTIN, serial: 'Kx7-5Qa', unknown: ['80'] }],
    ['the same carton without them', cartonMark(false), { ok: true, gtin: GTIN, serial: 'Kx7-5Qa', unknown: ['80'] }],
    ['no separators: the serial ends where the 91/92 tail starts', mark(SERIAL, 'no-gs'),
      { ok: true, gtin: GTIN, serial: SERIAL, verificationCode: KEY, crypto: CRYPTO }],
    ['no separators and no tail: a serial is at most 20 characters', `01${GTIN}21${'S'.repeat(24)}`, { ok: true, serial: 'S'.repeat(20) }],
    ['an unknown identifier after GTIN and serial stops the parse but not the mark', `01${GTIN}21${SERIAL7}${GS}3103000500`,
      { ok: true, serial: SERIAL7, unknown: ['31'] }],
    ['production (11), batch (10) and expiry (15)', `01${GTIN}11991231${`15${'260131'}`}10LOT-7${GS}21${SERIAL7}`,
      { ok: true, production: '1999-12-31', expiry: '2026-01-31', batch: 'LOT-7', serial: SERIAL7 }],
    ['a GS1 product code of 29 characters is not taken for a pack', `01${GTIN}17260131` + '10ABC',
      { ok: true, gtin: GTIN, expiry: '2026-01-31', batch: 'ABC', serial: '' }],
  ])('%s', (_what, code, expected) => {
    expect(parseGs1(code)).toMatchObject(expected)
  })

  it('a code whose separators came as Ctrl+] from the scanner parses like the raw one', () => {
    const raw = `01${GTIN}21${SERIAL7}${GS}91EE06${GS}92${CRYPTO44}`
    const typed = typedThroughWedge(raw)
    expect(typed).toBe(raw)
    expect(parseGs1(typed)).toEqual(parseGs1(raw))
  })

  it('the same physical carton gives the same fields scanned either way', () => {
    const { gtin, serial } = parseGs1(cartonMark(true))
    expect(parseGs1(cartonMark(false))).toMatchObject({ gtin, serial })
  })
})

describe('gs1Date', () => {
  it.each([
    ['250200', '2025-02-28'],
    ['240200', '2024-02-29'],
    ['991231', '1999-12-31'],
    ['500101', '1950-01-01'],
    ['491231', '2049-12-31'],
    ['250230', null],
    ['251301', null],
    ['250001', null],
    ['2502', null],
  ])('%s → %s', (text, expected) => {
    expect(gs1Date(text)).toBe(expected)
  })

  it('an invalid date leaves the expiry as it was', () => {
    expect(parseGs1(`01${GTIN}17250230${'21'}${SERIAL7}`)).toMatchObject({ ok: true, expiry: '' })
    expect(gs1Expiry(`(01)${GTIN}(17)250200(21)${SERIAL7}`)).toBe('2025-02-28')
    expect(gs1Expiry('4601234567893')).toBe('')
  })
})
