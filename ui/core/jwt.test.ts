import { describe, expect, it } from 'vitest'
import { decodeBase64Text, isCacheableToken, isTokenExpired, tokenExpiresAt } from './jwt'

const b64url = (v: unknown) => btoa(unescape(encodeURIComponent(JSON.stringify(v)))).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '')
const token = (claims: unknown) => `h.${b64url(claims)}.s`

describe('token expiry', () => {
  it.each([
    { name: 'future exp', t: token({ exp: 2_000 }), now: 1_999_999, expired: false, at: 2_000_000 },
    { name: 'exp reached', t: token({ exp: 2_000 }), now: 2_000_000, expired: true, at: 2_000_000 },
    { name: 'Cyrillic claims, base64url', t: token({ exp: 2_000, name: 'Пётр ~~~???' }), now: 0, expired: false, at: 2_000_000 },
    { name: 'no exp', t: token({ sub: 'x' }), now: 0, expired: true, at: undefined },
    { name: 'exp as text', t: token({ exp: '2000' }), now: 0, expired: true, at: undefined },
    { name: 'middle not base64', t: 'h.@@@.s', now: 0, expired: true, at: undefined },
    { name: 'middle not JSON', t: `h.${btoa('not json')}.s`, now: 0, expired: true, at: undefined },
    { name: 'one part', t: 'opaque', now: 0, expired: true, at: undefined },
  ])('$name', ({ t, now, expired, at }) => {
    expect(isTokenExpired(t, now)).toBe(expired)
    expect(tokenExpiresAt(t)).toBe(at)
  })

  it('caches only tokens of exactly three parts', () => {
    expect(['a.b.c', 'a.b', 'a.b.c.d', 'abc'].map(isCacheableToken)).toEqual([true, false, false, false])
  })

  it('decodes padded and unpadded Base64 and refuses broken UTF-8', () => {
    expect(decodeBase64Text('eyJhIjoxfQ')).toBe('{"a":1}')
    expect(decodeBase64Text('eyJhIjoxfQ==')).toBe('{"a":1}')
    expect(decodeBase64Text(btoa('\xff\xfe'))).toBeUndefined()
  })
})
