/** Random identifiers: a UUID where the platform has one, else 32 hex digits, else "local-<ms>-<hex>". */

export function randomId(now = Date.now()): string {
  const c = globalThis.crypto as Crypto | undefined
  if (typeof c?.randomUUID === 'function') return c.randomUUID()
  if (typeof c?.getRandomValues === 'function') {
    const bytes = c.getRandomValues(new Uint8Array(16))
    return Array.from(bytes, (b) => b.toString(16).padStart(2, '0')).join('')
  }
  return `local-${now}-${Math.floor(Math.random() * 0xffffffff).toString(16)}`
}
