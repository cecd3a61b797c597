/** The device-side scan queue as pure logic: what is due, what goes in a batch, what a reply does. */
import { normaliseQty, normaliseSource, type ScanSource } from './records'

export const FLUSH_TICK_MS = 1000
export const FLUSH_AT_ONCE = 20
export const BATCH_SIZE = 100
export const MIN_FLUSH_GAP_MS = 5000
export const MAX_CODE_LENGTH = 255
const BACKOFF_MS = [0, 1000, 2000, 5000, 15000, 60000]

export interface QueuedScan {
  scanUid: string; code: string; codeNorm: string; source: ScanSource; qty: number; scannedAt: string
  note: string; cellId: number | null; userId: string | null; attempts: number; lastAttemptAt: number
  rejected?: boolean; error?: string
  /**
   * Deleted on the device while the service may hold it (a batch went out and its answer did not come
   * back, or the service's delete went unanswered): kept until the service confirms the delete by
   * `scanUid`, never sent as a scan again.
   */
  deleting?: boolean
}

/** The wait after `attempts` failed attempts before the next try. */
export const backoffMs = (attempts: number): number => BACKOFF_MS[Math.min(Math.max(0, attempts), BACKOFF_MS.length - 1)]!

export type AddResult = { ok: true; scan: QueuedScan } | { ok: false; error: string }

export function makeScan(
  input: { code: string; qty?: number; source?: string; note?: string; cellId?: number | null },
  ctx: { sessionOpen: boolean; userId: string | null; now: Date; uid: () => string },
): AddResult {
  if (!ctx.sessionOpen) return { ok: false, error: 'Инвентаризация закрыта — новые сканы не принимаются' }
  const code = input.code.trim()
  if (code === '') return { ok: false, error: 'Код не может быть пустым' }
  if (code.length > MAX_CODE_LENGTH) return { ok: false, error: 'Код длиннее 255 символов' }
  return {
    ok: true,
    scan: {
      scanUid: ctx.uid(), code, codeNorm: code, source: normaliseSource(input.source), qty: normaliseQty(input.qty),
      scannedAt: ctx.now.toISOString(), note: (input.note ?? '').trim(), cellId: input.cellId ?? null,
      userId: ctx.userId, attempts: 0, lastAttemptAt: 0,
    },
  }
}

export const waiting = (queue: readonly QueuedScan[]) => queue.filter((s) => !s.rejected && !s.deleting)
const retryDue = (s: QueuedScan, nowMs: number) => s.attempts === 0 || nowMs - s.lastAttemptAt >= backoffMs(s.attempts)

/** Whether a flush should start now. */
export function flushDue(queue: readonly QueuedScan[], st: { nowMs: number; lastFlushAt: number; forced?: boolean }): boolean {
  const w = waiting(queue)
  if (w.length === 0) return false
  if (st.forced) return true
  if (w.length < FLUSH_AT_ONCE && st.nowMs - st.lastFlushAt < MIN_FLUSH_GAP_MS) return false
  return w.some((s) => retryDue(s, st.nowMs))
}

/** The deletes to send now: all when forced, else those whose retry time has come. */
export const deletesDue = (queue: readonly QueuedScan[], nowMs: number, forced = false): QueuedScan[] =>
  queue.filter((s) => s.deleting && (forced || retryDue(s, nowMs)))

/**
 * The queue after the user deleted the unit `scanUid`. A scan that never left the device goes at once
 * ('gone'); one whose fate is unknown (it was sent, or is being sent, or the service holds it) stays
 * as a delete to send ('deleting'), from `held` when the queue no longer has it.
 */
export function deleteUnit(
  queue: readonly QueuedScan[], scanUid: string, o: { sending: boolean; held: QueuedScan | null },
): { queue: QueuedScan[]; outcome: 'gone' | 'deleting' | 'none' } {
  const q = queue.find((s) => s.scanUid === scanUid)
  const rest = queue.filter((s) => s.scanUid !== scanUid)
  if (q?.deleting) return { queue: [...queue], outcome: 'deleting' }
  if (q && !o.held && !o.sending && q.attempts === 0) return { queue: rest, outcome: 'gone' }
  const base = q ?? o.held
  if (!base) return { queue: [...queue], outcome: 'none' }
  const { rejected: _r, error: _e, ...clean } = base
  return { queue: [...rest, { ...clean, deleting: true, attempts: 0, lastAttemptAt: 0 }], outcome: 'deleting' }
}

/** The oldest waiting scans, at most one batch. */
export function nextBatch(queue: readonly QueuedScan[], size = BATCH_SIZE): QueuedScan[] {
  return [...waiting(queue)].sort((a, b) => a.scannedAt.localeCompare(b.scannedAt)).slice(0, size)
}

/** What is sent for one scan. */
export const wireScan = (s: QueuedScan) => ({
  scanUid: s.scanUid, code: s.code, scannedAt: s.scannedAt, source: s.source, qty: s.qty, note: s.note, cellId: s.cellId,
})

