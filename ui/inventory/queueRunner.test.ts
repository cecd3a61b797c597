import { IDBFactory, IDBKeyRange } from 'fake-indexeddb'
import { describe, expect, it } from 'vitest'
import type { CopyFile } from '../core/durableCopy'
import { RefusalError } from '../core/requests'
import { inventoryCommands, type Payload } from './commands'
import { InventoryDb } from './inventoryDb'
import { createQueueCopy } from './queueCopy'
import { createQueueRunner, keptText } from './queueRunner'
import { normaliseSession } from './records'
import type { BatchFailure } from './scanQueue'

/** A host file kept in memory across "restarts". */
function memoryFile(): { data: Map<string, unknown>; open: () => Promise<CopyFile> } {
  const data = new Map<string, unknown>()
  return {
    data,
    open: async () => ({
      get: async <T,>(k: string) => (data.has(k) ? (structuredClone(data.get(k)) as T) : undefined),
      set: async (k: string, v: unknown) => void data.set(k, structuredClone(v)),
      save: async () => {},
    }),
  }
}

/** A small service: one open session, scans kept by uid; `down` makes every request fail without a code. */
function service() {
  const state = { down: false, closed: false, bad: new Set<string>(), nameBad: false, calls: [] as Array<{ name: string; p: Payload }>, scans: new Map<string, Payload>(), nextId: 1 }
  const session = () => ({ id: 5, name: 'Склад', status: state.closed ? 'closed' : 'open', counters: { scans: state.scans.size } })
  const request = async (name: string, p: Payload): Promise<unknown> => {
    state.calls.push({ name, p })
    if (state.down) throw new Error('timeout')
    if (name === 'inventorySessionGet') return session()
    if (name === 'inventoryScanList') return { scans: [...state.scans.values()].filter((s) => (s.id as number) > ((p.afterId as number) ?? 0)), hasMore: false }
    if (name === 'inventoryScanAdd') {
      if (state.closed) throw new RefusalError('closed', { code: 'session-closed' })
      const batch = p.scans as Payload[]
      const bad = batch.filter((s) => state.bad.has(s.code as string))
      if (bad.length) throw new RefusalError('bad', { code: 'bad-request', ...(state.nameBad ? { wrong: bad.map((s) => s.scanUid) } : {}) })
      const out = []
      for (const s of batch) {
        if (!state.scans.has(s.scanUid as string)) state.scans.set(s.scanUid as string, { ...s, id: state.nextId++ })
        out.push(state.scans.get(s.scanUid as string))
      }
      return { accepted: batch.map((s) => s.scanUid), duplicates: [], rejected: [], scans: out }
    }
    throw new Error(`unexpected ${name}`)
  }
  const adds = () => state.calls.filter((c) => c.name === 'inventoryScanAdd').map((c) => (c.p.scans as unknown[]).length)
  return { state, request, adds }
}

const failureOf = (err: unknown): BatchFailure =>
  err instanceof RefusalError ? { code: err.info.code, message: err.message, wrong: err.info.wrong } : {}

async function runner(svc: ReturnType<typeof service>, file = memoryFile(), idb = new IDBFactory(), adoptUnfiled = false) {
  const opened = await InventoryDb.open({ indexedDB: idb, IDBKeyRange })
  if (!opened.ok) throw new Error(opened.error)
  const timers: Array<() => void> = []
  let clock = 1_000_000
  let n = 0
  const r = createQueueRunner({
    commands: inventoryCommands(svc.request), db: opened.db, copy: createQueueCopy(file.open, () => {}),
    accountId: 'acc', userId: 'w1', userName: 'Оля', uid: () => `uid-${++n}-${Math.random()}`, now: () => clock,
    every: (fn) => (timers.push(fn), () => void timers.splice(timers.indexOf(fn), 1)), failureOf, adoptUnfiled,
  })
  await r.open(normaliseSession({ id: 5, name: 'Склад' })!)
  const tick = async (ms = 1000) => {
    clock += ms
    for (const t of [...timers]) t()
    await r.flush()
  }
  return { r, tick, file, db: opened.db, advance: (ms: number) => (clock += ms) }
}

