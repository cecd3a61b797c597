/**
 * The inventory commands of the in-memory backend. Scans of every device of
 * an account gather in its sessions, each scan uid counted once whichever
 * device sends it and however often a batch is sent again; the other devices
 * hear of a closed session and of names found in the register by pushes.
 * Files (export, photo archive) and photo uploads are in ./inventoryFiles.
 */
import { replyNameFor, type Payload } from '../core/envelope'
import { FAILURE_TEXTS } from '../inventory/commands'
import type { Connection, Handler, HandlerContext, MemoryBackend } from './backend'
import {
  gtinOf, inventoryState, matchCode, MAX_CODE_LENGTH, nameOf, normaliseCode, openSessionOf, photoCount, photosOf, scanRecord,
  sessionRecord, sessionsOf, uidKey, UUID_V4, type InventoryScan, type InventorySession, type InventoryState, type ScanSource,
} from './inventoryModel'
import { archiveFile, exportFile, PHOTO_BATCH_TTL_MS, PHOTO_MAX_BYTES, PHOTO_TYPES, PHOTOS_PER_UNIT } from './inventoryFiles'
import { seedInventory } from './inventorySeed'

/** How long the register takes to look codes up. */
export const REGISTRY_DELAY_MS = 300
export const SCAN_BATCH_MAX = 100

export const refuse = (errorCode: string, extra: Payload = {}): Payload => ({ error: FAILURE_TEXTS[errorCode] ?? errorCode, errorCode, ...extra })
const text = (v: unknown) => (typeof v === 'string' ? v.trim() : '')
const idOf = (v: unknown): number | null => (typeof v === 'number' && Number.isInteger(v) && v > 0 ? v : null)
const clamp = (v: unknown, lo: number, hi: number, dflt: number) =>
  typeof v === 'number' && Number.isFinite(v) ? Math.min(hi, Math.max(lo, Math.floor(v))) : dflt
const iso = (ms: number) => new Date(ms).toISOString()

export interface InvCtx {
  ctx: HandlerContext
  st: InventoryState
  accountId: string
  userId: string
  userName: string
}

type InvHandler = (c: InvCtx, p: Payload) => Payload | null

/** The session a payload names, if it is the account's. */
function sessionOf(c: InvCtx, p: Payload): InventorySession | undefined {
  const id = idOf(p.sessionId)
  const s = id === null ? undefined : c.st.sessions.get(id)
  return s && s.accountId === c.accountId ? s : undefined
}

/** The devices of the account (but `except`) hear `name`. */
function pushToAccount(b: MemoryBackend, accountId: string, except: Connection | null, name: string, p: Payload): void {
  b.pushWhere((conn) => conn !== except && b.signedIn(conn)?.account.uid === accountId, name, p)
}

function sessionStart(c: InvCtx, p: Payload): Payload {
  if (openSessionOf(c.st, c.accountId)) return refuse('session-open')
  const id = c.st.nextSession++
  const s: InventorySession = {
    id, accountId: c.accountId, name: text(p.name) || `Инвентаризация ${id}`, comment: text(p.comment), status: 'open',
    startedAt: iso(c.ctx.now), startedByUserId: c.userId, closedAt: null, scans: [], nextUnit: 1,
  }
  c.st.sessions.set(id, s)
  return sessionRecord(c.st, s)
}

function sessionGet(c: InvCtx, p: Payload): Payload {
  const s = p.sessionId === undefined ? openSessionOf(c.st, c.accountId) : sessionOf(c, p)
  return s ? sessionRecord(c.st, s) : {}
}

function sessionList(c: InvCtx, p: Payload): Payload {
  const limit = clamp(p.limit, 1, 100, 20)
  const before = idOf(p.beforeId)
  const all = sessionsOf(c.st, c.accountId).filter((s) => before === null || s.id < before)
  return { sessions: all.slice(0, limit).map((s) => sessionRecord(c.st, s)), hasMore: all.length > limit }
}

/**
 * Closing: only an open session. While the register still looks up codes of
 * the session, closing waits for `force` (the export would lack those names).
 */
