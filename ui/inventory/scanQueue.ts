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
  note: string; cellId: number | null; userId: number | null; attempts: number; lastAttemptAt: number
  rejected?: boolean; error?: string
}

/** The wait after `attempts` failed attempts before the next try. */
export const backoffMs = (attempts: number): number => BACKOFF_MS[Math.min(Math.max(0, attempts), BACKOFF_MS.length - 1)]!

export type AddResult = { ok: true; scan: QueuedScan } | { ok: false; error: string }

export function makeScan(
  input: { code: string; qty?: number; source?: string; note?: string; cellId?: number | null },
  ctx: { sessionOpen: boolean; userId: number | null; now: Date; uid: () => string },
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

export const waiting = (queue: readonly QueuedScan[]) => queue.filter((s) => !s.rejected)
const retryDue = (s: QueuedScan, nowMs: number) => s.attempts === 0 || nowMs - s.lastAttemptAt >= backoffMs(s.attempts)

/** Whether a flush should start now. */
export function flushDue(queue: readonly QueuedScan[], st: { nowMs: number; lastFlushAt: number; forced?: boolean }): boolean {
  const w = waiting(queue)
  if (w.length === 0) return false
  if (st.forced) return true
  if (w.length < FLUSH_AT_ONCE && st.nowMs - st.lastFlushAt < MIN_FLUSH_GAP_MS) return false
  return w.some((s) => retryDue(s, st.nowMs))
}

/** The oldest waiting scans, at most one batch. */
export function nextBatch(queue: readonly QueuedScan[], size = BATCH_SIZE): QueuedScan[] {
  return [...waiting(queue)].sort((a, b) => a.scannedAt.localeCompare(b.scannedAt)).slice(0, size)
}

/** What is sent for one scan. */
export const wireScan = (s: QueuedScan) => ({
  scanUid: s.scanUid, code: s.code, scannedAt: s.scannedAt, source: s.source, qty: s.qty, note: s.note, cellId: s.cellId,
})

const rejectedUids = (raw: unknown): Set<string> => {
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
  const bad = rejectedUids(reply.rejected)
  const next: QueuedScan[] = []
  for (const s of queue) {
    if (!sent.has(s.scanUid)) next.push(s)
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

/**
 * The queue after a failed batch. A closed session keeps its undelivered scans (the caller tells the
 * user how many and offers them for export) instead of emptying the queue. A batch refused as a whole
 * with a scan-level code is split so one bad scan cannot hold back the others.
 */
export function applyFailure(queue: readonly QueuedScan[], batch: readonly QueuedScan[], failure: { code?: string; message?: string }, nowMs: number): FailureOutcome {
  const code = failure.code
  if (code === 'session-closed' || code === 'already-closed') return { kind: 'closed', undelivered: waiting(queue).length }
  if (code === 'session-not-found') return { kind: 'dropped' }
  const quiet = code === undefined || QUIET.has(code)
  if (!quiet && batch.length > 1) return { kind: 'split' }
  const sent = new Set(batch.map((s) => s.scanUid))
  return {
    kind: 'retry',
    queue: queue.map((s) => {
      if (!sent.has(s.scanUid)) return s
      const tried = { ...s, attempts: s.attempts + 1, lastAttemptAt: nowMs }
      if (quiet) return tried
      // A single scan refused with a scan-level code is isolated: set aside with its error.
      return { ...tried, rejected: true, error: failure.message ?? 'Сервер не принял скан' }
    }),
  }
}

/** Halves of a batch that failed as a whole. */
export const splitBatch = (batch: readonly QueuedScan[]): [QueuedScan[], QueuedScan[]] => {
  const mid = Math.ceil(batch.length / 2)
  return [batch.slice(0, mid), batch.slice(mid)]
}
