import { beforeEach, describe, expect, it } from 'vitest'
import { installMemoryStorage, type MemoryStorage } from '../../core/testing/memoryStorage'
import { deleteDraft, DRAFT_MAX_AGE_MS, purgeExpiredDrafts, readDraft, spreadOverLines, writeDraft } from './draft'

let storage: MemoryStorage
beforeEach(() => {
  storage = installMemoryStorage()
})

const NOW = 1_800_000_000_000

describe('the draft', () => {
  it('is written under "zv_scan_state:<id>", per line, and read back; shortfalls only when there are some', () => {
    writeDraft('d1', { checked: { a: 2, 'a#2': 1 }, marks: { a: ['m1', 'm2'] }, shortfalls: {} }, NOW)
    expect(JSON.parse(storage.getItem('zv_scan_state:d1')!)).toEqual({ checked: { a: 2, 'a#2': 1 }, marks: { a: ['m1', 'm2'] }, updatedAt: NOW, byLine: true })
    writeDraft('d1', { checked: { a: 1 }, marks: {}, shortfalls: { a: { reason: 'брак', comment: '' } } }, NOW)
    expect(readDraft('d1', NOW)).toEqual({ checked: { a: 1 }, marks: {}, shortfalls: { a: { reason: 'брак', comment: '' } }, updatedAt: NOW, byLine: true })
  })

  it('older than 30 days is deleted when read', () => {
    writeDraft('d1', { checked: { a: 1 }, marks: {} }, NOW)
    expect(readDraft('d1', NOW + DRAFT_MAX_AGE_MS)).toBeDefined()
    expect(readDraft('d1', NOW + DRAFT_MAX_AGE_MS + 1)).toBeUndefined()
    expect(storage.getItem('zv_scan_state:d1')).toBeNull()
  })

  it('drops what it cannot read: bad counts, non-text marks, a draft without a time', () => {
    storage.setItem('zv_scan_state:d2', JSON.stringify({ checked: { a: 'x', b: 3, c: -1 }, marks: { b: ['m', 5], c: 'm' }, updatedAt: NOW }))
    expect(readDraft('d2', NOW)).toEqual({ checked: { b: 3 }, marks: { b: ['m'] }, updatedAt: NOW })
    storage.setItem('zv_scan_state:d3', JSON.stringify({ checked: { b: 3 } }))
    expect(readDraft('d3', NOW)).toBeUndefined()
    expect(storage.getItem('zv_scan_state:d3')).toBeNull()
  })

  it('start-up purges expired drafts and leaves the rest, and other keys, alone', () => {
    writeDraft('old', { checked: { a: 1 }, marks: {} }, NOW - DRAFT_MAX_AGE_MS - 1)
    writeDraft('new', { checked: { a: 1 }, marks: {} }, NOW)
    storage.setItem('zv_cache:doc:shared:old', '{}')
    expect(purgeExpiredDrafts(NOW)).toBe(1)
    expect(storage.getItem('zv_scan_state:old')).toBeNull()
    expect(storage.getItem('zv_scan_state:new')).not.toBeNull()
    expect(storage.getItem('zv_cache:doc:shared:old')).toBe('{}')
    deleteDraft('new')
    expect(storage.getItem('zv_scan_state:new')).toBeNull()
  })

  it('a full storage makes the write answer false', () => {
    storage.quotaLeft = 10
    expect(writeDraft('d1', { checked: { a: 1 }, marks: {} }, NOW)).toBe(false)
  })
})

describe('a draft written per product, read for a document with a product on several lines', () => {
  // Product "p" on two lines: the first needs 1, the second 3; "q" on one line.
  const lines = (id: string) =>
    id === 'p' ? [{ key: 'p', required: 1 }, { key: 'p#2', required: 3 }] : id === 'q' ? [{ key: 'q', required: 2 }] : undefined

  it.each([
    ['the count fills the lines in order', { p: 3 }, { p: 1, 'p#2': 2 }],
    ['all full', { p: 4 }, { p: 1, 'p#2': 3 }],
    ['more than all need: the rest on the first line', { p: 6 }, { p: 3, 'p#2': 3 }],
    ['less than the first needs', { p: 1 }, { p: 1 }],
    ['a product on one line keeps its count, over or not', { q: 5 }, { q: 5 }],
    ['a product no longer in the document is kept for the caller to drop', { gone: 2 }, { gone: 2 }],
  ])('%s', (_what, checked, expected) => {
    expect(spreadOverLines({ checked, marks: {} }, lines).checked).toEqual(expected)
  })

  it('marks follow the counts line by line; a shortfall entry goes to the line still short', () => {
    const spread = spreadOverLines(
      { checked: { p: 3 }, marks: { p: ['m1', 'm2', 'm3'] }, shortfalls: { p: { reason: 'брак', comment: '' } } },
      lines,
    )
    expect(spread).toEqual({
      checked: { p: 1, 'p#2': 2 },
      marks: { p: ['m1'], 'p#2': ['m2', 'm3'] },
      shortfalls: { 'p#2': { reason: 'брак', comment: '' } },
    })
  })

  it('an old draft is told from a new one by the missing mark', () => {
    storage.setItem('zv_scan_state:old', JSON.stringify({ checked: { p: 4 }, marks: {}, updatedAt: NOW }))
    expect(readDraft('old', NOW)?.byLine).toBeUndefined()
  })
})