function sessionClose(c: InvCtx, p: Payload): Payload {
  const s = sessionOf(c, p)
  if (!s) return refuse('session-not-found')
  if (s.status === 'closed') return refuse('already-closed')
  const looking = s.scans.filter((x) => x.registry?.state === 'queued').length
  if (looking > 0 && p.force !== true) {
    return { error: `Реестр еще ищет наименования (${looking}) — подождите или закройте без них`, errorCode: 'registry-pending', pending: looking }
  }
  s.status = 'closed'
  s.closedAt = iso(c.ctx.now)
  pushToAccount(c.ctx.backend, c.accountId, c.ctx.conn, 'inventorySessionClosed', { sessionId: s.id, closedAt: s.closedAt })
  return sessionRecord(c.st, s)
}

function sessionComment(c: InvCtx, p: Payload): Payload {
  const s = sessionOf(c, p)
  if (!s) return refuse('session-not-found')
  s.comment = text(p.comment)
  return sessionRecord(c.st, s)
}

const SOURCES: readonly string[] = ['scanner', 'camera', 'manual']

/** Why one scan of a batch cannot be taken, or null. */
function scanProblem(st: InventoryState, code: string): string | null {
  if (code === '') return 'Код не может быть пустым'
  if (code.length > MAX_CODE_LENGTH) return 'Код длиннее 255 символов'
  if (st.faults.rejectCodes.has(code)) return 'Сервер не принял скан'
  return null
}

function newScan(c: InvCtx, s: InventorySession, raw: Payload, code: string): InventoryScan {
  const codeNorm = normaliseCode(code)
  const scannedAt = typeof raw.scannedAt === 'string' && !Number.isNaN(Date.parse(raw.scannedAt)) ? raw.scannedAt : iso(c.ctx.now)
  const id = c.ctx.conn.identity
  return {
    id: c.st.nextScan++, sessionId: s.id, accountId: c.accountId, scanUid: String(raw.scanUid), unitNo: String(s.nextUnit++),
    code, codeNorm, source: (SOURCES.includes(String(raw.source)) ? raw.source : 'scanner') as ScanSource,
    qty: typeof raw.qty === 'number' && Number.isInteger(raw.qty) && raw.qty >= 1 ? raw.qty : 1,
    scannedAt, receivedAt: iso(c.ctx.now), userId: c.userId, userName: c.userName,
    deviceId: id.kind === 'device' ? id.sessionId : c.ctx.conn.id, note: text(raw.note),
    cellId: idOf(raw.cellId), match: matchCode(c.ctx.backend, c.accountId, codeNorm), registry: null,
  }
}

/**
 * A batch of scans. Every scan uid is taken once per account: a batch sent
 * again after a lost answer, or a scan another device already sent, comes
 * back under `duplicates`. A scan that cannot be taken comes back under
 * `rejected` with its reason; a batch that cannot be read is refused whole.
 */
function scanAdd(c: InvCtx, p: Payload): Payload {
  const s = sessionOf(c, p)
  if (!s) return refuse('session-not-found')
  if (s.status === 'closed') return refuse('session-closed')
  const raw = p.scans
  if (!Array.isArray(raw) || raw.length > SCAN_BATCH_MAX) return refuse('bad-request')
  const scans = raw as unknown[]
  if (!scans.every((x) => x && typeof x === 'object' && typeof (x as Payload).scanUid === 'string' && typeof (x as Payload).code === 'string'))
    return refuse('bad-request')
  const batch = scans as Payload[]
  const poisoned = batch.filter((x) => c.st.faults.poisonCodes.has(text(x.code)))
  if (poisoned.length > 0) {
    const extra: Payload = c.st.faults.namePoisoned ? { wrong: poisoned.map((x) => ({ scanUid: x.scanUid, code: x.code })) } : {}
    return refuse('bad-request', extra)
  }
  const fresh = batch.filter((x) => !c.st.byUid.has(uidKey(c.accountId, String(x.scanUid))))
  if (s.scans.length + fresh.length > c.st.faults.scanLimit) return refuse('limit-scans')

  const accepted: string[] = []
  const duplicates: string[] = []
  const rejected: Payload[] = []
  const records: Payload[] = []
  for (const x of batch) {
    const scanUid = String(x.scanUid)
    const key = uidKey(c.accountId, scanUid)
    const held = c.st.byUid.get(key)
    if (held || c.st.deleted.has(key)) {
      if (held && held.sessionId !== s.id) {
        rejected.push({ scanUid, error: 'Этот скан уже учтен в другой инвентаризации' })
        continue
      }
      duplicates.push(scanUid)
      if (held) records.push(scanRecord(c.st, held))
      continue
    }
    if (!UUID_V4.test(scanUid)) {
      rejected.push({ scanUid, error: 'Сервер не принял скан' })
      continue
    }
    const code = text(x.code)
    const problem = scanProblem(c.st, code)
    if (problem) {
      rejected.push({ scanUid, error: problem })
      continue
    }
    const scan = newScan(c, s, x, code)
    s.scans.push(scan)
    c.st.byUid.set(key, scan)
    accepted.push(scanUid)
    records.push(scanRecord(c.st, scan))
  }
  return { accepted, duplicates, rejected, scans: records }
}

