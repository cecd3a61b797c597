import { describe, expect, it } from 'vitest'
import type { Payload } from '../core/envelope'
import { createBackend, type MemoryBackend } from './backend'
import { demoSigner } from './tokens'

function signedIn(b: MemoryBackend, userId: string) {
  const identity = b.authenticate(b.openSession(userId).token)
  if ('error' in identity) throw new Error(identity.error)
  const conn = b.attach(identity, () => {})
  return (c: string, p: Payload = {}) => b.handle(conn, c, p).map((r) => r.p)[0]
}

describe('account-wide settings of the in-memory backend', () => {
  it('answers each account its own block and keeps what an administrator saves', () => {
    const b = createBackend({ sign: demoSigner })
    const anna = signedIn(b, 'u-anna')
    const oleg = signedIn(b, 'u-oleg')
    expect(anna('appSettingsGet')).toEqual({ settings: { cellsDefaultSort: 'asc', cellsStockDisplay: 'both', keepScreenOn: true } })
    expect(oleg('appSettingsGet')).toEqual({ settings: { cellsDefaultSort: 'desc', cellsStockDisplay: 'cell', keepScreenOn: false } })
    const saved = { cellsStockDisplay: 'warehouse', demand: { active: true } }
    expect(oleg('appSettingsSave', { settings: saved })).toEqual({ settings: saved })
    expect(signedIn(b, 'u-oleg')('appSettingsGet')).toEqual({ settings: saved })
    expect(anna('appSettingsGet')).toMatchObject({ settings: { cellsStockDisplay: 'both' } })
  })

  it.each<[string, string, Payload, string]>([
    ['an employee who is no administrator', 'u-igor', { settings: {} }, 'forbidden'],
    ['a block that is no object', 'u-anna', { settings: [1] }, 'invalid'],
  ])('refuses a save by %s', (_what, userId, p, code) => {
    const b = createBackend({ sign: demoSigner })
    expect(signedIn(b, userId)('appSettingsSave', p)).toMatchObject({ errorCode: code })
  })
})
