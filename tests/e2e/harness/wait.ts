/** Polls `probe` until it returns a value other than undefined/false, or the deadline passes. */
export async function waitFor<T>(
  what: string,
  probe: () => T | undefined | false | Promise<T | undefined | false>,
  timeoutMs = 20_000,
  everyMs = 50,
): Promise<T> {
  const deadline = Date.now() + timeoutMs
  for (;;) {
    const value = await probe()
    if (value !== undefined && value !== false) return value as T
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${what}`)
    await new Promise((r) => setTimeout(r, everyMs))
  }
}

export const delay = (ms: number) => new Promise<void>((r) => setTimeout(r, ms))
