import { beforeEach, describe, expect, it } from 'vitest'
import { normaliseAccountDescription } from './accountDescription'
import { keepAccount, KEPT_MAX, keptAccountFor, keptAccountsReady, keptAccountUids, retokenKeptAccount, useKeptAccountsFile } from './keptAccount'
import { removeLocal } from './localStore'
import type { CopyFile } from './durableCopy'

const who = (uid: string, fullName = 'Олег Орлов') => normaliseAccountDescription({ uid, userId: 'u-1', fullName, features: { inventory: true } })

/** A host file kept in memory. */
function memoryFile(): { data: Map<string, unknown>; open: () => Promise<CopyFile> } {
  const data = new Map<string, unknown>()
  return {
    data,
    open: async () => ({
      get: async <T,>(k: string) => (data.has(k) ? (structuredClone(data.get(k)) as T) : undefined),
      set: async (k: string, v: unknown) => void data.set(k, structuredClone(v)),
      save: async () => {},
    }),
  }
}

describe('the account kept on the device', () => {
  beforeEach(() => {
    removeLocal('zv_kept_accounts')
    useKeptAccountsFile(null)
  })

  it('is found by the token it was confirmed for, and carried to a renewed token', async () => {
    await keepAccount('t1', who('acc-1'))
    await keepAccount('t2', who('acc-2', 'Анна'))
    expect(keptAccountFor('t1')?.uid).toBe('acc-1')
    expect(keptAccountFor('t2')?.fullName).toBe('Анна')
    expect([keptAccountFor('t3'), keptAccountFor(''), keptAccountFor(null)]).toEqual([null, null, null])
    await retokenKeptAccount('t1', 't1b')
    expect([keptAccountFor('t1'), keptAccountFor('t1b')?.uid]).toEqual([null, 'acc-1'])
    expect(keptAccountUids().sort()).toEqual(['acc-1', 'acc-2'])
  })

  it('keeps nothing without an account id, and at most the newest few tokens', async () => {
    expect(await keepAccount('t0', who(''))).toBe(false)
    expect(keptAccountFor('t0')).toBeNull()
    for (let i = 0; i <= KEPT_MAX; i++) await keepAccount(`t${i}`, who('acc-1'))
    expect(keptAccountFor('t0')).toBeNull()
    expect(keptAccountFor(`t${KEPT_MAX}`)?.uid).toBe('acc-1')
  })

  it('is written through to the host file, which brings it back when local storage lost it', async () => {
    const file = memoryFile()
    useKeptAccountsFile(file.open)
    expect(await keepAccount('t1', who('acc-1'))).toBe(true)
    expect(file.data.get('accounts')).toHaveLength(1)
    removeLocal('zv_kept_accounts')
    useKeptAccountsFile(file.open)
    await keptAccountsReady()
    expect(keptAccountFor('t1')?.uid).toBe('acc-1')
  })
})
