import { describe, expect, it } from 'vitest'
import { normaliseAccountDescription } from '../core/accountDescription'
import { applyRoleAnswer, hasPermission, roleChipLabel, rolePrompt, roleStateFrom, type RoleState } from './roleState'

const describeAs = (o: Record<string, unknown>) => roleStateFrom(normaliseAccountDescription({ features: { roles: true }, ...o }))

describe('the role state of an account description', () => {
  it.each<[string, Record<string, unknown>, Partial<RoleState>]>([
    ['the named active role among the roles', { roles: ['collector', 'checker'], activeRole: 'checker' }, { roles: ['collector', 'checker'], activeRole: 'checker' }],
    ['an active role outside the roles: the only role', { roles: ['collector'], activeRole: 'checker' }, { activeRole: 'collector' }],
    ['no roles: the named role stands', { roles: [], activeRole: 'checker' }, { activeRole: 'checker' }],
    ['no roles, none named: collector', { roles: [] }, { activeRole: 'collector' }],
    ['two roles, none named: none', { roles: ['checker', 'collector'] }, { activeRole: null }],
    ['unknown roles and duplicates are dropped', { roles: ['checker', 'admin', 'checker'] }, { roles: ['checker'], activeRole: 'checker' }],
    ['an administrator', { role: 'admin' }, { isAdmin: true }],
    ['the user id as self', { userId: 'u-1', uid: 'acc-1' }, { selfId: 'u-1' }],
    ['the account id when there is no user id', { uid: 'acc-1' }, { selfId: 'acc-1' }],
    ['the editQuantity option when present', { options: { editQuantity: false } }, { editQuantityBought: false }],
  ])('%s', (_name, raw, expected) => {
    expect(describeAs(raw)).toMatchObject(expected)
  })

  it('roles off with features.roles false; no description means no roles', () => {
    expect(roleStateFrom(normaliseAccountDescription({ roles: ['checker'] })).enabled).toBe(false)
    expect(roleStateFrom(null).enabled).toBe(false)
    expect('editQuantityBought' in describeAs({})).toBe(false)
  })

  it('a role choice answer replaces roles, active role and permissions', () => {
    const before = describeAs({ roles: [], permissions: ['collect'] })
    expect(applyRoleAnswer(before, { roles: ['checker'], activeRole: null, permissions: ['control'] })).toMatchObject({
      roles: ['checker'],
      activeRole: 'checker',
      permissions: ['control'],
    })
    expect(applyRoleAnswer(describeAs({ roles: ['collector', 'checker'], activeRole: 'collector' }), { activeRole: 'checker' }).activeRole).toBe('checker')
  })

  it('permissions: granted ones with roles on; only "collect" without roles', () => {
    const on = describeAs({ permissions: ['closeShort'] })
    expect([hasPermission(on, 'closeShort'), hasPermission(on, 'collect')]).toEqual([true, false])
    const off = { ...on, enabled: false }
    expect([hasPermission(off, 'closeShort'), hasPermission(off, 'collect')]).toEqual([false, true])
  })

  it.each<[string, Record<string, unknown>, ReturnType<typeof rolePrompt>]>([
    ['no roles', { roles: [] }, 'choose'],
    ['no roles, administrator', { roles: [], role: 'admin' }, null],
    ['two roles, none active', { roles: ['collector', 'checker'] }, 'pick-active'],
    ['two roles, one active', { roles: ['collector', 'checker'], activeRole: 'collector' }, null],
    ['one role', { roles: ['checker'] }, null],
  ])('the menu asks: %s', (_n, raw, expected) => {
    expect(rolePrompt(describeAs(raw))).toBe(expected)
  })

  it('the role chip', () => {
    expect([roleChipLabel('collector'), roleChipLabel('checker')]).toEqual(['Сборщик ▾', 'Контролер ▾'])
  })
})
