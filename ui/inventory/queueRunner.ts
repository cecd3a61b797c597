/**
 * One open inventory session on this device: its scans as the service has them, the device's queue of
 * scans not yet acknowledged, the timers that send the queue and pull the other devices' scans, and
 * the pushes that change the session. Every step of the queue's rules lives in ./scanQueue; this file
 * only runs them against the commands, the device database and the host copy.
 */
import { computed, ref, shallowRef } from 'vue'
import { ruPlural } from '../core/plural'
import type { inventoryCommands } from './commands'
import { failureText } from './commands'
import type { InventoryDb } from './inventoryDb'
import type { QueueCopy } from './queueCopy'
import { normaliseScan, scanName, type Counters, type Scan, type Session } from './records'
import { changedFields, editQueued, type ScanChange } from './scanEdit'
import { saveScan } from './scanStore'
import {
  applyFailure, applyReply, deletesDue, deleteUnit, FLUSH_AT_ONCE, FLUSH_TICK_MS, flushDue, nextBatch, replyUids, splitBatch, waiting,
  type BatchFailure, type QueuedScan,
} from './scanQueue'

export const PULL_EVERY_MS = 15_000
export const FIRST_PAGE = 50
export const PULL_LIMIT = 200

export type InventoryCommands = ReturnType<typeof inventoryCommands>

export interface RunnerDeps {
  commands: InventoryCommands
  /** the device database; null when it could not be opened (the queue then lives in memory) */
  db: InventoryDb | null
  copy: QueueCopy
  accountId: string
  userId: string | null
  userName: string
  uid(): string
  now(): number
  /** runs `fn` every `ms`; answers the stop */
  every(fn: () => void, ms: number): () => void
  /** what a failed command carried: its code, message and the scans it names */
  failureOf(err: unknown): BatchFailure
  /**
   * Scans an earlier version filed under no account ("") are taken into this account's queue when the
   * session they belong to opens. Only when this device never knew another account: they were taken
   * by whoever was signed in then.
   */
  adoptUnfiled?: boolean
}

/** The account of scans filed when the account was not known yet (an earlier version did so). */
export const UNFILED = ''

export type AddOutcome = { ok: true; scan: QueuedScan; durable: boolean } | { ok: false; error: string }

/** A queued scan shown as the service would show it. */
export function asScan(q: QueuedScan, who: { userName: string }): Scan {
  return {
    id: null, scanUid: q.scanUid, code: q.code, codeNorm: q.codeNorm, source: q.source, qty: q.qty, scannedAt: q.scannedAt,
    receivedAt: null, userId: q.userId ?? '', userName: who.userName, deviceId: '', note: q.note, cellId: q.cellId,
    match: { kind: 'none', id: null, name: null }, registry: null, photos: 0, pending: true, rejected: q.rejected === true,
    ...(q.error ? { error: q.error } : {}), ...(q.deleting ? { deleting: true } : {}),
  }
}

/**
 * The service's list and the local queue joined by `scanUid`: service entries first, then local ones
 * not rejected and not yet there. A unit deleted on the device and not yet confirmed is marked `deleting`.
 */
export function mergeScans(service: readonly Scan[], local: readonly QueuedScan[], who: { userName: string }): Scan[] {
  const known = new Set(service.map((s) => s.scanUid))
  const deleting = new Set(local.filter((q) => q.deleting).map((q) => q.scanUid))
  return [
    ...service.map((s) => (deleting.has(s.scanUid) ? { ...s, deleting: true } : s)),
    ...local.filter((q) => !q.rejected && !known.has(q.scanUid)).map((q) => asScan(q, who)),
  ]
}

/** The session's counters with the scans the service has not counted yet added the way the service counts them. */
export function countersWith(base: Counters, service: readonly Scan[], local: readonly QueuedScan[]): Counters {
  const known = new Set(service.map((s) => s.scanUid))
  const codes = new Set(service.map((s) => s.codeNorm))
  const names = new Map(service.map((s) => [s.codeNorm, scanName(s)]))
  const c = { ...base, registry: { ...base.registry } }
  for (const q of local) {
    if (q.rejected || q.deleting || known.has(q.scanUid)) continue
    c.scans += 1
    c.units += Math.max(1, q.qty)
    if (codes.has(q.codeNorm)) c.repeats += 1
    else {
      c.codes += 1
      codes.add(q.codeNorm)
    }
    if (names.get(q.codeNorm)) c.named += 1
    else c.unnamed += 1
  }
  return c
}

