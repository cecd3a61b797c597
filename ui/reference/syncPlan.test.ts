import { describe, expect, it } from 'vitest'
import { isFullRun, nextSince, pageStep, type PageStep } from './syncPlan'
import { normaliseSyncAnswer, type SyncAnswer } from './syncAnswer'

const answer = (p: Record<string, unknown>): SyncAnswer => normaliseSyncAnswer(p)
const DAY = 24 * 60 * 60 * 1000

describe('what one answer means', () => {
  it.each<[string, Record<string, unknown>, number, PageStep]>([
    ['too-soon with a wait', { errorCode: 'too-soon', retryAfterSec: 120 }, 1, { kind: 'wait', seconds: 120 }],
    ['too-soon without a wait: 60 s', { errorCode: 'too-soon' }, 1, { kind: 'wait', seconds: 60 }],
    ['too-soon with a wait of 0: 60 s', { errorCode: 'too-soon', retryAfterSec: 0 }, 5, { kind: 'wait', seconds: 60 }],
    ['the sixth too-soon in a row', { errorCode: 'too-soon', retryAfterSec: 5, cursor: 'c' }, 6, { kind: 'fail', error: 'МойСклад не успевает отвечать — попробуйте позже' }],
    ['an error with a message', { error: 'boom', errorCode: 'ms-down', message: 'МойСклад недоступен' }, 0, { kind: 'fail', error: 'МойСклад недоступен' }],
    ['an error text', { error: 'boom' }, 0, { kind: 'fail', error: 'boom' }],
    ['an error code only', { errorCode: 'x', cursor: 'c' }, 0, { kind: 'fail', error: 'справочник не ответил' }],
    ['error: true', { error: true }, 0, { kind: 'fail', error: 'справочник не ответил' }],
    ['a cursor: more pages', { items: [], cursor: 'c2' }, 0, { kind: 'next', cursor: 'c2' }],
    ['no cursor: the last page', { items: [] }, 0, { kind: 'last' }],
  ])('%s', (_what, p, inRow, step) => {
    expect(pageStep(answer(p), inRow)).toEqual(step)
  })
})

describe('full or incremental', () => {
  const base = { full: false, count: 10, lastFullSyncAt: 1_000, since: 's', now: 1_000 + DAY }
  it.each([
    ['incremental between full runs', base, false],
    ['asked for a full run', { ...base, full: true }, true],
    ['an empty copy', { ...base, count: 0 }, true],
    ['no full run recorded', { ...base, lastFullSyncAt: null }, true],
    ['the last full run a week ago', { ...base, now: 1_000 + 7 * DAY }, true],
    ['no cursor to go on from', { ...base, since: null }, true],
  ])('%s', (_what, facts, full) => {
    expect(isFullRun(facts)).toBe(full)
  })
})

describe('the incremental cursor after a page', () => {
  const rec = (updatedAt: string) => ({ assortmentId: 'a', name: '', code: '', article: '', barcodes: [], markable: false, updatedAt })
  it.each([
    ['the server time', { serverTime: 'T9', items: [rec('T5')] }, 'T1', 'T9'],
    ['else the latest change of the page', { items: [rec('2026-01-02'), rec('2026-03-01'), rec('2026-02-01')] }, 'T1', '2026-03-01'],
    ['else unchanged', { items: [rec('')] }, 'T1', 'T1'],
  ])('%s', (_what, a, since, next) => {
    expect(nextSince(a, since)).toBe(next)
  })
})

describe('the answer at the channel edge', () => {
  it('drops records without an id and cleans texts and barcodes', () => {
    expect(
      normaliseSyncAnswer({
        items: [null, { name: 'без id' }, { assortmentId: ' p1 ', name: 'Чай', code: 42, barcodes: [' 460 ', '', 7, '460'], markable: 'yes' }],
        deleted: ['p2', '', 3],
        cursor: '',
        retryAfterSec: 'soon',
      }),
    ).toEqual({
      items: [{ assortmentId: 'p1', name: 'Чай', code: '42', article: '', barcodes: ['460', '7'], markable: false, updatedAt: '' }],
      deleted: ['p2', '3'],
    })
  })
})
