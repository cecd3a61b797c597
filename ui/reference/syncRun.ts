/**
 * One synchronisation run of the reference copy: pages of `assortmentSync`
 * until the server has no more, each page written in one transaction and put
 * into the index; "too-soon" answers wait and ask the same page again. A page
 * is handled in slices with the page let go in between, so scans are answered
 * and painted while a large catalogue comes in. A
 * failure keeps what the copy held; the cursor and the sync times are saved
 * only when the run reached the end.
 */
import { isTimeout } from '../core/requests'
import type { Payload } from '../core/envelope'
import type { AssortmentMeta } from './assortmentDb'
import type { LookupIndex } from './lookupIndex'
import { isFullRun, MAX_PAGES, nextSince, PAGE_LIMIT, pageStep, SYNC_TEXTS } from './syncPlan'
import { normaliseItems, normaliseSyncHead, rawItems, type AssortmentItem } from './syncAnswer'

/** Products handled between two breaths: about a few milliseconds of work on a slow machine. */
export const SLICE = 250

/** The database side a run needs. */
export interface RunStore {
  writePage(items: readonly AssortmentItem[], deleted: readonly string[]): Promise<void>
  staleIds(syncedAt: number): Promise<string[]>
  deleteIds(ids: readonly string[]): Promise<void>
  writeMeta(patch: Partial<AssortmentMeta>): Promise<void>
}

export interface RunDeps {
  /** `assortmentSync` with this payload: the answer, or a rejection (time-out, no channel) */
  ask(payload: Payload): Promise<Payload>
  store: RunStore
  index: LookupIndex
  /** the stored meta; the run updates it in place once it is saved */
  meta: AssortmentMeta
  wait(ms: number): Promise<void>
  /** lets the page handle input and paint before the next slice of work */
  breathe(): Promise<void>
  now(): number
  /** false once the copy was cleared or switched to another account: the run stops writing */
  current(): boolean
  onWaiting(seconds: number | null): void
  /** a write failure's text */
  writeError(err: unknown): string
  warn(line: string): void
}

export type RunResult =
  | { kind: 'done'; full: boolean; pages: number; capped: boolean }
  | { kind: 'failed'; error: string }
  /** the copy was cleared or taken over by another account while the run went on */
  | { kind: 'dropped' }

export async function runSync(d: RunDeps, askedFull: boolean): Promise<RunResult> {
  const started = d.now()
  const full = isFullRun({ full: askedFull, count: d.index.count, lastFullSyncAt: d.meta.lastFullSyncAt, since: d.meta.since, now: started })
  let since = full ? null : d.meta.since
  let cursor: string | undefined
  let pages = 0
  let tooSoonInRow = 0
  const askPage = (at: string | undefined) => {
    const payload: Payload = { limit: PAGE_LIMIT }
    if (!full && d.meta.since) payload.since = d.meta.since
    if (at) payload.cursor = at
    return d.ask(payload)
  }
  // A page is written and indexed while the next one is fetched and normalised; writes stay in page order.
  let writing: Promise<RunResult | null> = Promise.resolve(null)
  const written = async (): Promise<RunResult | null> => {
    const r = await writing
    writing = Promise.resolve(null)
    return r
  }
  // A page that failed to write, or a clear during its write, ends the run before anything later.
  const end = async (r: RunResult): Promise<RunResult> => (await written()) ?? r
  const writeAndIndex = async (items: AssortmentItem[], deleted: string[]): Promise<RunResult | null> => {
    try {
      await d.store.writePage(items, deleted)
    } catch (err) {
      return { kind: 'failed', error: d.writeError(err) }
    }
    if (!d.current()) return { kind: 'dropped' }
    for (let at = 0; at < items.length; at += SLICE) {
      await d.breathe()
      d.index.put(items.slice(at, at + SLICE))
    }
    d.index.remove(deleted)
    return null
  }
  // The next page is asked for while this one is handled: the wait for the server and the work overlap.
  let ahead: Promise<Payload> | null = null
  for (;;) {
    if (pages >= MAX_PAGES) break
    let raw: Payload
    try {
      raw = await (ahead ?? askPage(cursor))
    } catch (err) {
      if (!d.current()) return end({ kind: 'dropped' })
      return end({ kind: 'failed', error: isTimeout(err) || !(err instanceof Error) || !err.message ? SYNC_TEXTS.noAnswer : err.message })
    } finally {
      ahead = null
    }
    if (!d.current()) return end({ kind: 'dropped' })
    const answer = normaliseSyncHead(raw)
    tooSoonInRow = answer.errorCode === 'too-soon' ? tooSoonInRow + 1 : 0
    const step = pageStep(answer, tooSoonInRow)
    if (step.kind === 'fail') return end({ kind: 'failed', error: step.error })
    if (step.kind === 'wait') {
      d.onWaiting(step.seconds)
      await d.wait(step.seconds * 1000)
      d.onWaiting(null)
      if (!d.current()) return end({ kind: 'dropped' })
      continue
    }
    if (step.kind === 'next' && pages + 1 < MAX_PAGES) {
      ahead = askPage(step.cursor)
      // Left unread when this page fails or the run is dropped.
      ahead.catch(() => {})
    }
    const items: AssortmentItem[] = []
    const raws = rawItems(raw)
    for (let at = 0; at < raws.length; at += SLICE) {
      normaliseItems(raws.slice(at, at + SLICE), started, items)
      await d.breathe()
    }
    const before = await written()
    if (before) return before
    if (!d.current()) return { kind: 'dropped' }
    writing = writeAndIndex(items, answer.deleted)
    since = nextSince(answer, since)
    pages += 1
    if (step.kind === 'last') return (await written()) ?? finish(d, { full, started, since, pages, capped: false })
    cursor = step.cursor
  }
  d.warn(`[справочник] подкачка остановлена после ${MAX_PAGES} страниц, сервер еще присылает страницы`)
  return (await written()) ?? finish(d, { full, started, since, pages, capped: true })
}

async function finish(
  d: RunDeps,
  r: { full: boolean; started: number; since: string | null; pages: number; capped: boolean },
): Promise<RunResult> {
  try {
    // Products no page of a complete full run mentioned are gone from the account.
    if (r.full && !r.capped) {
      const stale = await d.store.staleIds(r.started)
      if (!d.current()) return { kind: 'dropped' }
      await d.store.deleteIds(stale)
      d.index.remove(stale)
    }
    if (!d.current()) return { kind: 'dropped' }
    // A run cut short by the page cap keeps the old cursor: moving it on would skip the changes not yet fetched.
    const patch: Partial<AssortmentMeta> = { lastSyncAt: d.now() }
    if (!r.capped) patch.since = r.since
    if (r.full && !r.capped) patch.lastFullSyncAt = patch.lastSyncAt
    await d.store.writeMeta(patch)
    Object.assign(d.meta, patch)
  } catch (err) {
    return { kind: 'failed', error: d.writeError(err) }
  }
  return { kind: 'done', full: r.full, pages: r.pages, capped: r.capped }
}
