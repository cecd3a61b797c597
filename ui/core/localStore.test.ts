import { beforeEach, describe, expect, it, vi } from 'vitest'
import { DAY_MS, readLocal, readTimed, removeLocal, writeLocal, writeTimed } from './localStore'

beforeEach(() => localStorage.clear())

describe('localStore', () => {
  it('prefixes keys with zv_ and round-trips JSON', () => {
    expect(writeLocal('queue', [1, { a: 'б' }])).toBe(true)
    expect(localStorage.getItem('zv_queue')).toBe('[1,{"a":"б"}]')
    expect(readLocal('queue')).toEqual([1, { a: 'б' }])
    expect(readLocal('zv_queue')).toEqual([1, { a: 'б' }])
    removeLocal('queue')
    expect(readLocal('queue')).toBeUndefined()
  })

  it('reads an unreadable value as absent', () => {
    localStorage.setItem('zv_bad', '{not json')
    expect(readLocal('bad')).toBeUndefined()
  })

  it('answers false when the quota is full', () => {
    const spy = vi.spyOn(localStorage, 'setItem').mockImplementation(() => {
      throw new DOMException('full', 'QuotaExceededError')
    })
    expect(writeLocal('x', 1)).toBe(false)
    spy.mockRestore()
  })

  it('expires timed entries on read', () => {
    writeTimed('draft', { n: 1 }, 1_000)
    expect(readTimed('draft', 30 * DAY_MS, 1_000 + 30 * DAY_MS)).toEqual({ n: 1 })
    expect(readTimed('draft', 30 * DAY_MS, 1_001 + 30 * DAY_MS)).toBeUndefined()
    expect(localStorage.getItem('zv_draft')).toBeNull()
    writeLocal('draft', 'not timed')
    expect(readTimed('draft', DAY_MS)).toBeUndefined()
  })
})
