import { IDBFactory, IDBKeyRange } from 'fake-indexeddb'
import { afterEach, describe, expect, it, vi } from 'vitest'
import type { Payload } from '../core/envelope'
import { createBackend, type MemoryBackend } from '../demo/backend'
import { accountDocuments } from '../demo/documents'
import { changeProduct, deleteProduct, generatedBarcode, seedCatalogue } from '../demo/reference'
import { demoSigner } from '../demo/tokens'
import { MemoryStorage } from '../core/testing/memoryStorage'
import { AssortmentDb } from './assortmentDb'
import { COPY_LOG, createReferenceCopy, OPT_IN_KEY, type ReferenceCopy, type ReferenceCopyDeps } from './referenceCopy'

const LESNAYA = 'acc-lesnaya'
const MASTER = 'acc-master'

/** A signed-in connection of a sample user; `assortmentSync` answered by the real in-memory backend. */
function server(userId = 'u-anna') {
  let clock = Date.UTC(2026, 11, 1)
  const b = createBackend({ sign: demoSigner, now: () => clock })
  const connect = (user: string) => {
    const { token } = b.openSession(user)
    const identity = b.authenticate(token)
    if ('error' in identity) throw new Error(identity.error)
    const conn = b.attach(identity, () => {})
    return (p: Payload) => Promise.resolve(b.handle(conn, 'assortmentSync', p)[0]!.p)
  }
  return { b, connect, ask: connect(userId), tick: (ms = 1000) => (clock += ms), now: () => clock }
}

const copies: ReferenceCopy[] = []
afterEach(() => {
  for (const c of copies.splice(0)) c.close()
})

function copyOf(idb: IDBFactory, deps: Partial<ReferenceCopyDeps> & Pick<ReferenceCopyDeps, 'ask'>) {
  const logs: string[] = []
  const copy = createReferenceCopy({
    openDb: () => AssortmentDb.open({ indexedDB: idb, IDBKeyRange }),
    desktop: () => true,
    wait: () => Promise.resolve(),
    log: (l) => logs.push(l),
    warn: (l) => logs.push(l),
    ...deps,
  })
  copies.push(copy)
  return { copy, logs }
}

/** A database filled by one run of a copy of Анна's account, that copy closed again. */
async function filledDatabase() {
  const s = server()
  const idb = new IDBFactory()
  const first = copyOf(idb, { ask: s.ask, now: s.now }).copy
  await first.prepareAssortment({ allowed: true, scope: LESNAYA })
  await first.syncAssortmentNow()
  const count = first.assortmentStatus().count
  first.close()
  return { s, idb, count }
}

const generatedName = (b: MemoryBackend, n: number) => accountDocuments(b, LESNAYA)!.products.get(`gen-${String(n).padStart(6, '0')}`)!.name

function sampleProduct(b: MemoryBackend, accountId = LESNAYA) {
  return [...accountDocuments(b, accountId)!.products.values()][0]!
}

