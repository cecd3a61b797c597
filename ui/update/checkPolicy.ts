/** When an update check runs: the reasons, their throttles and the phases that rule a check out. */

export type CheckReason = 'screen' | 'focus' | 'timer' | 'manual'
export type UpdatePhase = 'idle' | 'downloading' | 'ready' | 'error'

/** Measured from the start of the previous check; a manual check is never throttled. */
export const CHECK_THROTTLE_MS: Readonly<Record<CheckReason, number>> = {
  screen: 60_000,
  focus: 300_000,
  timer: 1_800_000,
  manual: 0,
}

export interface CheckGate {
  phase: UpdatePhase
  busy: boolean
  /** start of the previous check (ms), or null before the first */
  lastStartedAt: number | null
}

/**
 * "skip", "join" (a check is running: wait for it) or "run". No check runs
 * while a download runs or while an update is ready, however it got ready: a
 * check then would offer the same update again and install it twice.
 */
export function checkDecision(reason: CheckReason, gate: CheckGate, now: number): 'skip' | 'join' | 'run' {
  if (gate.phase === 'downloading' || gate.phase === 'ready') return 'skip'
  if (gate.busy) return 'join'
  if (gate.lastStartedAt !== null && now - gate.lastStartedAt < CHECK_THROTTLE_MS[reason]) return 'skip'
  return 'run'
}