describe('the queue runner', () => {
  it('the 20th scan starts a flush without waiting for the timer', async () => {
    const svc = service()
    const { r } = await runner(svc)
    for (let i = 0; i < 19; i++) expect(await r.add({ code: `C${i}` })).toMatchObject({ ok: true, durable: true })
    expect(svc.adds()).toEqual([])
    await r.add({ code: 'C19' })
    await r.flush()
    expect(svc.adds()).toEqual([20])
    expect(r.queue.value).toEqual([])
    expect(r.counters.value).toMatchObject({ scans: 20 })
  })

  it('a scan the device database did not keep is refused and taken back from the queue and the copy', async () => {
    const svc = service()
    const file = memoryFile()
    const { r, db } = await runner(svc, file)
    await r.add({ code: 'A' })
    db.close()
    expect(await r.add({ code: 'B' })).toEqual({ ok: false, error: 'Скан не сохранился на устройстве — отсканируйте еще раз' })
    expect(r.queue.value.map((q) => q.code)).toEqual(['A'])
    expect((file.data.get('scans') as Array<{ code: string }>).map((q) => q.code)).toEqual(['A'])
  })

  it('an outage keeps the scans and counts attempts quietly; they go once the service answers', async () => {
    const svc = service()
    const { r, tick } = await runner(svc)
    await r.add({ code: 'A' })
    svc.state.down = true
    await tick(5000)
    expect(r.queue.value).toHaveLength(1)
    expect(r.queue.value.map((q) => [q.attempts, q.rejected ?? false])).toEqual([[1, false]])
    expect(r.note.value).toBe('')
    expect(r.scans.value.map((s) => [s.code, s.pending])).toEqual([['A', true]])
    svc.state.down = false
    await tick(1000)
    expect(r.queue.value).toEqual([])
    expect([...svc.state.scans.values()].map((s) => s.code)).toEqual(['A'])
  })

  it('a scan reported saved survives a restart that lost the device database (the host copy brings it back)', async () => {
    const svc = service()
    svc.state.down = true
    const file = memoryFile()
    const first = await runner(svc, file)
    for (const code of ['A', 'B', 'C']) await first.r.add({ code })
    first.r.leave()
    // Start again on an empty database: as if the web view never wrote it to the disk.
    svc.state.down = false
    const again = await runner(svc, file, new IDBFactory())
    expect(again.r.queue.value.map((q) => q.code)).toEqual(['A', 'B', 'C'])
    expect((await again.db.read('acc', 5)).map((q) => q.code)).toEqual(['A', 'B', 'C'])
    await again.r.flush(true)
    expect([...svc.state.scans.values()].map((s) => s.code)).toEqual(['A', 'B', 'C'])
  })

  it('a session closed elsewhere keeps the undelivered scans and says how many', async () => {
    const svc = service()
    const { r, tick } = await runner(svc)
    for (const code of ['A', 'B']) await r.add({ code })
    svc.state.closed = true
    await tick(5000)
    expect(r.session.value?.status).toBe('closed')
    expect(r.keptAfterClose.value).toBe(2)
    expect(r.note.value).toBe(keptText(2))
    expect(keptText(2)).toBe('Инвентаризация закрыта, а 2 скана не успели уйти на сервер. Они сохранены на устройстве — выгрузите их в файл')
    expect(r.keptScans().map((s) => s.code)).toEqual(['A', 'B'])
    expect(await r.add({ code: 'C' })).toEqual({ ok: false, error: 'Инвентаризация закрыта — новые сканы не принимаются' })
  })

  it.each([
    ['named by the service', true],
    ['found by splitting', false],
  ])('a bad scan %s is set aside and the rest is delivered', async (_n, named) => {
    const svc = service()
    svc.state.bad.add('BAD')
    svc.state.nameBad = named
    const { r, tick } = await runner(svc)
    for (let i = 0; i < 7; i++) await r.add({ code: i === 4 ? 'BAD' : `C${i}` })
    await tick(5000)
    if (named) await tick(5000)
    expect([...svc.state.scans.values()].map((s) => s.code).sort()).toEqual(['C0', 'C1', 'C2', 'C3', 'C5', 'C6'])
    expect(r.setAside.value.map((q) => [q.code, q.error])).toEqual([['BAD', 'bad']])
    expect(r.note.value).toBe('Не удалось сохранить сканов: 1. Проверьте код и добавьте заново')
    expect(r.waitingCount.value).toBe(0)
  })

  it('the pull brings the other devices\' scans and counters', async () => {
    const svc = service()
    const { r, tick } = await runner(svc)
    svc.state.scans.set('other', { scanUid: 'other', code: 'X', id: 99, qty: 0 })
    await tick(15_000)
    expect(r.scans.value.map((s) => [s.code, s.qty])).toEqual([['X', 1]])
  })

  it('a unit still queued is changed and deleted in the queue, on the device database and in the host copy', async () => {
    const svc = service()
    svc.state.down = true
    const file = memoryFile()
    const { r, db } = await runner(svc, file)
    for (const code of ['A', 'B', 'C']) await r.add({ code })
    const [a, b] = r.queue.value
    expect(await r.changeQueued(a!.scanUid, { note: 'вмятина', qty: 3, cellId: 7 })).toBe('kept')
    expect(await r.removeUnit(r.scans.value.find((s) => s.scanUid === b!.scanUid)!)).toBe('gone')
    const shape = (list: Array<{ code: string; note: string; qty: number; cellId: number | null }>) => list.map((q) => [q.code, q.note, q.qty, q.cellId])
    const expected = [['A', 'вмятина', 3, 7], ['C', '', 1, null]]
    expect(shape(r.queue.value)).toEqual(expected)
    expect(shape(await db.read('acc', 5))).toEqual(expected)
    expect(shape(file.data.get('scans') as never)).toEqual(expected)
    expect(r.counters.value).toMatchObject({ scans: 2, units: 4 })
    svc.state.down = false
    await r.flush(true)
    expect([...svc.state.scans.values()].map((s) => [s.code, s.note, s.qty, s.cellId])).toEqual(expected)
  })

  it('a change waits for the flush under way; a unit it delivered is the service\'s to change', async () => {
    const svc = service()
    const { r } = await runner(svc)
    await r.add({ code: 'A' })
    const uid = r.queue.value[0]!.scanUid
    const flushing = r.flush(true)
    expect(await r.changeQueued(uid, { note: 'n' })).toBe('sent')
    await flushing
    expect(r.serviceScan(uid)?.id).toBe(1)
    expect(r.queue.value).toEqual([])
  })

  it.each([
    ['taken into the account\'s queue and sent, once', true],
    ['left where they are when the device knew other accounts', false],
  ])('scans an earlier version filed under no account are %s', async (_, adopt) => {
    const svc = service()
    svc.state.down = true
    const file = memoryFile()
    const idb = new IDBFactory()
    // What an earlier version left: one scan in both stores, one only in the host copy, under "".
    const old = (uid: string, code: string) => ({ scanUid: uid, code, codeNorm: code, source: 'scanner' as const, qty: 1, scannedAt: `2026-01-01T10:00:0${code.length}Z`, note: '', cellId: null, userId: null, attempts: 0, lastAttemptAt: 0 })
    const opened = await InventoryDb.open({ indexedDB: idb, IDBKeyRange })
    if (!opened.ok) throw new Error(opened.error)
    await opened.db.put('', 5, [old('u-1', 'A')])
    file.data.set('scans', [{ ...old('u-1', 'A'), key: ':u-1', accountId: '', sessionId: 5 }, { ...old('u-2', 'BB'), key: ':u-2', accountId: '', sessionId: 5 }])
    opened.db.close()
    const { r, db } = await runner(svc, file, idb, adopt)
    expect(r.queue.value.map((q) => q.code)).toEqual(adopt ? ['A', 'BB'] : [])
    const unfiledLeft = (await db.read('', 5)).length + (file.data.get('scans') as Array<{ accountId: string }>).filter((x) => x.accountId === '').length
    expect(unfiledLeft).toBe(adopt ? 0 : 3)
    svc.state.down = false
    await r.flush(true)
    expect([...svc.state.scans.values()].map((s) => s.code).sort()).toEqual(adopt ? ['A', 'BB'] : [])
  })
})
