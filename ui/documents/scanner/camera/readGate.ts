/**
 * What the camera does after it has read a code: every read is ignored for a
 * while (1 800 ms, 600 ms when it stays open for a series of scans), and in
 * the compact and stay-open modes the same code is ignored for 3 000 ms, so a
 * code held in front of the lens counts once.
 */

export const PAUSE_AFTER_READ_MS = 1800
export const PAUSE_AFTER_READ_STAY_OPEN_MS = 600
export const SAME_CODE_PAUSE_MS = 3000

export interface ReadGate {
  /** True when a code read now should be delivered (and then counts as the last read). */
  pass(code: string): boolean
}

export function createReadGate(mode: { stayOpen: boolean; compact: boolean }, now: () => number = () => Date.now()): ReadGate {
  const pause = mode.stayOpen ? PAUSE_AFTER_READ_STAY_OPEN_MS : PAUSE_AFTER_READ_MS
  const samePause = mode.stayOpen || mode.compact ? SAME_CODE_PAUSE_MS : 0
  let last: { code: string; at: number } | undefined
  return {
    pass(code) {
      const at = now()
      if (last) {
        const since = at - last.at
        if (since < pause) return false
        if (code === last.code && since < samePause) return false
      }
      last = { code, at }
      return true
    },
  }
}