describe('synchronisation', () => {
  it('a first run loads every product in pages; the copy answers leading-zero scans and outlives the page', async () => {
    const s = server()
    seedCatalogue(s.b, LESNAYA, 1_500)
    const asked: Payload[] = []
    const ask = (p: Payload) => (asked.push(p), s.ask(p))
    const idb = new IDBFactory()
    const { copy } = copyOf(idb, { ask, now: s.now })
    await copy.prepareAssortment({ allowed: true, scope: LESNAYA })
    const result = await copy.syncAssortmentNow()
    const total = accountDocuments(s.b, LESNAYA)!.products.size
    expect(result).toMatchObject({ kind: 'done', full: true, pages: Math.ceil(total / 1000), capped: false })
    expect(asked[0]).toEqual({ limit: 1000 })
    expect(asked[1]).toEqual({ limit: 1000, cursor: expect.any(String) })
    expect(copy.assortmentStatus()).toMatchObject({ count: total, syncing: false, error: null, lastSyncAt: s.now() })

    const zeroLed = generatedBarcode(3)
    expect(zeroLed.startsWith('0')).toBe(true)
    expect((await copy.lookup(zeroLed.replace(/^0+/, '')))?.name).toBe(generatedName(s.b, 3))
    expect((await copy.lookup(`0${generatedBarcode(4)}`))?.name).toBe(generatedName(s.b, 4))
    const p = sampleProduct(s.b)
    expect(await copy.lookup(p.barcodes[0]!)).toEqual({ name: p.name, article: p.article, code: p.code })

    // A restart: a new copy over the same database finds everything without a run.
    copy.close()
    const again = copyOf(idb, { ask: () => Promise.reject(new Error('no channel')), now: s.now }).copy
    expect((await again.lookup(generatedBarcode(1_500)))?.name).toBe(generatedName(s.b, 1_500))
    expect(again.assortmentStatus().count).toBe(total)
  }, 30_000) // two pages of products through fake-indexeddb: slow on a busy machine

  it('an incremental run brings changed and deleted products only; a full run after a deletion removes the product', async () => {
    const s = server()
    seedCatalogue(s.b, LESNAYA, 30)
    const asked: Payload[] = []
    const { copy } = copyOf(new IDBFactory(), { ask: (p) => (asked.push(p), s.ask(p)), now: s.now })
    await copy.prepareAssortment({ allowed: true, scope: LESNAYA })
    await copy.syncAssortmentNow()

    s.tick()
    changeProduct(s.b, LESNAYA, 'gen-000001', { name: 'Футболка, новая партия' })
    deleteProduct(s.b, LESNAYA, 'gen-000002')
    asked.length = 0
    expect(await copy.syncAssortmentNow()).toMatchObject({ kind: 'done', full: false, pages: 1 })
    expect(asked).toEqual([{ limit: 1000, since: expect.any(String) }])
    expect((await copy.lookup(generatedBarcode(1)))?.name).toBe('Футболка, новая партия')
    expect(await copy.lookup(generatedBarcode(2))).toBeNull()

    // A deletion the incremental run cannot see (the server forgot it): only a full run finds the product gone.
    s.tick()
    deleteProduct(s.b, LESNAYA, 'gen-000005')
    ;(s.b.state.get('reference') as { catalogues: Map<string, { removed: Map<string, number> }> }).catalogues.get(LESNAYA)!.removed.clear()
    await copy.syncAssortmentNow()
    expect(await copy.lookup(generatedBarcode(5))).not.toBeNull()
    expect(await copy.syncAssortmentNow({ full: true })).toMatchObject({ kind: 'done', full: true })
    expect(await copy.lookup(generatedBarcode(5))).toBeNull()
    expect(copy.assortmentStatus().count).toBe(accountDocuments(s.b, LESNAYA)!.products.size)
  })

  it('"too-soon" six times in a row ends the run with the text and keeps the old copy', async () => {
    const { s, idb, count } = await filledDatabase()

    const waits: number[] = []
    const shown: Array<number | null> = []
    let calls = 0
    const { copy, logs } = copyOf(idb, {
      ask: () => (calls++, Promise.resolve({ errorCode: 'too-soon', retryAfterSec: 30 })),
      wait: async (ms) => void waits.push(ms),
      now: s.now,
    })
    copy.onStatus((st) => shown.push(st.waitingSec))
    const result = await copy.syncAssortmentNow()
    expect(result).toEqual({ kind: 'failed', error: 'МойСклад не успевает отвечать — попробуйте позже' })
    expect(calls).toBe(6)
    expect(waits).toEqual([30_000, 30_000, 30_000, 30_000, 30_000])
    expect(shown).toContain(30)
    expect(copy.assortmentStatus()).toMatchObject({ count, error: 'МойСклад не успевает отвечать — попробуйте позже', waitingSec: null, syncing: false })
    expect(copy.assortmentStatusText(s.now())).toMatch(/^Обновить не удалось: МойСклад не успевает отвечать — попробуйте позже\. Работаем по прежней копии, в ней \d+ товар/)
    expect(await copy.lookup(sampleProduct(s.b).barcodes[0]!)).not.toBeNull()
    expect(logs).toContain(`${COPY_LOG.syncFailed} МойСклад не успевает отвечать — попробуйте позже`)
  })

  it('five "too-soon" answers and then pages: the run goes on with the same page', async () => {
    const s = server()
    const asked: Payload[] = []
    let calls = 0
    const { copy } = copyOf(new IDBFactory(), {
      ask: (p) => (asked.push(p), ++calls <= 5 ? Promise.resolve({ errorCode: 'too-soon' }) : s.ask(p)),
      now: s.now,
    })
    await copy.prepareAssortment({ allowed: true, scope: LESNAYA })
    expect(await copy.syncAssortmentNow()).toMatchObject({ kind: 'done' })
    expect(asked.slice(0, 6).every((p) => p.cursor === undefined)).toBe(true)
  })

  it.each([
    ['a refusal', () => Promise.resolve({ error: 'boom', message: 'МойСклад недоступен' }), 'МойСклад недоступен'],
    ['a time-out', () => Promise.reject(new Error('timeout')), 'справочник не ответил'],
    ['no channel', () => Promise.reject(new Error('нет соединения с сервером')), 'нет соединения с сервером'],
  ])('%s fails the run with its text and keeps the copy', async (_what, failing, text) => {
    const { s, idb, count } = await filledDatabase()
    const { copy } = copyOf(idb, { ask: failing, now: s.now })
    expect(await copy.syncAssortmentNow({ full: true })).toEqual({ kind: 'failed', error: text })
    expect(copy.assortmentStatus()).toMatchObject({ count, error: text })
  })

  it('a write that fails keeps the copy as it was and says so', async () => {
    const s = server()
    seedCatalogue(s.b, LESNAYA, 1_500)
    let db: AssortmentDb | undefined
    const idb = new IDBFactory()
    const { copy } = copyOf(idb, {
      ask: s.ask,
      now: s.now,
      openDb: async () => (db = await AssortmentDb.open({ indexedDB: idb, IDBKeyRange })),
    })
    await copy.prepareAssortment({ allowed: true, scope: LESNAYA })
    await copy.syncAssortmentNow()
    const before = copy.assortmentStatus().count
    s.tick()
    changeProduct(s.b, LESNAYA, 'gen-000001', { name: 'не записано' })
    const abort = Object.assign(new Error('aborted'), { name: 'AbortError' })
    vi.spyOn(db!, 'writePage').mockRejectedValueOnce(abort)
    expect(await copy.syncAssortmentNow()).toEqual({ kind: 'failed', error: 'запись отменена' })
    vi.spyOn(db!, 'writePage').mockRejectedValueOnce(new Error('quota'))
    expect(await copy.syncAssortmentNow()).toEqual({ kind: 'failed', error: 'запись не удалась' })
    expect(copy.assortmentStatus().count).toBe(before)
    expect((await copy.lookup(generatedBarcode(1)))?.name).toBe('Кроссовки из каталога №1')
    // The cursor did not move: the next run brings the change.
    await copy.syncAssortmentNow()
    expect((await copy.lookup(generatedBarcode(1)))?.name).toBe('не записано')
  })

  it('a run stopped by the 300-page cap keeps the old cursor, so the next run asks again from there', async () => {
    const { s, idb } = await filledDatabase()
    const meta = async () => {
      const db = await AssortmentDb.open({ indexedDB: idb, IDBKeyRange })
      const m = await db.readMeta()
      db.close()
      return m
    }
    const before = await meta()

    s.tick()
    let page = 0
    const endless = (p: Payload) => {
      page += 1
      const item = { assortmentId: `x${page}`, name: `x${page}`, barcodes: [`99${page}`], updatedAt: `2099-01-01T00:00:${page}` }
      return Promise.resolve({ items: [item], cursor: `c${page}`, serverTime: '2099-12-31', ...(p.cursor ? {} : {}) })
    }
    const { copy: capped, logs } = copyOf(idb, { ask: endless, now: s.now })
    expect(await capped.syncAssortmentNow()).toMatchObject({ kind: 'done', full: false, pages: 300, capped: true })
    expect(page).toBe(300)
    expect(logs.some((l) => l.includes('300 страниц'))).toBe(true)
    const after = await meta()
    expect(after.since).toBe(before.since)
    expect(after.lastFullSyncAt).toBe(before.lastFullSyncAt)
    expect(after.lastSyncAt).toBe(s.now())
    // What the pages brought is kept.
    expect((await capped.lookup('99300'))?.name).toBe('x300')
  })

  it('a capped full run removes nothing: the products it did not reach stay', async () => {
    const { s, idb, count } = await filledDatabase()
    let page = 0
    const endless = () => Promise.resolve({ items: [{ assortmentId: `x${++page}` }], cursor: `c${page}` })
    const { copy: capped } = copyOf(idb, { ask: endless, now: s.now })
    expect(await capped.syncAssortmentNow({ full: true })).toMatchObject({ capped: true, full: true })
    expect(capped.assortmentStatus().count).toBe(count + 300)
  })

  it('a second call joins the running run', async () => {
    const s = server()
    let calls = 0
    const { copy } = copyOf(new IDBFactory(), { ask: (p) => (calls++, s.ask(p)), now: s.now })
    await copy.prepareAssortment({ allowed: true, scope: LESNAYA })
    const [a, b] = [copy.syncAssortmentNow(), copy.syncAssortmentNow({ full: true })]
    expect(a).toBe(b)
    await a
    expect(calls).toBe(1)
  })
})

