import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest'
import { ANSWER_WAIT_MS, BATCH_DELAY_MS, createMarkChecker, normaliseMarkResult, reportFor, type MarkVerdict } from './markCheck'

describe('normalising a check result', () => {
  it.each<[string, Record<string, unknown>, string, boolean, string]>([
    ['in circulation', { ok: true, status: 'IN_CIRCULATION' }, 'IN_CIRCULATION', true, 'Код в обороте'],
    ['INTRODUCED is in circulation', { status: 'INTRODUCED' }, 'IN_CIRCULATION', true, 'Код в обороте'],
    ['emitted', { ok: false, status: 'EMITTED' }, 'EMITTED', false, 'Код не введен в оборот'],
    ['applied', { ok: false, status: 'APPLIED' }, 'APPLIED', false, 'Код нанесен, но не введен в оборот'],
    ['withdrawn', { ok: false, status: 'WITHDRAWN' }, 'WITHDRAWN', false, 'Код уже выведен из оборота'],
    ['retired', { ok: false, status: 'RETIRED' }, 'RETIRED', false, 'Код списан'],
    ['disaggregated', { ok: false, status: 'DISAGGREGATED' }, 'DISAGGREGATED', false, 'Код расформирован — сканируйте коды внутри упаковки'],
    ['unknown', { ok: false, status: 'UNKNOWN' }, 'UNKNOWN', false, 'Честный Знак не знает такой код'],
    ['not checked', { status: 'NOT_CHECKED' }, 'NOT_CHECKED', true, 'Код не проверен'],
    ['rejected', { ok: false, status: 'REJECTED' }, 'REJECTED', false, 'Код нельзя отгружать'],
    ['without ok the status decides', { status: 'emitted' }, 'EMITTED', false, 'Код не введен в оборот'],
    ['an unknown status passes', { status: 'QUARANTINE' }, 'QUARANTINE', true, 'Неизвестный статус: QUARANTINE'],
    ['"КИ не найден" in any spacing is UNKNOWN', { ok: true, message: 'КИ  не   найден' }, 'UNKNOWN', false, 'КИ  не   найден'],
    ['"Not Found" is UNKNOWN', { status: 'IN_CIRCULATION', message: 'code NOT found' }, 'UNKNOWN', false, 'code NOT found'],
    ['ok without a known status is in circulation', { ok: true }, 'IN_CIRCULATION', true, 'Код в обороте'],
    ['failed with a known failing status keeps it', { ok: false, status: 'RETIRED' }, 'RETIRED', false, 'Код списан'],
    ['failed with a passing status is rejected', { ok: false, status: 'IN_CIRCULATION' }, 'REJECTED', false, 'Код нельзя отгружать'],
    ['failed with an unknown status is rejected', { ok: false, status: 'BLOCKED' }, 'REJECTED', false, 'Код нельзя отгружать'],
    ['failed with neither status nor message is unknown', { ok: false }, 'UNKNOWN', false, 'Честный Знак не знает такой код'],
    ['the server\'s message replaces the text', { ok: false, status: 'EMITTED', message: 'Не введен в оборот производителем' }, 'EMITTED', false, 'Не введен в оборот производителем'],
  ])('%s', (_what, raw, status, passes, text) => {
    expect(normaliseMarkResult({ code: 'C', ...raw })).toMatchObject({ code: 'C', status, passes, text })
  })

  it('a result without a code is dropped', () => {
    expect(normaliseMarkResult({ ok: true })).toBeNull()
    expect(normaliseMarkResult('C')).toBeNull()
  })
})

const verdict = (raw: Record<string, unknown>) => normaliseMarkResult({ code: 'C', ...raw }) as MarkVerdict