/** The scan uids of a reply's list: uids, or records with `scanUid` or `scan_uid`. */
export const replyUids = (raw: unknown): Set<string> => {
  const out = new Set<string>()
  for (const r of Array.isArray(raw) ? raw : []) {
    if (typeof r === 'string') out.add(r)
    else if (r && typeof r === 'object') {
      const o = r as Record<string, unknown>
      const uid = o.scanUid ?? o.scan_uid
      if (typeof uid === 'string') out.add(uid)
    }
  }
  return out
}

/** The queue after an accepted reply: rejected scans stay marked, the rest of the batch leaves. */
export function applyReply(queue: readonly QueuedScan[], batch: readonly QueuedScan[], reply: { rejected?: unknown }) {
  const sent = new Set(batch.map((s) => s.scanUid))
  const bad = replyUids(reply.rejected)
  const next: QueuedScan[] = []
  for (const s of queue) {
    // A unit deleted while its batch was on the way keeps its delete.
    if (!sent.has(s.scanUid) || s.deleting) next.push(s)
    else if (bad.has(s.scanUid)) next.push({ ...s, rejected: true, error: 'Сервер не принял скан' })
  }
  const rejectedCount = [...bad].filter((u) => sent.has(u)).length
  return {
    queue: next,
    accepted: batch.length - rejectedCount,
    note: rejectedCount > 0 ? `Не удалось сохранить сканов: ${rejectedCount}. Проверьте код и добавьте заново` : null,
  }
}

const QUIET = new Set(['storage-busy', 'internal'])
export type FailureOutcome =
  | { kind: 'closed'; undelivered: number }
  | { kind: 'dropped' }
  | { kind: 'retry'; queue: QueuedScan[] }
  | { kind: 'split' }

export interface BatchFailure {
  code?: string
  message?: string
  /** the scans the service names as the cause: scan uids, codes, or records with `scanUid`/`scan_uid`/`code` */
  wrong?: readonly unknown[]
}

/** The scans of `batch` a failure names, by uid or by code. */
function namedAtFault(batch: readonly QueuedScan[], wrong: readonly unknown[] | undefined): Set<string> {
  const uids = new Set<string>()
  const codes = new Set<string>()
  for (const w of wrong ?? []) {
    if (typeof w === 'string') {
      uids.add(w)
      codes.add(w.trim())
    } else if (w && typeof w === 'object') {
      const o = w as Record<string, unknown>
      const uid = o.scanUid ?? o.scan_uid
      if (typeof uid === 'string') uids.add(uid)
      else if (typeof o.code === 'string') codes.add(o.code.trim())
    }
  }
  return new Set(batch.filter((s) => uids.has(s.scanUid) || codes.has(s.code)).map((s) => s.scanUid))
}

/**
 * The queue after a failed batch. A closed session keeps its undelivered scans (the caller tells the
 * user how many and offers them for export) instead of emptying the queue. A batch refused as a whole
 * with a scan-level code cannot hold back the others: when the failure names the scans at fault, exactly
 * those are set aside with its text and the rest wait for the next flush untouched; otherwise the batch
 * is split (see `splitBatch`) until the bad scan is alone.
 */
export function applyFailure(queue: readonly QueuedScan[], batch: readonly QueuedScan[], failure: BatchFailure, nowMs: number): FailureOutcome {
  const code = failure.code
  if (code === 'session-closed' || code === 'already-closed') return { kind: 'closed', undelivered: waiting(queue).length }
  if (code === 'session-not-found') return { kind: 'dropped' }
  const quiet = code === undefined || QUIET.has(code)
  const error = failure.message ?? 'Сервер не принял скан'
  const setAside = (s: QueuedScan): QueuedScan => ({ ...s, attempts: s.attempts + 1, lastAttemptAt: nowMs, rejected: true, error })
  if (!quiet && batch.length > 1) {
    const named = namedAtFault(batch, failure.wrong)
    if (named.size === 0) return { kind: 'split' }
    return { kind: 'retry', queue: queue.map((s) => (named.has(s.scanUid) && !s.deleting ? setAside(s) : s)) }
  }
  const sent = new Set(batch.map((s) => s.scanUid))
  return {
    kind: 'retry',
    queue: queue.map((s) => {
      if (!sent.has(s.scanUid) || s.deleting) return s
      // A single scan refused with a scan-level code is isolated: set aside with its error.
      return quiet ? { ...s, attempts: s.attempts + 1, lastAttemptAt: nowMs } : setAside(s)
    }),
  }
}

/** Halves of a batch that failed as a whole and did not say which scan was at fault. */
export const splitBatch = (batch: readonly QueuedScan[]): [QueuedScan[], QueuedScan[]] => {
  const mid = Math.ceil(batch.length / 2)
  return [batch.slice(0, mid), batch.slice(mid)]
}
