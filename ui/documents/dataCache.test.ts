import { beforeEach, describe, expect, it, vi } from 'vitest'
import { DAY_MS } from '../core/localStore'
import { setCurrentAccount } from '../core/savedAccounts'
import { installMemoryStorage, type MemoryStorage } from '../core/testing/memoryStorage'
import {
  cleanDeviceCache,
  contentsKey,
  listKey,
  QUOTA_LINE,
  readCachedContents,
  readCachedList,
  writeCachedContents,
  writeCachedList,
} from './dataCache'
import { normaliseDocuments, normalisePositions } from './records'

let storage: MemoryStorage
beforeEach(() => {
  storage = installMemoryStorage()
})

const T0 = 1_800_000_000_000
const positions = normalisePositions([{ id: 'p1', name: 'Товар', quantity: 2 }])
const contentsKeys = () => Array.from({ length: storage.length }, (_, i) => storage.key(i)!).filter((k) => k.startsWith('zv_cache:doc:'))

describe('the device cache', () => {
  it('keys carry the current account, or "shared"', () => {
    expect(listKey('shipment')).toBe('zv_cache:list:shared:shipment')
    setCurrentAccount({ id: 'acc-7', name: 'Анна' })
    expect(contentsKey('d1')).toBe('zv_cache:doc:acc-7:d1')
  })

  it('the 21st contents entry evicts the oldest one', () => {
    for (let i = 1; i <= 21; i++) writeCachedContents(`d${i}`, positions, T0 + i * 1000)
    expect(contentsKeys()).toHaveLength(20)
    expect(readCachedContents('d1', T0 + 30_000)).toBeUndefined()
    expect(readCachedContents('d21', T0 + 30_000)!.data).toHaveLength(1)
  })

  it('an entry from 8 days ago is ignored and deleted; one from 6 days ago is read', () => {
    writeCachedContents('old', positions, T0 - 8 * DAY_MS)
    writeCachedContents('recent', positions, T0 - 6 * DAY_MS)
    expect(readCachedContents('old', T0)).toBeUndefined()
    expect(storage.getItem(contentsKey('old'))).toBeNull()
    expect(readCachedContents('recent', T0)).toBeDefined()
  })

  it('stores contents as not picked yet and lists without positions, at most 500', () => {
    const picked = positions.map((p) => ({ ...p, checked: 2, status: 'done' as const }))
    writeCachedContents('d1', picked, T0)
    expect(readCachedContents('d1', T0)!.data[0]).toMatchObject({ checked: 0, status: 'pending' })
    const docs = normaliseDocuments(Array.from({ length: 600 }, (_, i) => ({ id: `s${i}`, type: 'shipment' })))
    docs[0]!.products = picked
    docs[0]!.unconfirmed = true
    writeCachedList('shipment', docs, T0)
    const back = readCachedList('shipment', T0)!.data
    expect(back).toHaveLength(500)
    expect(back[0]!.products).toEqual([])
    expect(back[0]!.unconfirmed).toBeUndefined()
  })

  it('a full quota evicts down to 10 entries and writes once more', () => {
    const warn = vi.spyOn(console, 'warn').mockImplementation(() => {})
    for (let i = 1; i <= 15; i++) writeCachedContents(`d${i}`, positions, T0 + i)
    storage.quotaLeft = 0
    // Room for exactly the new entry once the old ones are gone.
    const setItem = storage.setItem.bind(storage)
    let refused = false
    storage.setItem = (k, v) => {
      if (!refused) {
        refused = true
        storage.quotaLeft = Infinity
        throw new DOMException('quota', 'QuotaExceededError')
      }
      setItem(k, v)
    }
    expect(writeCachedContents('new', positions, T0 + 100)).toBe(true)
    expect(warn).toHaveBeenCalledWith(QUOTA_LINE)
    const left = contentsKeys()
    expect(left).toHaveLength(11)
    expect(left).toContain(contentsKey('new'))
    expect(left).not.toContain(contentsKey('d5'))
    expect(left).toContain(contentsKey('d6'))
  })

  it('start-up removes the old layout and expired entries and trims contents to 20', () => {
    storage.setItem('zv_cache:list:shipment', JSON.stringify({ cachedAt: T0, data: [] }))
    storage.setItem('zv_cache:doc:d-old', JSON.stringify({ cachedAt: T0, data: [] }))
    storage.setItem('zv_other', '1')
    writeCachedList('order', [], T0 - 9 * DAY_MS)
    for (let i = 1; i <= 22; i++) storage.setItem(contentsKey(`d${i}`), JSON.stringify({ cachedAt: T0 + i, data: [] }))
    cleanDeviceCache(T0 + 100)
    expect(storage.getItem('zv_cache:list:shipment')).toBeNull()
    expect(storage.getItem('zv_cache:doc:d-old')).toBeNull()
    expect(storage.getItem(listKey('order'))).toBeNull()
    expect(storage.getItem('zv_other')).toBe('1')
    expect(contentsKeys()).toHaveLength(20)
    expect(storage.getItem(contentsKey('d2'))).toBeNull()
    expect(storage.getItem(contentsKey('d3'))).not.toBeNull()
  })
})
