// Test-mode control routes of the inventory: what the service holds (every
// session with its scans and photos), outages of the inventory commands
// (refused, hanging, done without an answer, slow), scans refused one by one
// or spoiling their whole batch, limits, the register, and commands sent as
// another device of an account.
import { randomUUID } from 'node:crypto'
import { defaultFaults, defaultRegister, inventoryState, lookUpRegister } from '../ui/demo/index.ts'

const MODES = new Set(['fail', 'hang', 'lost-reply', 'slow'])
const LIMITS = /** @type {const} */ (['scanLimit', 'photoLimit', 'registryQueueLimit', 'archiveMaxBytes'])
const SWITCHES = /** @type {const} */ (['uploadDisabled', 'registryConfigured', 'namePoisoned'])

/** @param {import('../ui/demo/index.ts').MemoryBackend} backend */
export function inventoryRoutes(backend) {
  const st = () => inventoryState(backend)
  const texts = (/** @type {unknown} */ v) => new Set(Array.isArray(v) ? v.map((x) => String(x).trim()) : [])
  return {
    // ?accountId=&sessionId=: sessions with counters-worth of facts, every scan (oldest first) and every photo
    'GET /inventory-sessions': (/** @type {unknown} */ _b, /** @type {URLSearchParams} */ q) => {
      const s = st()
      const account = q.get('accountId')
      const only = Number(q.get('sessionId')) || null
      const sessions = [...s.sessions.values()]
        .filter((x) => (!account || x.accountId === account) && (only === null || x.id === only))
        .map((x) => ({
          id: x.id, accountId: x.accountId, name: x.name, comment: x.comment, status: x.status, startedAt: x.startedAt, closedAt: x.closedAt,
          scanCount: x.scans.length, distinctScanUids: new Set(x.scans.map((y) => y.scanUid)).size,
          scans: x.scans.map((y) => ({
            id: y.id, scanUid: y.scanUid, unitNo: y.unitNo, code: y.code, codeNorm: y.codeNorm, qty: y.qty, source: y.source, note: y.note,
            userId: y.userId, deviceId: y.deviceId, scannedAt: y.scannedAt, receivedAt: y.receivedAt, match: y.match, registry: y.registry,
          })),
        }))
      const photos = [...s.photos.values()]
        .filter((p) => !account || p.accountId === account)
        .map((p) => ({ id: p.id, accountId: p.accountId, scanUid: p.scanUid, type: p.type, size: p.bytes.length, createdAt: p.createdAt }))
      return { sessions, photos }
    },
    // {mode: fail | hang | lost-reply | slow | off, ms?, commands?, errorCode?, error?, delayMs?}: for ms (until lifted when absent)
    // the inventory commands (or the listed ones) are refused (errorCode storage-busy unless given), never answered,
    // carried out but never answered, or answered after delayMs; {mode: off} ends it
    'POST /inventory/outage': (/** @type {Record<string, any>} */ b) => {
      if (b.mode === 'off') {
        st().faults.outage = null
        return { ok: true }
      }
      if (!MODES.has(b.mode)) throw new Error('mode is one of fail, hang, lost-reply, slow, off')
      const ms = b.ms === undefined ? Infinity : Number(b.ms)
      if (!(ms > 0)) throw new Error('ms must be a number > 0')
      const errorCode = typeof b.errorCode === 'string' ? b.errorCode : 'storage-busy'
      const refusal = errorCode === '' ? { error: String(b.error ?? 'Сервис инвентаризации недоступен') } : { errorCode, error: String(b.error ?? 'Сервер занят — повторите через несколько секунд') }
      st().faults.outage = {
        mode: b.mode, until: backend.now() + ms, commands: Array.isArray(b.commands) ? texts(b.commands) : null, refusal, ms: Number(b.delayMs) || 0,
      }
      return { ok: true }
    },
    // {codes?, poison?, named?}: scans with `codes` come back rejected; a batch holding a `poison` code is refused whole
    // (errorCode bad-request), naming the scans at fault under `wrong` only when `named`
    'POST /inventory/reject': (/** @type {Record<string, any>} */ b) => {
      const f = st().faults
      f.rejectCodes = texts(b.codes)
      f.poisonCodes = texts(b.poison)
      f.namePoisoned = b.named === true
      return { ok: true }
    },
    // {scanLimit?, photoLimit?, registryQueueLimit?, archiveMaxBytes?, uploadDisabled?, registryConfigured?}
    'POST /inventory/limits': (/** @type {Record<string, any>} */ b) => {
      const f = st().faults
      for (const k of LIMITS) if (typeof b[k] === 'number') f[k] = b[k]
      for (const k of SWITCHES) if (typeof b[k] === 'boolean') f[k] = b[k]
      return { ok: true }
    },
    // {gtin, name, brand?}: the register knows this GTIN from now on; {lookUp: true} answers every queued code now
    'POST /inventory/registry': (/** @type {Record<string, any>} */ b) => {
      const s = st()
      if (typeof b.gtin === 'string' && b.gtin) s.register.set(b.gtin.padStart(14, '0'), { name: String(b.name ?? ''), brand: String(b.brand ?? '') })
      if (b.lookUp === true) for (const x of s.sessions.values()) lookUpRegister(backend, x)
      return { ok: true }
    },
    // {userId, c, p?} (or {userId, codes, sessionId} for a batch of scans): the command as another device of the user's
    // account would send it (new scan uids for the codes); answers its reply
    'POST /inventory/command': (/** @type {Record<string, any>} */ b) => {
      const { token } = backend.openSession(String(b.userId))
      const identity = backend.authenticate(token)
      if ('error' in identity) throw new Error(identity.error)
      const conn = backend.attach(identity, () => {})
      try {
        const [c, p] = Array.isArray(b.codes)
          ? ['inventoryScanAdd', { sessionId: b.sessionId, scans: b.codes.map((/** @type {unknown} */ code) => ({ scanUid: randomUUID(), code: String(code), scannedAt: new Date().toISOString(), source: 'scanner', qty: 1, note: '', cellId: null })) }]
          : [String(b.c), b.p ?? {}]
        if (!c.startsWith('inventory')) throw new Error('only inventory commands')
        return { reply: backend.handle(conn, c, p)[0]?.p ?? null }
      } finally {
        backend.detach(conn)
      }
    },
    // {sessions?: true}: faults back to none; with sessions, every session, scan and photo is forgotten too
    'POST /inventory/reset': (/** @type {Record<string, any>} */ b) => {
      const s = st()
      s.faults = defaultFaults()
      s.register = defaultRegister()
      if (b.sessions === true) {
        for (const m of [s.sessions, s.byUid, s.photos, s.batches, s.files]) m.clear()
        s.deleted.clear()
      }
      return { ok: true }
    },
  }
}
