import { beforeEach, expect, it } from 'vitest'
import { MARK_HISTORY_MAX_AGE_MS, purgeMarkHistory, recordSentMarks, sentAt } from './markHistory'

beforeEach(() => localStorage.clear())

it('records sent marks and purges them after 90 days', () => {
  recordSentMarks(['04600000000017:abc', '04600000000017:def', 'bad'], 1_000)
  recordSentMarks(['04600000000024:x'], 2_000 + MARK_HISTORY_MAX_AGE_MS)
  expect(sentAt('04600000000017', 'abc')).toBe(1_000)
  purgeMarkHistory(1_001 + MARK_HISTORY_MAX_AGE_MS)
  expect(sentAt('04600000000017', 'abc')).toBeUndefined()
  expect(sentAt('04600000000024', 'x')).toBe(2_000 + MARK_HISTORY_MAX_AGE_MS)
  expect(JSON.parse(localStorage.getItem('zv_mark_history')!)).toEqual({ '04600000000024': { x: 2_000 + MARK_HISTORY_MAX_AGE_MS } })
})
