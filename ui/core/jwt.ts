/**
 * Reading the tokens of the service host: three dot-separated parts whose
 * middle part is Base64 (or Base64url) JSON with `exp` in seconds. The client
 * never verifies a signature; it only reads the expiry.
 */

/** Decodes Base64 or Base64url text to a UTF-8 string; undefined when it is not Base64. */
export function decodeBase64Text(text: string): string | undefined {
  const b64 = text.replace(/-/g, '+').replace(/_/g, '/')
  if (!/^[A-Za-z0-9+/]*={0,2}$/.test(b64)) return undefined
  const padded = b64 + '='.repeat((4 - (b64.length % 4)) % 4)
  try {
    const binary = atob(padded)
    const bytes = Uint8Array.from(binary, (ch) => ch.charCodeAt(0))
    return new TextDecoder('utf-8', { fatal: true }).decode(bytes)
  } catch {
    return undefined
  }
}

/** The JSON object in the middle part, or undefined when there is none. */
export function tokenClaims(token: string): Record<string, unknown> | undefined {
  const middle = token.split('.')[1]
  if (middle === undefined || middle === '') return undefined
  const text = decodeBase64Text(middle)
  if (text === undefined) return undefined
  try {
    const value: unknown = JSON.parse(text)
    return typeof value === 'object' && value !== null && !Array.isArray(value) ? (value as Record<string, unknown>) : undefined
  } catch {
    return undefined
  }
}

/** `exp` × 1000, or undefined for a token that cannot be read or has no numeric `exp`. */
export function tokenExpiresAt(token: string): number | undefined {
  const exp = tokenClaims(token)?.exp
  return typeof exp === 'number' && Number.isFinite(exp) ? exp * 1000 : undefined
}

/** Expired when now ≥ exp × 1000; a token that cannot be read counts as expired. */
export function isTokenExpired(token: string, now = Date.now()): boolean {
  const at = tokenExpiresAt(token)
  return at === undefined || now >= at
}

/** Only a token of exactly three dot-separated parts is worth caching. */
export function isCacheableToken(token: string): boolean {
  return token.split('.').length === 3
}
