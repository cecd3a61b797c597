import { beforeEach, describe, expect, it } from 'vitest'
import { installMemoryStorage, type MemoryStorage } from '../../core/testing/memoryStorage'
import { deleteDraft, DRAFT_MAX_AGE_MS, purgeExpiredDrafts, readDraft, writeDraft } from './draft'

let storage: MemoryStorage
beforeEach(() => {
  storage = installMemoryStorage()
})

const NOW = 1_800_000_000_000

describe('the draft', () => {
  it('is written under "zv_scan_state:<id>" and read back; shortfalls only when there are some', () => {
    writeDraft('d1', { checked: { a: 2 }, marks: { a: ['m1', 'm2'] }, shortfalls: {} }, NOW)
    expect(JSON.parse(storage.getItem('zv_scan_state:d1')!)).toEqual({ checked: { a: 2 }, marks: { a: ['m1', 'm2'] }, updatedAt: NOW })
    writeDraft('d1', { checked: { a: 1 }, marks: {}, shortfalls: { a: { reason: 'брак', comment: '' } } }, NOW)
    expect(readDraft('d1', NOW)).toEqual({ checked: { a: 1 }, marks: {}, shortfalls: { a: { reason: 'брак', comment: '' } }, updatedAt: NOW })
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
