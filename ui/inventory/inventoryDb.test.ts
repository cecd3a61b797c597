import { IDBFactory, IDBKeyRange } from 'fake-indexeddb'
import { describe, expect, it } from 'vitest'
import { InventoryDb } from './inventoryDb'
import type { QueuedScan } from './scanQueue'

const scan = (uid: string, at: number): QueuedScan => ({ scanUid: uid, code: 'C', codeNorm: 'C', source: 'scanner', qty: 1, scannedAt: new Date(at).toISOString(), note: '', cellId: null, userId: 'w1', attempts: 0, lastAttemptAt: 0 })

describe('inventory database', () => {
  it('keeps a session queue per account, oldest first, across reopening', async () => {
    const impl = { indexedDB: new IDBFactory(), IDBKeyRange }
    const first = await InventoryDb.open(impl)
    if (!first.ok) throw new Error(first.error)
    await first.db.put('a1', 10, [scan('b', 2000), scan('a', 1000)])
    await first.db.put('a2', 10, [scan('a', 500)])
    await first.db.put('a1', 11, [scan('c', 100)])
    first.db.close()
    const again = await InventoryDb.open(impl)
    if (!again.ok) throw new Error(again.error)
    expect((await again.db.read('a1', 10)).map((s) => s.scanUid)).toEqual(['a', 'b'])
    await again.db.remove('a1', ['a'])
    expect((await again.db.read('a1', 10)).map((s) => s.scanUid)).toEqual(['b'])
    expect((await again.db.read('a2', 10)).map((s) => s.scanUid)).toEqual(['a'])
  })
  it('a database that cannot open is reported at once', async () => {
    const r = await InventoryDb.open({ indexedDB: undefined as never, IDBKeyRange: undefined as never })
    expect(r.ok).toBe(false)
  })
})