/** Scans of codes counted more than once. */
function repeated(s: InventorySession): Set<string> {
  const seen = new Map<string, number>()
  for (const x of s.scans) seen.set(x.codeNorm, (seen.get(x.codeNorm) ?? 0) + 1)
  return new Set([...seen].filter(([, n]) => n > 1).map(([code]) => code))
}

/**
 * A page of a session's scans: the newest first (before `beforeId`), or the
 * ones after `afterId` oldest first, which is how devices pull the scans of
 * the others.
 */
function scanList(c: InvCtx, p: Payload): Payload {
  const s = sessionOf(c, p)
  if (!s) return refuse('session-not-found')
  const limit = clamp(p.limit, 1, 200, 50)
  const after = typeof p.afterId === 'number' ? p.afterId : null
  const before = idOf(p.beforeId)
  const q = text(p.q).toLowerCase()
  const repeats = p.filter === 'repeats' ? repeated(s) : null
  const counts = p.filter === 'photos' ? new Map(s.scans.map((x) => [x.scanUid, photoCount(c.st, c.accountId, x.scanUid)])) : null
  let list = s.scans.filter((x) => {
    if (after !== null && x.id <= after) return false
    if (before !== null && x.id >= before) return false
    if (p.filter === 'unnamed' && nameOf(x) !== '') return false
    if (repeats && !repeats.has(x.codeNorm)) return false
    if (counts && (counts.get(x.scanUid) ?? 0) === 0) return false
    if (q && ![x.code, x.note, nameOf(x), x.unitNo].some((t) => t.toLowerCase().includes(q))) return false
    return true
  })
  list = after !== null ? list.sort((a, b) => a.id - b.id) : list.sort((a, b) => b.id - a.id)
  return { scans: list.slice(0, limit).map((x) => scanRecord(c.st, x)), hasMore: list.length > limit }
}

/** The scan a payload names in an open session, or the refusal. */
function editableScan(c: InvCtx, p: Payload): { session: InventorySession; scan: InventoryScan } | { refusal: Payload } {
  const s = sessionOf(c, p)
  if (!s) return { refusal: refuse('session-not-found') }
  if (s.status === 'closed') return { refusal: refuse('session-closed') }
  const scan = s.scans.find((x) => x.id === p.id)
  return scan ? { session: s, scan } : { refusal: refuse('not_found') }
}

function scanUpdate(c: InvCtx, p: Payload): Payload {
  const found = editableScan(c, p)
  if ('refusal' in found) return found.refusal
  const { scan } = found
  if (p.code !== undefined) {
    const code = text(p.code)
    if (scanProblem(c.st, code)) return refuse('bad-request')
    if (code !== scan.code) {
      scan.code = code
      scan.codeNorm = normaliseCode(code)
      scan.match = matchCode(c.ctx.backend, c.accountId, scan.codeNorm)
      scan.registry = null
    }
  }
  if (p.note !== undefined) scan.note = text(p.note)
  if (p.qty !== undefined) {
    if (typeof p.qty !== 'number' || !Number.isInteger(p.qty) || p.qty < 1) return refuse('bad-request')
    scan.qty = p.qty
  }
  if (p.cellId !== undefined) scan.cellId = idOf(p.cellId)
  return { scan: scanRecord(c.st, scan) }
}

/**
 * A unit deleted by id, or by `scanUid` (a device that never heard the unit's id: its batch's answer
 * was lost). A `scanUid` the service does not hold is remembered as deleted, so the scan stays deleted
 * if its batch arrives later.
 */
