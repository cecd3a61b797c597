import { describe, expect, it } from 'vitest'
import { BURST_GAP_MS, emptyBurst, ENTER_WAIT_MS, keyStep, quietStep, QUIET_MS, type BurstEffect, type BurstOptions, type KeyPlace, type KeyPress } from './keyBurst'
import { GS } from './symbology'

/** One typed key: its name, the time since the previous key, and where the focus was. */
type Typed = [key: string | KeyPress, gapMs: number, place?: KeyPlace]

const SCANNER = 8
const PERSON = 120

/** A code typed key by key `gap` ms apart, with `place` for every key. */
function keys(text: string, gap: number, place: KeyPlace = 'free'): Typed[] {
  return [...text].map((ch) => [ch, gap, place] as Typed)
}

/** Runs the keys, waking up when asked, and answers the effects and which keys reached the page. */
function run(typed: Typed[], o: BurstOptions = {}, settle = 1_000) {
  let state = emptyBurst()
  let now = 1_000
  let wakeAt: number | null = null
  const effects: BurstEffect[] = []
  const passed: string[] = []
  const wakeUntil = (t: number) => {
    while (wakeAt !== null && wakeAt <= t) {
      const step = quietStep(state, wakeAt, o)
      state = step.state
      effects.push(...step.effects)
      wakeAt = step.wake === null ? null : wakeAt + step.wake
    }
  }
  for (const [key, gap, place = 'free'] of typed) {
    now += gap
    wakeUntil(now)
    const k = typeof key === 'string' ? { key } : key
    const step = keyStep(state, k, now, place, o)
    state = step.state
    effects.push(...step.effects)
    if (!step.take) passed.push(k.key)
    wakeAt = step.wake === null ? null : now + step.wake
  }
  wakeUntil(now + settle)
  return { effects, passed }
}

const code = (c: string): BurstEffect => ({ type: 'code', code: c })
const EAN = '4600439931256'

describe('a scanner burst reaches the scanner whole, a person keeps their keys', () => {
  it.each<[string, Typed[], BurstOptions, BurstEffect[], string[]]>([
    ['a burst with Enter, focus on nothing', [...keys(EAN, SCANNER), ['Enter', SCANNER]], {}, [code(EAN)], []],
    // Enter on a focused button after a burst is swallowed: the button is not pressed again.
    ['a burst with Enter on a focused button', [...keys(EAN, SCANNER), ['Enter', SCANNER]], {}, [code(EAN)], []],
    ['a burst without Enter ends when the keys stop', keys(EAN, SCANNER), {}, [code(EAN)], []],
    ['a leading Tab is the burst\'s prefix, not navigation', [['Tab', 0], ...keys(EAN, SCANNER), ['Enter', SCANNER]], {}, [code(EAN)], []],
    ['a leading GS is dropped', [[GS, 0], ...keys(EAN, SCANNER), ['Enter', SCANNER]], {}, [code(EAN)], []],
    [
      'Tab and Ctrl+] inside a burst are separators',
      [...keys('0104600439931256', SCANNER), ['Tab', SCANNER], ...keys('21ABC', SCANNER), [{ key: ']', ctrlKey: true }, SCANNER], ...keys('93XY', SCANNER), ['Enter', SCANNER]],
      {},
      [code(`0104600439931256${GS}21ABC${GS}93XY`)],
      [],
    ],
    ['a person\'s Enter on a button passes', [['Enter', PERSON]], {}, [], ['Enter']],
    ['a person\'s Space on a button passes', [[' ', PERSON]], {}, [], [' ']],
    ['a person\'s Tab moves on, once it is clear nothing follows', [['Tab', PERSON]], {}, [{ type: 'navigate', back: false }], []],
    ['Shift+Tab moves back', [[{ key: 'Tab', shiftKey: true }, PERSON]], {}, [{ type: 'navigate', back: true }], []],
    ['a person\'s Tab then a slow key: navigation, then the key', [['Tab', PERSON], ['7', PERSON]], { slowIsCode: false }, [{ type: 'navigate', back: false }, { type: 'typed', text: '7' }], []],
    ['keys in a text field of the user stay there', [...keys('12', PERSON, 'text-field'), ['Enter', PERSON, 'text-field']], {}, [], ['1', '2', 'Enter']],
    ['a person typing outside fields and pressing Enter: a code', [...keys('123', PERSON), ['Enter', PERSON]], { slowIsCode: false }, [code('123')], []],
    ['a person typing outside fields: the text for the scan field', [...keys('123', PERSON)], { slowIsCode: false }, [{ type: 'typed', text: '123' }], []],
    ['wedge mode: slow keys are a code all the same', [...keys('12', 140)], { slowIsCode: true }, [code('12')], []],
    ['a person typing in the scan field types there', [...keys('123', PERSON, 'scan-field'), ['Enter', PERSON, 'scan-field']], {}, [], ['1', '2', '3', 'Enter']],
    [
      'a separator in a burst arriving in the scan field',
      [...keys('0104600439931256', SCANNER, 'scan-field'), ['Tab', SCANNER, 'scan-field'], ...keys('93XY', SCANNER, 'scan-field')],
      { fieldFilled: true },
      [{ type: 'insert-gs' }],
      [...'0104600439931256', ...'93XY'],
    ],
    ['a person\'s Tab in a filled scan field passes', [...keys('12', PERSON, 'scan-field'), ['Tab', PERSON, 'scan-field']], { fieldFilled: true }, [], ['1', '2', 'Tab']],
    [
      'a burst that began on the page ends in a text field it reached',
      [...keys('4600', SCANNER), ...keys('439931256', SCANNER, 'text-field'), ['Enter', SCANNER, 'text-field']],
      {},
      [code(EAN)],
      [],
    ],
    ['modifier keys change nothing', [['Shift', SCANNER], ...keys('AB12', SCANNER), ['Enter', SCANNER]], {}, [code('AB12')], ['Shift']],
    ['Tab then Enter alone is no scan', [['Tab', 0], ['Enter', SCANNER]], {}, [], []],
  ])('%s', (_what, typed, options, effects, passed) => {
    const r = run(typed, options)
    expect(r.effects).toEqual(effects)
    expect(r.passed).toEqual(passed)
  })

  it('once a scanner has ended a code with Enter, a pause inside the next code does not split it', () => {
    const r = run([...keys('111', SCANNER), ['Enter', SCANNER], ['4', 400], ...keys('600', SCANNER), ...keys('439931256', 300), ['Enter', SCANNER]])
    expect(r.effects).toEqual([code('111'), code(EAN)])
    // Without its Enter the code is still taken, a little later.
    const late = run([...keys('111', SCANNER), ['Enter', SCANNER], ['2', 400], ...keys('22', SCANNER)], {}, ENTER_WAIT_MS - 1)
    expect(late.effects).toEqual([code('111')])
    expect(run([...keys('111', SCANNER), ['Enter', SCANNER], ['2', 400], ...keys('22', SCANNER)], {}, ENTER_WAIT_MS).effects).toEqual([code('111'), code('222')])
  })

  it('two bursts in a row are two codes', () => {
    const r = run([...keys('111', SCANNER), ['Enter', SCANNER], ['2', 400], ...keys('22', SCANNER), ['Enter', SCANNER]])
    expect(r.effects).toEqual([code('111'), code('222')])
  })

  it('the quiet time and the burst gap are as the wedge has always used them', () => {
    expect(QUIET_MS).toBe(150)
    expect(BURST_GAP_MS).toBeLessThan(QUIET_MS)
  })
})
