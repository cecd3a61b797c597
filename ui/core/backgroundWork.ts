/**
 * Long background work (a catalogue synchronisation) runs in slices and lets
 * the page go between them with `yieldToPage`. Scanner input holds the next
 * slice back for a moment (`holdBackgroundWork`), so a code's keys, its check
 * and its painted answer find the page free; a hold is bounded, so constant
 * scanning slows background work down but never stops it.
 */

/** The longest one yield waits out holds. */
export const HOLD_CAP_MS = 100

let heldUntil = 0
let channel: MessageChannel | null = null
const waiting: Array<() => void> = []

/** Keeps background slices from starting for the next `ms` milliseconds (holds only ever extend). */
export function holdBackgroundWork(ms: number, now = Date.now()): void {
  heldUntil = Math.max(heldUntil, now + ms)
}

/** How long a yield at `now` still waits for a hold, at most `HOLD_CAP_MS` from `since`. */
export function holdLeft(now: number, since: number): number {
  return Math.max(0, Math.min(heldUntil, since + HOLD_CAP_MS) - now)
}

// A message-channel task is not clamped the way nested timers are (4 ms after a few levels).
function nextTask(): Promise<void> {
  if (typeof MessageChannel === 'undefined') return new Promise((r) => setTimeout(r, 0))
  if (!channel) {
    channel = new MessageChannel()
    channel.port1.onmessage = () => waiting.shift()?.()
    // Node keeps the process alive while a port is open; the page does not care.
    ;(channel.port1 as { unref?: () => void }).unref?.()
  }
  return new Promise((r) => {
    waiting.push(r)
    channel!.port2.postMessage(null)
  })
}

/** Lets the page take its queued input and paint, and waits out a scanner's hold. */
export async function yieldToPage(): Promise<void> {
  const since = Date.now()
  await nextTask()
  for (let left = holdLeft(Date.now(), since); left > 0; left = holdLeft(Date.now(), since)) {
    await new Promise((r) => setTimeout(r, left))
  }
}