function scanDelete(c: InvCtx, p: Payload): Payload {
  if (typeof p.scanUid === 'string' && p.scanUid !== '') {
    const s = sessionOf(c, p)
    if (!s) return refuse('session-not-found')
    if (s.status === 'closed') return refuse('session-closed')
    const held = s.scans.find((x) => x.scanUid === p.scanUid)
    if (!held) {
      c.st.deleted.add(uidKey(c.accountId, p.scanUid))
      return { id: null, deleted: true, photosDeleted: 0 }
    }
    return dropScan(c, s, held)
  }
  const found = editableScan(c, p)
  if ('refusal' in found) return found.refusal
  return dropScan(c, found.session, found.scan)
}

function dropScan(c: InvCtx, session: InventorySession, scan: InventoryScan): Payload {
  session.scans.splice(session.scans.indexOf(scan), 1)
  const key = uidKey(c.accountId, scan.scanUid)
  c.st.byUid.delete(key)
  // A device that still holds the scan in its queue may send it again: it stays deleted.
  c.st.deleted.add(key)
  const photos = photosOf(c.st, c.accountId, scan.scanUid)
  for (const ph of photos) c.st.photos.delete(ph.id)
  return { id: scan.id, deleted: true, photosDeleted: photos.length }
}

function photoIds(c: InvCtx, p: Payload): Payload {
  if (c.st.faults.uploadDisabled) return refuse('upload-disabled')
  const count = clamp(p.count, 1, 100, 1)
  const token = `b${c.st.nextFile++}-${Math.random().toString(36).slice(2, 12)}`
  const ids = Array.from({ length: count }, () => `ph-${c.st.nextPhoto++}-${Math.random().toString(36).slice(2, 8)}`)
  const expiresAt = c.ctx.now + PHOTO_BATCH_TTL_MS
  c.st.batches.set(token, { accountId: c.accountId, ids: new Set(ids), expiresAt })
  return { ids, uploadUrl: `/inventory/upload/${token}`, maxSizeBytes: PHOTO_MAX_BYTES, allowedTypes: [...PHOTO_TYPES], expiresAt: iso(expiresAt) }
}

function photoList(c: InvCtx, p: Payload): Payload {
  if (!sessionOf(c, p)) return refuse('session-not-found')
  const photos = photosOf(c.st, c.accountId, text(p.scanUid)).sort((a, b) => a.createdAt.localeCompare(b.createdAt))
  return {
    photos: photos.slice(0, clamp(p.limit, 1, 200, 50)).map((ph) => ({
      id: ph.id, scanUid: ph.scanUid, url: `/inventory/photos/${ph.id}`, size: ph.bytes.length, createdAt: ph.createdAt,
    })),
  }
}

function photoDelete(c: InvCtx, p: Payload): Payload {
  const ph = c.st.photos.get(text(p.photoId))
  if (!ph || ph.accountId !== c.accountId) return refuse('not_found')
  c.st.photos.delete(ph.id)
  return { id: ph.id, deleted: true }
}

function photoMove(c: InvCtx, p: Payload): Payload {
  const ph = c.st.photos.get(text(p.photoId))
  const scanUid = text(p.scanUid)
  if (!ph || ph.accountId !== c.accountId || scanUid === '') return refuse('not_found')
  if (ph.scanUid !== scanUid && photoCount(c.st, c.accountId, scanUid) >= PHOTOS_PER_UNIT) return refuse('photo-limit')
  ph.scanUid = scanUid
  return { id: ph.id, scanUid }
}

function photoArchive(c: InvCtx, p: Payload): Payload {
  const s = sessionOf(c, p)
  if (!s) return refuse('session-not-found')
  return archiveFile(c.st, s, text(p.unitNo), c.ctx.now)
}

/**
 * Queues the session's codes for the register: the unnamed ones, or with
 * `all` every scan not named yet by it. A code without a GTIN cannot be
 * looked up (skipped). The answers come a moment later as a push.
 */
