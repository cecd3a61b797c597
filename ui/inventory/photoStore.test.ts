import { IDBFactory, IDBKeyRange } from 'fake-indexeddb'
import { describe, expect, it } from 'vitest'
import { checkPhoto } from './photoRules'
import { InventoryDb } from './inventoryDb'
import { saveScan } from './scanStore'
import type { QueuedScan } from './scanQueue'

describe('photo rules', () => {
  it.each([
    [4, 'image/jpeg', 1000, null],
    [5, 'image/jpeg', 1000, 'К этой единице уже 5 фото'],
    [0, 'image/HEIC', 30 * 1024 * 1024, null],
    [0, 'image/png', 30 * 1024 * 1024 + 1, 'Снимок слишком большой — попробуйте другой'],
    [0, 'application/pdf', 10, 'Это не фотография — выберите снимок с камеры или из галереи'],
  ])('%i existing, %s of %i bytes', (n, type, size, error) => expect(checkPhoto(n, { type, size })).toBe(error))
})

describe('saving a scan', () => {
  const ctx = { sessionOpen: true, userId: 'w1', now: new Date(0), uid: () => 'u1' }
  it('is on the device before it is reported saved', async () => {
    const opened = await InventoryDb.open({ indexedDB: new IDBFactory(), IDBKeyRange })
    if (!opened.ok) throw new Error(opened.error)
    const queue: QueuedScan[] = []
    const r = await saveScan(queue, opened.db, { accountId: 'a1', sessionId: 2 }, { code: ' X ' }, ctx)
    expect(r).toMatchObject({ ok: true, durable: true })
    expect((await opened.db.read('a1', 2)).map((s) => s.code)).toEqual(['X'])
    expect(queue).toHaveLength(1)
  })
  it('a failed write is not reported saved and leaves the queue alone', async () => {
    const opened = await InventoryDb.open({ indexedDB: new IDBFactory(), IDBKeyRange })
    if (!opened.ok) throw new Error(opened.error)
    opened.db.close()
    const queue: QueuedScan[] = []
    const r = await saveScan(queue, opened.db, { accountId: 'a1', sessionId: 2 }, { code: 'X' }, ctx)
    expect(r.ok).toBe(false)
    expect(queue).toHaveLength(0)
  })
  it('without a database the scan is kept in memory and marked not durable', async () => {
    const queue: QueuedScan[] = []
    expect(await saveScan(queue, null, { accountId: 'a1', sessionId: 2 }, { code: 'X' }, ctx)).toMatchObject({ ok: true, durable: false })
  })
})