describe('the account the copy belongs to', () => {
  it('signing in to another account clears the copy before the next lookup', async () => {
    const s = server()
    const anna = sampleProduct(s.b, LESNAYA)
    const idb = new IDBFactory()
    const { copy, logs } = copyOf(idb, { ask: s.ask, now: s.now })
    await copy.afterIdentity({ allowed: true, scope: LESNAYA })
    await copy.syncAssortmentNow()
    expect(await copy.lookup(anna.barcodes[0]!)).not.toBeNull()

    // Олег Орлов's account: the preparation is not awaited, the lookup right after it must not see Анна's products.
    const oleg = s.connect('u-oleg')
    const { copy: next } = copyOf(idb, { ask: oleg, now: s.now })
    await next.ensureAssortmentLoaded()
    expect(next.findLocalAssortment(anna.barcodes[0]!)).not.toBeNull()
    void next.prepareAssortment({ allowed: true, scope: MASTER })
    expect(await next.lookup(anna.barcodes[0]!)).toBeNull()
    expect(next.assortmentStatus().count).toBe(0)
    await next.syncAssortmentNow()
    const olegs = sampleProduct(s.b, MASTER)
    expect(await next.lookup(olegs.barcodes[0]!)).toEqual({ name: olegs.name, article: olegs.article, code: olegs.code })
    expect(logs).not.toContain(COPY_LOG.accountChanged)
  })

  it('logs the change of account and stores the new one', async () => {
    const s = server()
    const idb = new IDBFactory()
    const { copy, logs } = copyOf(idb, { ask: s.ask, now: s.now })
    await copy.prepareAssortment({ allowed: true, scope: LESNAYA })
    await copy.syncAssortmentNow()
    await copy.prepareAssortment({ allowed: true, scope: MASTER })
    expect(logs).toContain(COPY_LOG.accountChanged)
    const db = await AssortmentDb.open({ indexedDB: idb, IDBKeyRange })
    expect(await db.readMeta()).toEqual({ lastSyncAt: null, lastFullSyncAt: null, since: null, scope: MASTER })
    expect(await db.count()).toBe(0)
    db.close()
    // The layout other readers of the page's storage see: version 1, the two stores.
    const raw = await new Promise<IDBDatabase>((resolve, reject) => {
      const open = idb.open('zorvik_assortment')
      open.onsuccess = () => resolve(open.result)
      open.onerror = () => reject(open.error)
    })
    expect([raw.version, [...raw.objectStoreNames]]).toEqual([1, ['items', 'meta']])
    raw.close()
  })

  it('a run still going when the account changes writes nothing more into the copy', async () => {
    const s = server()
    seedCatalogue(s.b, LESNAYA, 3_000)
    let release: () => void = () => {}
    const gate = new Promise<void>((r) => (release = r))
    let calls = 0
    const { copy } = copyOf(new IDBFactory(), {
      ask: async (p) => {
        if (++calls === 2) await gate
        return s.ask(p)
      },
      now: s.now,
    })
    await copy.prepareAssortment({ allowed: true, scope: LESNAYA })
    const run = copy.syncAssortmentNow()
    await vi.waitFor(() => expect(calls).toBe(2))
    await copy.prepareAssortment({ allowed: true, scope: MASTER })
    release()
    expect(await run).toEqual({ kind: 'dropped' })
    expect(copy.assortmentStatus().count).toBe(0)
    expect(await copy.lookup(generatedBarcode(2_999))).toBeNull()
  })

  it('the capability switched off clears a loaded copy', async () => {
    const s = server()
    const { copy, logs } = copyOf(new IDBFactory(), { ask: s.ask, now: s.now })
    await copy.afterIdentity({ allowed: true, scope: LESNAYA })
    await vi.waitFor(() => expect(copy.assortmentStatus().count).toBeGreaterThan(0))
    await copy.afterIdentity({ allowed: false, scope: LESNAYA })
    expect(copy.assortmentStatus().count).toBe(0)
    expect(logs).toContain(COPY_LOG.capabilityOff)
  })
})

