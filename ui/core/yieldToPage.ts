/**
 * Lets the page take its queued input and paint before long work goes on.
 * A message-channel task is not clamped the way nested timers are (4 ms after
 * a few levels), so a loop that yields often does not slow down by much.
 */
let channel: MessageChannel | null = null
const waiting: Array<() => void> = []

export function yieldToPage(): Promise<void> {
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
