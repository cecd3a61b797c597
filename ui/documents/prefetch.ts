/**
 * Contents prefetch: after the first list page, the contents of the first
 * three open documents are fetched quietly into the device cache (when the
 * cached copy is missing or older than an hour), one after another, once the
 * page is idle. Opening a document or losing the channel stops it.
 */
import { useSocketStore } from '../core/socketStore'
import { readCachedContents } from './dataCache'
import { fetchDocumentProducts } from './documentRequests'
import { prefetchGeneration } from './prefetchSignal'
import type { DocumentRecord } from './records'

export const PREFETCH_COUNT = 3
export const PREFETCH_FRESH_MS = 60 * 60 * 1000

export const prefetchTiming = {
  /** pause between two documents */
  pauseMs: 3_000,
  /** the idle callback's time-out */
  idleTimeoutMs: 3_000,
  /** the wait where there is no idle callback */
  noIdleDelayMs: 1_500,
}

/** The documents worth fetching: of the first three not completed, those without a fresh cached copy. */
export function prefetchCandidates(page: DocumentRecord[], now = Date.now()): DocumentRecord[] {
  return page
    .filter((d) => d.status !== 'completed')
    .slice(0, PREFETCH_COUNT)
    .filter((d) => {
      const cached = readCachedContents(d.id, now)
      return !cached || now - cached.cachedAt > PREFETCH_FRESH_MS
    })
}

function whenIdle(): Promise<void> {
  return new Promise((resolve) => {
    const ric = (globalThis as { requestIdleCallback?: (cb: () => void, opts: { timeout: number }) => number }).requestIdleCallback
    if (typeof ric === 'function') ric(() => resolve(), { timeout: prefetchTiming.idleTimeoutMs })
    else setTimeout(resolve, prefetchTiming.noIdleDelayMs)
  })
}

const pause = (ms: number) => new Promise<void>((r) => setTimeout(r, ms))

/** Runs the prefetch for a first page; resolves with how many contents were fetched. */
export async function prefetchContents(page: DocumentRecord[]): Promise<number> {
  const generation = prefetchGeneration()
  const candidates = prefetchCandidates(page)
  if (candidates.length === 0) return 0
  const socket = useSocketStore()
  const stopped = () => generation !== prefetchGeneration() || !socket.isConnected
  await whenIdle()
  let done = 0
  for (const [i, doc] of candidates.entries()) {
    if (i > 0) await pause(prefetchTiming.pauseMs)
    if (stopped()) break
    try {
      await fetchDocumentProducts(doc.id, doc.type, { silent: true })
      done += 1
    } catch {
      // a quiet fetch: the document opens later with a fresh request anyway
    }
  }
  console.info(`[prefetch] докачано составов: ${done} из ${candidates.length}`)
  return done
}