/** What the user reads about scans kept after the session closed. */
export const keptText = (n: number) =>
  `Инвентаризация закрыта, а ${n} ${ruPlural(n, 'скан не успел', 'скана не успели', 'сканов не успели')} уйти на сервер. Они сохранены на устройстве — выгрузите их в файл`

const byUid = (list: readonly Scan[]) => new Map(list.map((s) => [s.scanUid, s]))

export function createQueueRunner(deps: RunnerDeps) {
  const session = shallowRef<Session | null>(null)
  const serviceScans = shallowRef<Scan[]>([])
  const hasMore = ref(false)
  const queue = shallowRef<QueuedScan[]>([])
  /** the last thing the queue has to tell the user ("" when nothing) */
  const note = ref('')
  /** scans kept on the device after the session turned out closed */
  const keptAfterClose = ref(0)
  let lastFlushAt = 0
  let flushing: Promise<void> | null = null
  let flushStop: (() => void) | null = null
  let pullStop: (() => void) | null = null
  /** scan uids of the batch on its way to the service */
  const sending = new Set<string>()

  const where = () => ({ accountId: deps.accountId, sessionId: session.value!.id })
  const scans = computed(() => mergeScans(serviceScans.value, queue.value, deps))
  const counters = computed(() => (session.value ? countersWith(session.value.counters, serviceScans.value, queue.value) : null))
  const setAside = computed(() => queue.value.filter((q) => q.rejected))
  const waitingCount = computed(() => waiting(queue.value).length)
  const deletingCount = computed(() => queue.value.filter((q) => q.deleting).length)

  function mergeFromService(raw: readonly unknown[]) {
    const incoming = raw.map(normaliseScan).filter((s): s is Scan => s !== null)
    if (incoming.length === 0) return
    const all = byUid(serviceScans.value)
    for (const s of incoming) all.set(s.scanUid, s)
    serviceScans.value = [...all.values()].sort((a, b) => (b.id ?? Infinity) - (a.id ?? Infinity))
  }

  let writing: Promise<unknown> = Promise.resolve()
  /**
   * Writes the queue to the database and the host copy; true when both hold it. Writes go one after
   * another, each with the queue as it is by then: a delete and a batch's answer settling side by side
   * must not put back what the other removed.
   */
  function keepQueue(before: readonly QueuedScan[]): Promise<boolean> {
    const run = writing.then(() => writeQueue(before))
    writing = run.catch(() => false)
    return run
  }

  async function writeQueue(before: readonly QueuedScan[]): Promise<boolean> {
    const s = session.value
    if (!s) return false
    const now = queue.value
    const left = new Set(now.map((q) => q.scanUid))
    let ok = true
    if (deps.db) {
      try {
        const gone = before.filter((q) => !left.has(q.scanUid)).map((q) => q.scanUid)
        if (gone.length) await deps.db.remove(deps.accountId, gone)
        await deps.db.put(deps.accountId, s.id, now)
      } catch (e) {
        console.warn('[инвентаризация] очередь не записана в базу устройства:', e)
        ok = false
      }
    }
    return (await deps.copy.write(deps.accountId, s.id, now)) && ok
  }

  async function reloadSession(): Promise<void> {
    const s = session.value
    if (!s) return
    const fresh = await deps.commands.get(s.id).catch(() => undefined)
    if (fresh && session.value?.id === fresh.id) session.value = fresh
  }

  function markClosed(closedAt: string | null) {
    const s = session.value
    if (!s) return
    session.value = { ...s, status: 'closed', closedAt: closedAt ?? s.closedAt }
    const kept = waiting(queue.value).length
    keptAfterClose.value = kept
    if (kept > 0) note.value = keptText(kept)
  }

  /**
   * A scan the service already held (an earlier batch got there, its answer did not) has the values it
   * had then; what was changed on the device since is sent as a change. Without a connection the
   * change waits for no one: the service keeps the earlier values.
   */
  async function carryEdits(sessionId: number, batch: readonly QueuedScan[], duplicates: unknown) {
    const dup = replyUids(duplicates)
    for (const q of batch) {
      const held = dup.has(q.scanUid) ? serviceScans.value.find((x) => x.scanUid === q.scanUid) : undefined
      if (!held || held.id === null) continue
      const fields = changedFields({ note: held.note, qty: held.qty, cellId: held.cellId }, { note: q.note, qty: q.qty, cellId: q.cellId })
      if (Object.keys(fields).length === 0) continue
      try {
        mergeFromService([await deps.commands.updateScan(sessionId, held.id, fields)])
      } catch (e) {
        console.warn('[инвентаризация] изменение скана не отправлено:', e)
      }
    }
  }

  async function runFlush(forced: boolean): Promise<void> {
    const s = session.value
    if (!s || s.status !== 'open') return
    if (!flushDue(queue.value, { nowMs: deps.now(), lastFlushAt, forced })) return
    const pending = [nextBatch(queue.value)]
    while (pending.length > 0 && session.value?.id === s.id) {
      const batch = pending.shift()!
      const before = queue.value
      for (const q of batch) sending.add(q.scanUid)
      try {
        const reply = await deps.commands.addScans(s.id, batch).finally(() => sending.clear())
        const r = applyReply(queue.value, batch, reply)
        queue.value = r.queue
        mergeFromService(reply.scans)
        await carryEdits(s.id, batch, reply.duplicates)
        lastFlushAt = deps.now()
        if (r.note) note.value = r.note
        await keepQueue(before)
        if (r.accepted > 0) void reloadSession()
      } catch (err) {
        const failure = deps.failureOf(err)
        const o = applyFailure(queue.value, batch, failure, deps.now())
        if (o.kind === 'closed') {
          markClosed(null)
          void reloadSession()
          return
        }
        if (o.kind === 'dropped') {
          note.value = failureText(failure)
          session.value = null
          return
        }
        if (o.kind === 'split') {
          pending.unshift(...splitBatch(batch))
          continue
        }
        queue.value = o.queue
        const newlyAside = o.queue.filter((q) => q.rejected).length - before.filter((q) => q.rejected).length
        if (newlyAside > 0) note.value = `Не удалось сохранить сканов: ${newlyAside}. Проверьте код и добавьте заново`
        await keepQueue(before)
        // A failure that says nothing about the scans (no connection, a busy service) ends this flush.
        if (newlyAside === 0) return
      }
    }
  }

  /**
   * The deletes of units whose fate was unknown, by `scanUid`: a confirmation (or "not found") ends
   * one; a refusal gives the unit back with its reason; no answer keeps it for the next try.
   */
  async function sendDeletes(forced: boolean): Promise<void> {
    const s = session.value
    if (!s) return
    for (const d of deletesDue(queue.value, deps.now(), forced)) {
      if (session.value?.id !== s.id) return
      const before = queue.value
      const id = serviceScan(d.scanUid)?.id ?? null
      try {
        await deps.commands.deleteScan(s.id, { scanUid: d.scanUid, ...(id !== null ? { id } : {}) })
        confirmDeleted(d.scanUid)
      } catch (err) {
        const failure = deps.failureOf(err)
        if (failure.code === 'not_found') confirmDeleted(d.scanUid)
        else if (failure.code === undefined || failure.code === 'storage-busy' || failure.code === 'internal') {
          queue.value = queue.value.map((q) => (q.scanUid === d.scanUid ? { ...q, attempts: q.attempts + 1, lastAttemptAt: deps.now() } : q))
          await keepQueue(before)
          return
        } else {
          // Refused: the unit stays (the service keeps it); a scan it never got waits to be sent again.
          const held = serviceScan(d.scanUid) !== null
          queue.value = held
            ? queue.value.filter((q) => q.scanUid !== d.scanUid)
            : queue.value.map((q) => (q.scanUid === d.scanUid ? { ...q, deleting: false, attempts: 0, lastAttemptAt: 0 } : q))
          note.value = `Скан не удален: ${failureText(failure)}`
        }
      }
      await keepQueue(before)
      void reloadSession()
    }
  }

  function confirmDeleted(scanUid: string) {
    queue.value = queue.value.filter((q) => q.scanUid !== scanUid)
    serviceScans.value = serviceScans.value.filter((x) => x.scanUid !== scanUid)
  }

  /** One flush at a time; a call while one runs waits for it. */
  function flush(forced = false): Promise<void> {
    if (flushing) return flushing
    flushing = sendDeletes(forced).then(() => runFlush(forced)).finally(() => {
      flushing = null
    })
    return flushing
  }

  /** New scans of the other devices and fresh counters. */
  async function pull(): Promise<void> {
    const s = session.value
    if (!s) return
    void reloadSession()
    const afterId = Math.max(0, ...serviceScans.value.map((x) => x.id ?? 0))
    try {
      const r = await deps.commands.listScans(s.id, { afterId, limit: PULL_LIMIT })
      if (session.value?.id === s.id) mergeFromService(r.scans)
    } catch {
      // the next pull tries again
    }
  }

  function stop() {
    flushStop?.()
    pullStop?.()
    flushStop = pullStop = null
  }

  /** The screen left: the other devices' scans are no longer pulled, the queue keeps going out. */
  function leave() {
    pullStop?.()
    pullStop = null
  }

  /** Pulls again while the screen shows the session (after `leave`). */
  function watchOthers() {
    pullStop ??= deps.every(() => void pull(), PULL_EVERY_MS)
  }

  /** Opens a session: its stored queue (the in-memory one too when it is the same session), the first scans, the timers. */
  async function open(known: Session): Promise<void> {
    stop()
    const same = session.value?.id === known.id
    session.value = known
    keptAfterClose.value = 0
    note.value = ''
    if (!same) {
      serviceScans.value = []
      queue.value = []
    }
    await deps.copy.ready
    const stored = new Map<string, QueuedScan>()
    const readFiled = async (accountId: string) => {
      const found = new Map<string, QueuedScan>()
      for (const q of deps.copy.read(accountId, known.id)) found.set(q.scanUid, q)
      if (deps.db) {
        for (const q of await deps.db.read(accountId, known.id).catch(() => [] as QueuedScan[])) if (!found.has(q.scanUid)) found.set(q.scanUid, q)
      }
      return found
    }
    const unfiled = deps.adoptUnfiled && deps.accountId !== UNFILED ? await readFiled(UNFILED) : new Map<string, QueuedScan>()
    for (const [uid, q] of unfiled) stored.set(uid, q)
    for (const [uid, q] of await readFiled(deps.accountId)) stored.set(uid, q)
    for (const q of queue.value) stored.set(q.scanUid, q)
    queue.value = [...stored.values()].sort((a, b) => a.scannedAt.localeCompare(b.scannedAt))
    // What the copy brought back and the database lost is written there again.
    const kept = queue.value.length ? await keepQueue(queue.value) : true
    // Unfiled scans leave their old place only once this account's queue holds them.
    if (unfiled.size > 0 && kept) {
      await deps.copy.write(UNFILED, known.id, [])
      await deps.db?.remove(UNFILED, [...unfiled.keys()]).catch((e: unknown) => console.warn('[инвентаризация] старые записи очереди не убраны:', e))
    }
    flushStop = deps.every(() => void flush(), FLUSH_TICK_MS)
    pullStop = deps.every(() => void pull(), PULL_EVERY_MS)
    await reloadSession()
    if (session.value?.status === 'closed') markClosed(session.value.closedAt)
    try {
      const first = await deps.commands.listScans(known.id, { limit: FIRST_PAGE })
      mergeFromService(first.scans)
      hasMore.value = first.hasMore
    } catch {
      // offline: the queue is shown, the service's list comes with the next pull
    }
  }

  /** Earlier scans of the service's list. */
  async function loadMore(): Promise<void> {
    const s = session.value
    if (!s) return
    const oldest = Math.min(...serviceScans.value.map((x) => x.id ?? Infinity))
    const r = await deps.commands.listScans(s.id, { limit: FIRST_PAGE, ...(Number.isFinite(oldest) ? { beforeId: oldest } : {}) })
    mergeFromService(r.scans)
    hasMore.value = r.hasMore
  }

  /** Adds a scan: on the device (database and host copy) before it answers, then sent with the queue. */
  async function add(input: { code: string; qty?: number; source?: string; note?: string; cellId?: number | null }): Promise<AddOutcome> {
    const s = session.value
    const sessionId = s?.id ?? 0
    let shown: string | null = null
    // Shown and in the copy at once; taken back when the database did not keep it.
    const intoQueue = (scan: QueuedScan) => {
      shown = scan.scanUid
      queue.value = [...queue.value, scan]
      return deps.copy.write(deps.accountId, sessionId, queue.value)
    }
    const made = await saveScan([], deps.db, { accountId: deps.accountId, sessionId }, input, {
      sessionOpen: s?.status === 'open', userId: deps.userId, now: new Date(deps.now()), uid: deps.uid,
    }, intoQueue)
    if (!made.ok) {
      if (shown !== null) {
        queue.value = queue.value.filter((q) => q.scanUid !== shown)
        await deps.copy.write(deps.accountId, sessionId, queue.value)
      }
      return made
    }
    if (waiting(queue.value).length >= FLUSH_AT_ONCE) void flush()
    return made
  }

  /**
   * A change to a scan still in the queue, kept on the device (database and host copy) like the queue
   * itself. A flush under way is waited for first: a scan it delivered is the service's to change, and
   * the answer is then 'sent'.
   */
  async function changeQueued(scanUid: string, change: Partial<ScanChange>): Promise<'kept' | 'sent' | 'not-kept'> {
    if (flushing) await flushing
    const before = queue.value
    const next = editQueued(before, scanUid, change)
    if (!next) return 'sent'
    queue.value = next
    return (await keepQueue(before)) ? 'kept' : 'not-kept'
  }

  /**
   * The user deleted a unit. One that never left the device is gone at once; one the service may hold
   * stays as a delete sent by `scanUid` (shown "удаляется") until the service confirms it, across
   * restarts like the queue. 'none': the unit is not known here (the caller deletes it by id).
   */
  async function removeUnit(scan: Scan): Promise<'gone' | 'deleting' | 'none' | 'not-kept'> {
    const before = queue.value
    const held = serviceScan(scan.scanUid)
    const asQueued = (x: Scan): QueuedScan => ({
      scanUid: x.scanUid, code: x.code, codeNorm: x.codeNorm, source: x.source, qty: x.qty, scannedAt: x.scannedAt,
      note: x.note, cellId: x.cellId, userId: deps.userId, attempts: 0, lastAttemptAt: 0,
    })
    const r = deleteUnit(before, scan.scanUid, { sending: sending.has(scan.scanUid), held: held ? asQueued(held) : null })
    if (r.outcome === 'none') return 'none'
    queue.value = r.queue
    if (!(await keepQueue(before))) return 'not-kept'
    if (r.outcome === 'deleting') void flush(true)
    return r.outcome
  }

  /** The service's scan with this uid, once it has one. */
  const serviceScan = (scanUid: string): Scan | null => serviceScans.value.find((s) => s.scanUid === scanUid) ?? null

  /** A scan set aside is dropped from the device (the user adds it again if needed). */
  async function discard(scanUid: string): Promise<void> {
    const before = queue.value
    queue.value = before.filter((q) => q.scanUid !== scanUid)
    await keepQueue(before)
  }

  function onSessionClosed(p: { sessionId?: unknown; closedAt?: unknown }) {
    if (session.value && p.sessionId === session.value.id) markClosed(typeof p.closedAt === 'string' ? p.closedAt : null)
  }

  function onRegistryUpdated(p: { sessionId?: unknown; updates?: unknown }) {
    const s = session.value
    if (!s || p.sessionId !== s.id || !Array.isArray(p.updates)) return
    const all = byUid(serviceScans.value)
    for (const u of p.updates as Array<Record<string, unknown>>) {
      const scan = typeof u?.scanUid === 'string' ? all.get(u.scanUid) : undefined
      if (!scan) continue
      const registry: NonNullable<Scan['registry']> = { state: typeof u.state === 'string' ? u.state : '' }
      for (const k of ['gtin', 'name', 'brand'] as const) if (typeof u[k] === 'string' && u[k] !== '') registry[k] = u[k] as string
      all.set(scan.scanUid, { ...scan, registry, id: typeof u.id === 'number' ? u.id : scan.id })
    }
    serviceScans.value = [...all.values()]
  }

  /** Replaces one scan of the list (an edit the service answered). */
  function replaceScan(raw: unknown) {
    mergeFromService([raw])
  }
  function removeScan(id: number) {
    serviceScans.value = serviceScans.value.filter((s) => s.id !== id)
  }

  return {
    session, scans, counters, queue, setAside, waitingCount, note, keptAfterClose, hasMore,
    deletingCount,
    open, leave, close: stop, watchOthers, flush, pull, add, discard, loadMore, onSessionClosed, onRegistryUpdated, replaceScan, removeScan,
    changeQueued, removeUnit, serviceScan, reload: reloadSession,
    /** the scans kept after close, in the export's shape */
    keptScans: () => waiting(queue.value).map((q) => asScan(q, deps)),
  }
}

export type QueueRunner = ReturnType<typeof createQueueRunner>