function registryRequest(c: InvCtx, p: Payload): Payload {
  const s = sessionOf(c, p)
  if (!s) return refuse('session-not-found')
  const f = c.st.faults
  if (!f.registryConfigured) return refuse('registry-not-configured')
  let queued = 0
  let skipped = 0
  let alreadyQueued = 0
  const take: InventoryScan[] = []
  for (const x of s.scans) {
    if (x.registry?.state === 'queued') {
      alreadyQueued++
      continue
    }
    const wanted = p.all === true ? x.registry?.state !== 'named' : x.match.name === null && x.registry?.state !== 'named'
    if (!wanted) continue
    if (gtinOf(x.codeNorm) === null) skipped++
    else take.push(x)
  }
  const waiting = [...c.st.sessions.values()].reduce((n, ss) => n + ss.scans.filter((x) => x.registry?.state === 'queued').length, 0)
  if (waiting + take.length > f.registryQueueLimit) return refuse('queue-full')
  for (const x of take) {
    x.registry = { state: 'queued', gtin: gtinOf(x.codeNorm)!, name: '', brand: '' }
    queued++
  }
  if (queued > 0) {
    const b = c.ctx.backend
    setTimeout(() => lookUpRegister(b, s), REGISTRY_DELAY_MS)
    b.log(`инвентаризация ${s.id}: в Реестр ушло кодов: ${queued}`)
  }
  return { queued, skipped, alreadyQueued }
}

/** Answers every queued code of a session from the register and tells the account's devices. */
export function lookUpRegister(b: MemoryBackend, s: InventorySession): void {
  const st = inventoryState(b)
  const updates: Payload[] = []
  for (const x of s.scans) {
    if (x.registry?.state !== 'queued') continue
    const found = st.register.get(x.registry.gtin)
    x.registry = found ? { state: 'named', gtin: x.registry.gtin, ...found } : { state: 'not_found', gtin: x.registry.gtin, name: '', brand: '' }
    const u: Payload = { scanUid: x.scanUid, id: x.id, state: x.registry.state, gtin: x.registry.gtin }
    if (found) Object.assign(u, found)
    updates.push(u)
  }
  if (updates.length > 0) pushToAccount(b, s.accountId, null, 'inventoryRegistryUpdated', { sessionId: s.id, updates })
}

function exportOne(c: InvCtx, p: Payload): Payload {
  const s = sessionOf(c, p)
  if (!s) return refuse('session-not-found')
  return exportFile(c.st, c.accountId, [s], c.ctx.now, false)
}

function exportAll(c: InvCtx, p: Payload): Payload {
  return exportFile(c.st, c.accountId, sessionsOf(c.st, c.accountId).slice(0, clamp(p.limit, 1, 100, 100)).reverse(), c.ctx.now, true)
}

const TABLE: Record<string, InvHandler> = {
  inventorySessionStart: sessionStart,
  inventorySessionGet: sessionGet,
  inventorySessionList: sessionList,
  inventorySessionClose: sessionClose,
  inventorySessionComment: sessionComment,
  inventoryScanAdd: scanAdd,
  inventoryScanList: scanList,
  inventoryScanUpdate: scanUpdate,
  inventoryScanDelete: scanDelete,
  inventoryPhotoIds: photoIds,
  inventoryPhotoList: photoList,
  inventoryPhotoDelete: photoDelete,
  inventoryPhotoMove: photoMove,
  inventoryPhotoArchive: photoArchive,
  inventoryRegistryRequest: registryRequest,
  inventoryExport: exportOne,
  inventoryExportAll: exportAll,
}

/**
 * A command of the signed-in device's account, through the outage the
 * test-mode control may have switched on: refused, never answered, done but
 * never answered, or answered late.
 */
function guarded(name: string, fn: InvHandler): Handler {
  return (ctx, p) => {
    const me = ctx.backend.signedIn(ctx.conn)
    if (!me) return { error: 'session not authorized', errorCode: 'forbidden' }
    const st = inventoryState(ctx.backend)
    seedInventory(ctx.backend, st, me.account.uid)
    const c: InvCtx = { ctx, st, accountId: me.account.uid, userId: me.user.userId, userName: `${me.user.firstName} ${me.user.lastName}` }
    const o = st.faults.outage
    if (o && o.until <= ctx.now) st.faults.outage = null
    else if (o && (o.commands === null || o.commands.has(name))) {
      if (o.mode === 'fail') return { ...o.refusal }
      if (o.mode === 'hang') return null
      const answer = fn(c, p)
      if (o.mode === 'slow' && answer) setTimeout(() => ctx.conn.push(replyNameFor(name), answer), o.ms)
      return null
    }
    return fn(c, p)
  }
}

/** The inventory commands, each behind the account check and the injected outage. */
export function inventoryHandlers(): Record<string, Handler> {
  return Object.fromEntries(Object.entries(TABLE).map(([name, fn]) => [name, guarded(name, fn)]))
}
