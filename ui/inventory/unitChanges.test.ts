import { IDBFactory, IDBKeyRange } from 'fake-indexeddb'
import { describe, expect, it } from 'vitest'
import type { Payload } from '../core/envelope'
import { RefusalError, refusalFrom } from '../core/requests'
import { createBackend } from '../demo/backend'
import { acceptInventoryPhoto } from '../demo/inventoryFiles'
import { inventoryState } from '../demo/inventoryModel'
import { demoSigner } from '../demo/tokens'
import { failureText, inventoryCommands } from './commands'
import { InventoryDb } from './inventoryDb'
import { createQueueCopy } from './queueCopy'
import { createQueueRunner } from './queueRunner'
import type { BatchFailure } from './scanQueue'
import { unitChanges } from './unitChanges'

const failureOf = (err: unknown): BatchFailure => (err instanceof RefusalError ? { code: err.info.code, message: err.info.message } : {})
const errorText = (err: unknown) => failureText({ ...failureOf(err), message: err instanceof Error ? err.message : undefined })

/** One device counting a session of the demonstration service; `down` makes it unreachable. */
async function counting(db?: InventoryDb, file = createQueueCopy(null)) {
  const b = createBackend({ sign: demoSigner })
  const identity = b.authenticate(b.openSession('u-oleg').token)
  if ('error' in identity) throw new Error(identity.error)
  const conn = b.attach(identity, () => {})
  /** `lose`: the next command of each name listed is carried out, its answer lost */
  /** `refuse`: the commands of each name listed are refused with that code */
  const net = { down: false, lose: new Set<string>(), refuse: new Map<string, string>() }
  const request = async (c: string, p: Payload) => {
    if (net.down) throw new Error('timeout')
    const code = net.refuse.get(c)
    if (code) throw new RefusalError(failureText({ code }), { code })
    const reply = b.handle(conn, c, p).map((r) => r.p)[0] ?? {}
    if (net.lose.delete(c)) throw new Error('timeout')
    const refused = refusalFrom(reply)
    if (refused) throw refused
    return reply
  }
  const commands = inventoryCommands(request)
  const session = await commands.start('Склад', '')
  const opened = db ? { ok: true as const, db } : await InventoryDb.open({ indexedDB: new IDBFactory(), IDBKeyRange })
  if (!opened.ok) throw new Error(opened.error)
  let n = 0
  const r = createQueueRunner({
    commands, db: opened.db, copy: file, accountId: 'acc', userId: 'u-oleg', userName: 'Олег',
    uid: () => `00000000-0000-4000-8000-${(++n).toString(16).padStart(12, '0')}`, now: () => Date.now(), every: () => () => {}, failureOf,
  })
  await r.open(session)
  const forgotten: string[] = []
  const units = unitChanges({ runner: () => r, commands, errorText, failureOf, base: () => 'http://127.0.0.1:9/', forgetPhotos: (u) => forgotten.push(u) })
  const held = () => inventoryState(b).sessions.get(session.id)!.scans
  const unit = (code: string) => r.scans.value.find((s) => s.code === code)!
  return { b, r, net, units, held, unit, commands, db: opened.db, sessionId: session.id, forgotten }
}