describe('what one answer shows', () => {
  it.each<[string, Array<Record<string, unknown>>, string, string]>([
    ['a refused code: the first one\'s text with a warning', [{ ok: true }, { ok: false, status: 'RETIRED' }, { ok: false, status: 'EMITTED' }], 'refused', '⚠️ Код списан'],
    ['a warning from the server comes first', [{ ok: true }, { status: 'NOT_CHECKED', message: 'Честный Знак не ответил' }], 'note', 'Честный Знак не ответил'],
    ['one code in circulation', [{ ok: true }], 'note', 'Честный Знак: марка в обороте'],
    ['one code on our balance', [{ ok: true, ownedByUs: true }], 'note', 'Честный Знак: марка в обороте, на вашем балансе'],
    ['one code of another organisation', [{ ok: true, ownedByUs: false, ownerInn: '7701234567' }], 'note', 'Честный Знак: марка в обороте, на балансе другой организации (ИНН 7701234567)'],
    ['another organisation, INN unknown', [{ ok: true, ownedByUs: false }], 'note', 'Честный Знак: марка в обороте, на балансе другой организации'],
    ['a status other than in circulation names its title', [{ status: 'NOT_CHECKED', statusTitle: 'Проверка недоступна' }], 'note', 'Честный Знак: Проверка недоступна'],
    ['several codes in circulation', [{ ok: true }, { ok: true }, { ok: true }], 'note', 'Честный Знак: 3 марки в обороте'],
    ['five codes', Array.from({ length: 5 }, () => ({ ok: true })), 'note', 'Честный Знак: 5 марок в обороте'],
  ])('%s', (_what, raws, kind, message) => {
    expect(reportFor(raws.map(verdict))).toEqual({ kind, message })
  })
})

describe('batching', () => {
  beforeEach(() => vi.useFakeTimers())
  afterEach(() => vi.useRealTimers())

  function checker() {
    const sent: string[][] = []
    const seen: MarkVerdict[][] = []
    const errors: string[] = []
    const c = createMarkChecker({ send: (codes) => (sent.push(codes), true), onVerdicts: (v) => seen.push(v), onError: (e) => errors.push(e) })
    return { c, sent, seen, errors }
  }

  it('sends 500 ms after the first queued code, all codes queued meanwhile together', () => {
    const { c, sent } = checker()
    c.queue('a')
    vi.advanceTimersByTime(300)
    c.queue('b')
    vi.advanceTimersByTime(BATCH_DELAY_MS - 301)
    expect(sent).toEqual([])
    vi.advanceTimersByTime(1)
    expect(sent).toEqual([['a', 'b']])
  })

  it('sends at once when 100 codes are queued', () => {
    const { c, sent } = checker()
    for (let i = 0; i < 230; i++) c.queue(`m${i}`)
    expect(sent.map((b) => b.length)).toEqual([100, 100])
    vi.advanceTimersByTime(BATCH_DELAY_MS)
    expect(sent.map((b) => b.length)).toEqual([100, 100, 30])
  })

  it('a code without an answer in 15 s is not checked; answered ones are not', () => {
    const { c, seen } = checker()
    c.queue('a')
    c.queue('b')
    vi.advanceTimersByTime(BATCH_DELAY_MS)
    c.answer({ results: [{ code: 'a', ok: true }] })
    expect(seen).toHaveLength(1)
    vi.advanceTimersByTime(ANSWER_WAIT_MS - 1)
    expect(seen).toHaveLength(1)
    vi.advanceTimersByTime(1)
    expect(seen[1]).toEqual([expect.objectContaining({ code: 'b', status: 'NOT_CHECKED', passes: true, text: 'Код не проверен' })])
    expect(c.waiting).toBe(0)
  })

  it('an error without results is a note; leaving drops the batch and every wait', () => {
    const { c, sent, seen, errors } = checker()
    c.answer({ results: [], error: 'Честный Знак недоступен' })
    expect(errors).toEqual(['Честный Знак недоступен'])
    c.queue('a')
    c.dispose()
    vi.advanceTimersByTime(ANSWER_WAIT_MS * 2)
    expect(sent).toEqual([])
    expect(seen).toEqual([])
  })
})
