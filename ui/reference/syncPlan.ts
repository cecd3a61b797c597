/**
 * The decisions of a synchronisation run, as pure functions: full or
 * incremental, what to do with one page's answer, and where the incremental
 * cursor moves after a page.
 */
import type { AssortmentRecord, SyncAnswer } from './syncAnswer'

export const PAGE_LIMIT = 1000
export const MAX_PAGES = 300
export const MAX_TOO_SOON = 6
export const DEFAULT_RETRY_SEC = 60
export const FULL_RUN_EVERY_MS = 7 * 24 * 60 * 60 * 1000

export const SYNC_TEXTS = {
  tooSoon: 'МойСклад не успевает отвечать — попробуйте позже',
  noAnswer: 'справочник не ответил',
} as const

export interface RunFacts {
  /** the caller asked for a full run */
  full: boolean
  count: number
  lastFullSyncAt: number | null
  since: string | null
  now: number
}

/** A full run when asked for, on an empty copy, without a recorded full run, or a week after the last one. */
export function isFullRun(f: RunFacts): boolean {
  return f.full || f.count === 0 || f.lastFullSyncAt === null || f.now - f.lastFullSyncAt >= FULL_RUN_EVERY_MS || !f.since
}

export type PageStep =
  | { kind: 'wait'; seconds: number }
  | { kind: 'fail'; error: string }
  | { kind: 'next'; cursor: string }
  | { kind: 'last' }

/** What one answer means; `tooSoonInRow` counts this answer when it is "too-soon". The first matching row wins. */
export function pageStep(a: SyncAnswer, tooSoonInRow: number): PageStep {
  if (a.errorCode === 'too-soon') {
    if (tooSoonInRow >= MAX_TOO_SOON) return { kind: 'fail', error: SYNC_TEXTS.tooSoon }
    const sec = a.retryAfterSec !== undefined && a.retryAfterSec > 0 ? a.retryAfterSec : DEFAULT_RETRY_SEC
    return { kind: 'wait', seconds: sec }
  }
  if (a.error !== undefined || a.errorCode !== undefined) return { kind: 'fail', error: a.message || a.error || SYNC_TEXTS.noAnswer }
  if (a.cursor) return { kind: 'next', cursor: a.cursor }
  return { kind: 'last' }
}

/** The incremental cursor after a page: the server's time, else the page's latest change, else unchanged. */
export function nextSince(a: { serverTime?: string; items: readonly AssortmentRecord[] }, since: string | null): string | null {
  if (a.serverTime) return a.serverTime
  let latest = ''
  for (const item of a.items) if (item.updatedAt > latest) latest = item.updatedAt
  return latest || since
}