describe('changing a unit', () => {
  it('a delivered unit is changed and deleted on the service; the list follows', async () => {
    const { r, units, held, unit } = await counting()
    for (const code of ['A1', 'B2']) await r.add({ code })
    await r.flush(true)
    expect(await units.changeScan(unit('A1'), { note: 'вмятина', qty: 3, cellId: 12 })).toBe('')
    expect(held().map((s) => [s.code, s.note, s.qty, s.cellId])).toEqual([['A1', 'вмятина', 3, 12], ['B2', '', 1, null]])
    expect([unit('A1').note, unit('A1').qty, unit('A1').cellId]).toEqual(['вмятина', 3, 12])
    const b2 = unit('B2')
    expect(await units.changeScan(b2, 'delete')).toBe('')
    expect(held().map((s) => s.code)).toEqual(['A1'])
    expect(r.scans.value.map((s) => s.code)).toEqual(['A1'])
    // Deleted meanwhile elsewhere: the service's word is shown.
    expect(await units.changeScan(b2, { note: 'x', qty: 1, cellId: null })).toBe('Скан или фото не найдены — обновите список')
  })

  it('a unit waiting on the device is changed in the queue, and goes to the service as changed', async () => {
    const { r, net, units, held, unit, db } = await counting()
    net.down = true
    for (const code of ['A1', 'B2']) await r.add({ code })
    expect(await units.changeScan(unit('A1'), { note: 'без коробки', qty: 2, cellId: null })).toBe('')
    expect(await units.changeScan(unit('B2'), 'delete')).toBe('')
    expect((await db.read('acc', r.session.value!.id)).map((q) => [q.code, q.note, q.qty])).toEqual([['A1', 'без коробки', 2]])
    net.down = false
    await r.flush(true)
    expect(held().map((s) => [s.code, s.note, s.qty])).toEqual([['A1', 'без коробки', 2]])
  })

  it('a unit changed after its batch got to the service unanswered keeps the change', async () => {
    const { r, net, units, held, unit } = await counting()
    await r.add({ code: 'A1' })
    net.lose.add('inventoryScanAdd')
    await r.flush(true)
    expect(unit('A1').pending).toBe(true)
    expect(await units.changeScan(unit('A1'), { note: 'без коробки', qty: 4, cellId: null })).toBe('')
    await r.flush(true)
    expect(held().map((s) => [s.code, s.note, s.qty])).toEqual([['A1', 'без коробки', 4]])
    expect([unit('A1').pending, unit('A1').qty]).toEqual([false, 4])
  })

  it.each([
    ['its batch reached the service, the answer was lost', 'batch'],
    ['its delete reached the service, the answer was lost', 'delete'],
    ['it is being sent when deleted', 'sending'],
  ] as const)('a unit whose fate is unknown (%s) is deleted on the service by scanUid, shown "deleting" until then', async (_, how) => {
    const { r, net, units, held, unit, db } = await counting()
    await r.add({ code: 'A1' })
    await r.add({ code: 'B2' })
    const a1 = unit('A1').scanUid
    if (how === 'batch') {
      net.lose.add('inventoryScanAdd')
      await r.flush(true)
      expect(unit('A1').pending).toBe(true)
      expect(await units.changeScan(unit('A1'), 'delete')).toBe('')
    } else if (how === 'delete') {
      await r.flush(true)
      net.lose.add('inventoryScanDelete')
      expect(await units.changeScan(unit('A1'), 'delete')).toBe('')
      // the first delete went out and was carried out; its answer did not come back
      await r.flush()
    } else {
      const flushing = r.flush(true)
      expect(await units.changeScan(unit('A1'), 'delete')).toBe('')
      await flushing
    }
    if (how !== 'sending' || held().some((s) => s.scanUid === a1)) {
      // Not confirmed yet: the unit shows, as being deleted, and is not counted as waiting.
      expect(unit('A1')?.deleting ?? true).toBe(true)
    }
    expect(r.waitingCount.value).toBe(how === 'batch' ? 1 : 0)
    net.lose.clear()
    await r.flush(true)
    expect(held().map((s) => s.code)).toEqual(['B2'])
    expect(r.scans.value.map((s) => s.code)).toEqual(['B2'])
    expect(r.deletingCount.value).toBe(0)
    expect(await db.read('acc', r.session.value!.id)).toEqual([])
    // The pull does not bring it back, and the batch sent again does not either.
    await r.pull()
    expect(r.scans.value.map((s) => s.code)).toEqual(['B2'])
  })

  it('a delete waiting on the device survives a restart and goes out after it', async () => {
    const idb = new IDBFactory()
    const opened = await InventoryDb.open({ indexedDB: idb, IDBKeyRange })
    if (!opened.ok) throw new Error(opened.error)
    const first = await counting(opened.db)
    await first.r.add({ code: 'A1' })
    first.net.lose.add('inventoryScanAdd')
    await first.r.flush(true)
    first.net.down = true
    expect(await first.units.changeScan(first.unit('A1'), 'delete')).toBe('')
    expect(first.unit('A1').deleting).toBe(true)
    expect(first.held().map((s) => s.code)).toEqual(['A1'])
    first.r.close()
    // Opened again from nothing but the database; the service still holds the unit.
    const stored = await opened.db.read('acc', first.sessionId)
    expect(stored.map((q) => [q.code, q.deleting])).toEqual([['A1', true]])
    first.net.down = false
    first.r.session.value = null
    await first.r.open((await first.commands.get(first.sessionId))!)
    await first.r.flush(true)
    expect(first.held()).toEqual([])
    expect(await opened.db.read('acc', first.sessionId)).toEqual([])
  })

  it('a delete the service refuses gives the unit back with the reason', async () => {
    const { r, net, units, unit, held } = await counting()
    await r.add({ code: 'A1' })
    net.lose.add('inventoryScanAdd')
    await r.flush(true)
    net.refuse.set('inventoryScanDelete', 'bad-request')
    expect(await units.changeScan(unit('A1'), 'delete')).toBe('')
    await r.flush(true)
    expect(r.note.value).toBe('Скан не удален: Не получилось прочитать скан — проверьте код')
    // Given back: sent again, found on the service, shown as it is there.
    expect(unit('A1').deleting).toBeUndefined()
    expect(unit('A1').pending).toBe(false)
    expect(held().map((s) => s.code)).toEqual(['A1'])
  })

  it('nothing changed sends nothing', async () => {
    const { r, units, unit, held } = await counting()
    await r.add({ code: 'A1' })
    await r.flush(true)
    const before = held()[0]!.note
    expect(await units.changeScan(unit('A1'), { note: '', qty: 1, cellId: null })).toBe('')
    expect(held()[0]!.note).toBe(before)
  })
})

describe('a unit\'s photos', () => {
  it('are listed with absolute addresses, deleted and moved; the counts shown follow', async () => {
    const { b, r, units, unit, commands, forgotten } = await counting()
    for (const code of ['A1', 'B2']) await r.add({ code })
    await r.flush(true)
    const batch = await commands.photoIds(3)
    const token = batch.uploadUrl.split('/').pop()!
    for (const id of batch.ids) acceptInventoryPhoto(b, token, { fileId: String(id), fileRef: unit('A1').scanUid, type: 'image/jpeg', bytes: new Uint8Array(10).fill(0xff) })

    const listed = await units.unitPhotos(unit('A1'))
    expect(listed.error).toBe('')
    expect(listed.photos.map((p) => [p.id, p.url, p.size])).toEqual(batch.ids.map((id) => [id, `http://127.0.0.1:9/inventory/photos/${id}`, 10]))
    expect(unit('A1').photos).toBe(3)

    expect(await units.changePhoto(unit('A1'), String(batch.ids[0]))).toBe('')
    expect(await units.changePhoto(unit('A1'), String(batch.ids[1]), unit('B2').scanUid)).toBe('')
    expect([unit('A1').photos, unit('B2').photos]).toEqual([1, 1])
    expect((await units.unitPhotos(unit('B2'))).photos.map((p) => p.id)).toEqual([batch.ids[1]])
    expect(forgotten).toContain(unit('A1').scanUid)
    expect(await units.changePhoto(unit('A1'), String(batch.ids[0]))).toBe('Скан или фото не найдены — обновите список')
  })
})
