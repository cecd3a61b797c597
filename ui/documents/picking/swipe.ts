/** Card navigation by a horizontal swipe: at least 40 px, longer than the vertical move. */

export const SWIPE_MIN_PX = 40

/** "next" for a swipe to the left, "previous" to the right, null for anything else. */
export function swipeDirection(dx: number, dy: number): 'next' | 'previous' | null {
  if (Math.abs(dx) < SWIPE_MIN_PX || Math.abs(dx) <= Math.abs(dy)) return null
  return dx < 0 ? 'next' : 'previous'
}
