/**
 * Tokens of the in-memory backend: JWT-shaped (header.claims.signature, each
 * Base64url), with `exp` in seconds. The signature function is passed in: the
 * local service host signs with HMAC-SHA256; demonstration mode, whose tokens
 * never leave the page, uses `demoSigner`.
 */

export type Signer = (data: string) => string

export type TokenKind = 'anon' | 'device' | 'worker'

export interface TokenClaims {
  typ: TokenKind
  /** anonymous visitor id, user id or worker id */
  sub: string
  /** account id (device and worker tokens) */
  acc?: string
  /** session id (device tokens) */
  sid?: string
  iat: number
  exp: number
  /** makes every token unique, even two issued in the same second */
  jti?: string
}

const HEADER = /*#__PURE__*/ base64UrlText(JSON.stringify({ alg: 'HS256', typ: 'JWT' }))

export function base64UrlText(text: string): string {
  const bytes = new TextEncoder().encode(text)
  let binary = ''
  for (const b of bytes) binary += String.fromCharCode(b)
  return btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '')
}

function decodeBase64UrlText(part: string): string | undefined {
  if (!/^[A-Za-z0-9_-]*$/.test(part)) return undefined
  const b64 = part.replace(/-/g, '+').replace(/_/g, '/')
  try {
    const binary = atob(b64 + '='.repeat((4 - (b64.length % 4)) % 4))
    return new TextDecoder('utf-8', { fatal: true }).decode(Uint8Array.from(binary, (c) => c.charCodeAt(0)))
  } catch {
    return undefined
  }
}

export function encodeToken(claims: TokenClaims, sign: Signer): string {
  const body = `${HEADER}.${base64UrlText(JSON.stringify(claims))}`
  return `${body}.${sign(body)}`
}

export type TokenReading = { claims: TokenClaims } | { error: 'malformed' | 'signature' }

/** Checks the shape and the signature; the expiry is the caller's business. */
export function readToken(token: string, sign: Signer): TokenReading {
  const parts = token.split('.')
  if (parts.length !== 3) return { error: 'malformed' }
  const [header, body, signature] = parts as [string, string, string]
  if (sign(`${header}.${body}`) !== signature) return { error: 'signature' }
  const text = decodeBase64UrlText(body)
  if (text === undefined) return { error: 'malformed' }
  try {
    const c = JSON.parse(text) as Partial<TokenClaims>
    const kinds: TokenKind[] = ['anon', 'device', 'worker']
    if (!kinds.includes(c.typ as TokenKind) || typeof c.sub !== 'string' || typeof c.exp !== 'number' || typeof c.iat !== 'number')
      return { error: 'malformed' }
    return { claims: c as TokenClaims }
  } catch {
    return { error: 'malformed' }
  }
}

/** Lower-case hex of `bytes` random bytes. */
export function randomHex(bytes: number): string {
  const buf = new Uint8Array(bytes)
  globalThis.crypto.getRandomValues(buf)
  return Array.from(buf, (b) => b.toString(16).padStart(2, '0')).join('')
}

/** A non-cryptographic signature (two FNV-1a rounds) for tokens that never leave the page. */
export const demoSigner: Signer = (data) => {
  let a = 0x811c9dc5
  let b = 0x01000193
  for (let i = 0; i < data.length; i++) {
    const ch = data.charCodeAt(i)
    a = Math.imul(a ^ ch, 0x01000193) >>> 0
    b = Math.imul(b ^ ch ^ (a & 0xff), 0x01000193) >>> 0
  }
  return base64UrlText(a.toString(16).padStart(8, '0') + b.toString(16).padStart(8, '0'))
}
