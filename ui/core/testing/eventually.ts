/**
 * The one polling wait of the tests: asks `probe` again and again until it
 * answers a value (anything but undefined or false) and resolves that value,
 * or fails naming what it waited for once `timeoutMs` has passed. A slow
 * machine only waits longer; a condition that never comes fails, never hangs.
 */
export async function eventually<T>(
  what: string,
  probe: () => T | undefined | false | Promise<T | undefined | false>,
  timeoutMs = 5_000,
  everyMs = 20,
): Promise<T> {
  const deadline = Date.now() + timeoutMs
  for (;;) {
    const value = await probe()
    if (value !== undefined && value !== false) return value as T
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${what}`)
    await new Promise((r) => setTimeout(r, everyMs))
  }
}
