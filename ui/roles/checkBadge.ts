/**
 * The check tile's badge: refreshed every minute and after a remote change of
 * a shipment, at most every two seconds.
 */
export const BADGE_REFRESH_MS = 60_000
export const BADGE_MIN_GAP_MS = 2_000

export function startCheckBadge(refresh: () => void, now: () => number = () => Date.now()) {
  let last = -Infinity
  let pending: ReturnType<typeof setTimeout> | undefined
  function run() {
    pending = undefined
    last = now()
    refresh()
  }
  /** A shipment changed elsewhere: refresh now, or once the two seconds since the last refresh are over. */
  function changed() {
    if (pending) return
    const wait = last + BADGE_MIN_GAP_MS - now()
    if (wait <= 0) run()
    else pending = setTimeout(run, wait)
  }
  run()
  const every = setInterval(run, BADGE_REFRESH_MS)
  return {
    changed,
    stop() {
      clearInterval(every)
      clearTimeout(pending)
    },
  }
}
