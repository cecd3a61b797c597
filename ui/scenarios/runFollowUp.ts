/** Whether a sent completion started a scenario worth following, and the run's channel ends. */
import type { CompletionOutcome } from '../core/completionPages'
import type { TrackingDeps } from './runTracking'
import { scenariosChannel } from './scenariosChannel'

export const STATUS_TIMEOUT_MS = 10_000

export interface QueuedRun {
  /** empty when the server named no run: there is nothing to follow */
  runId: string
  queued: number
}

/** The run a completion answer queued actions for; null when nothing was queued (the screen returns to the list). */
export function queuedRun(outcome: CompletionOutcome): QueuedRun | null {
  const s = outcome.scenario
  const queued = typeof s?.queued === 'number' && Number.isFinite(s.queued) ? s.queued : 0
  if (!s || queued <= 0) return null
  const own = typeof s.runId === 'string' ? s.runId : typeof s.runId === 'number' ? String(s.runId) : ''
  return { runId: own || outcome.runId || '', queued }
}

/** The tracking's requests over the current scenarios channel. */
export function channelTrackingDeps(): TrackingDeps {
  const ch = scenariosChannel()
  return {
    listen: (handler) => ch.onPush('scenarioRun.push', handler),
    status: (documentId) => ch.command('scenarioRunStatus', { documentId }, STATUS_TIMEOUT_MS),
    retry: (runId) => ch.command('scenarioRetry', { runId }),
    later: (fn, ms) => {
      const t = setTimeout(fn, ms)
      return () => clearTimeout(t)
    },
    log: (line) => console.warn(line),
  }
}