describe('where the copy is on', () => {
  it('in a browser only after the user opted in; switching it off removes it', async () => {
    const s = server()
    const storage = new MemoryStorage()
    let calls = 0
    const { copy, logs } = copyOf(new IDBFactory(), { ask: (p) => (calls++, s.ask(p)), now: s.now, desktop: () => false, storage })
    await copy.afterIdentity({ allowed: true, scope: LESNAYA })
    expect(calls).toBe(0)
    expect(copy.localCopyEnabled()).toBe(false)
    expect(await copy.lookup(sampleProduct(s.b).barcodes[0]!)).toBeNull()

    await copy.setLocalCopyOptIn(true)
    expect(storage.getItem(OPT_IN_KEY)).toBe('1')
    // Switched on after the sign-in: fetched for that account at once.
    await vi.waitFor(() => expect(copy.assortmentStatus().count).toBeGreaterThan(0))
    expect(await copy.lookup(sampleProduct(s.b).barcodes[0]!)).not.toBeNull()

    await copy.setLocalCopyOptIn(false)
    expect(copy.localCopyOptedIn()).toBe(false)
    expect(copy.assortmentStatus().count).toBe(0)
    expect(logs).toContain(COPY_LOG.switchedOff)
  })

  it('a database that cannot open: the status says so and lookups answer null', async () => {
    const { copy } = copyOf(new IDBFactory(), { ask: () => Promise.resolve({}), openDb: () => Promise.reject(new Error('blocked')) })
    expect(await copy.lookup('4600000000017')).toBeNull()
    expect(copy.assortmentStatus().error).toBe('локальная база не открылась')
    expect(await copy.syncAssortmentNow()).toEqual({ kind: 'failed', error: 'локальная база не открылась' })
  })
})
