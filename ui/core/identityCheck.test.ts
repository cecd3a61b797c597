import { describe, expect, it } from 'vitest'
import { identityDecision, REFUSED_PATTERN, type IdentityFacts } from './identityCheck'

const base: IdentityFacts = { connected: true, login: 'device', failures: 2, hasRefreshToken: true, refreshTried: false }

describe('identityDecision (first matching row wins)', () => {
  it.each([
    [{ connected: false, login: 'anon' }, 'wait'],
    [{ login: 'anon', failures: 5 }, 'nothing'],
    [{ failures: 1 }, 'retry'],
    [{ failures: 1, refreshTried: true }, 'retry'],
    [{}, 'refresh'],
    [{ login: 'account' }, 'refresh'],
    [{ refreshTried: true }, 'banner'],
    [{ hasRefreshToken: false }, 'banner'],
  ] as const)('%j → %s', (patch, action) => {
    expect(identityDecision({ ...base, ...patch })).toBe(action)
  })

  it('recognises the answers that mean the server does not know the device', () => {
    expect(['session not found', 'Session  Not   Authorized', 'session expired', 'no session found'].map((t) => REFUSED_PATTERN.test(t))).toEqual([
      true,
      true,
      false,
      false,
    ])
  })
})
