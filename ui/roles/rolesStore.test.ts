import { afterEach, describe, expect, it, vi } from 'vitest'
import { useAccountStore } from '../core/accountStore'
import { readLocal } from '../core/localStore'
import { DEFAULT_ROLES_SETTINGS } from './rolesSettings'
import { ROLES_SETTINGS_KEY, useRolesStore } from './rolesStore'
import { rolesKit, type RolesKit } from './testing/rolesKit'

let kit: RolesKit | undefined
afterEach(() => {
  kit?.end()
  kit = undefined
  vi.restoreAllMocks()
})

describe('the roles holder', () => {
  it('takes the role state from the account description; the check tile for checkers and administrators', () => {
    kit = rolesKit('u-vera')
    const roles = useRolesStore()
    expect(roles.roleState).toMatchObject({ enabled: true, roles: ['checker'], activeRole: 'checker', selfId: 'u-vera', isAdmin: false })
    expect(roles.checkTileShown).toBe(true)
    kit.end()
    kit = rolesKit('u-egor')
    expect(useRolesStore().checkTileShown).toBe(false)
    kit.end()
    kit = rolesKit('u-oleg')
    expect(useRolesStore().roleState.enabled).toBe(false)
    expect(useRolesStore().checkTileShown).toBe(false)
  })

  it('an employee without roles chooses once; another choice is the administrator\'s', async () => {
    kit = rolesKit('u-pavel')
    const roles = useRolesStore()
    expect(roles.roleState.roles).toEqual([])
    expect(await roles.chooseRoles(['checker'])).toEqual({ ok: true })
    expect(roles.roleState).toMatchObject({ roles: ['checker'], activeRole: 'checker' })
    expect(useAccountStore().description?.roles).toEqual(['checker'])
    expect(await roles.chooseRoles(['collector'])).toEqual({ ok: false, error: 'roles are changed by the account administrator' })
    kit.fail('roleSelect', 'timeout')
    expect(await roles.chooseRoles(['collector'])).toEqual({ ok: false, error: 'Не удалось сохранить. Проверьте связь и повторите.' })
  })

  it('a role switch shows at once and goes back when the server refuses it', async () => {
    kit = rolesKit('u-anna')
    const roles = useRolesStore()
    expect(roles.role).toBe('collector')
    const switching = roles.switchRole('checker')
    expect(roles.role).toBe('checker')
    expect(await switching).toEqual({ ok: true })
    expect(kit.sent.at(-1)).toEqual({ c: 'roleSwitch', p: { role: 'checker' } })
    kit.fail('roleSwitch', { error: 'not assigned', errorCode: 'role-not-assigned' })
    expect(await roles.switchRole('collector')).toEqual({ ok: false, error: 'Эта роль вам не назначена. Попросите администратора добавить ее.' })
    expect(roles.role).toBe('checker')
  })

  it('settings: fetched and cached for the account; without an answer the cache, else the defaults', async () => {
    kit = rolesKit('u-egor')
    vi.spyOn(console, 'warn').mockImplementation(() => {})
    const roles = useRolesStore()
    expect((await roles.loadRolesSettings()).requireBoxes).toBe(true)
    expect(readLocal<{ uid: string }>(ROLES_SETTINGS_KEY)?.uid).toBe('acc-lesnaya')
    roles.reset()
    kit.fail('accountSettingsGet', 'timeout')
    expect((await roles.loadRolesSettings()).shortfallReasons).toEqual(['нет на складе', 'брак', 'пересорт', 'не нашел', 'другое'])
    expect(roles.settingsFresh).toBe(false)
    kit.storage.clear()
    kit.fail('accountSettingsGet', 'timeout')
    expect(await roles.loadRolesSettings()).toEqual(DEFAULT_ROLES_SETTINGS)
  })

  it('the administrator saves cleaned settings; a bad list never reaches the server', async () => {
    kit = rolesKit('u-anna')
    const roles = useRolesStore()
    const draft = { ...(await roles.loadRolesSettings()), shortfallReasons: [' брак', 'Брак', 'пересорт'], allowCheckOwn: true }
    expect(await roles.saveRolesSettings(draft)).toEqual({ ok: true })
    expect(roles.rolesSettings).toMatchObject({ shortfallReasons: ['брак', 'пересорт'], allowCheckOwn: true, configured: true })
    expect(kit.ask('accountSettingsGet', { blocks: ['roles'] }).roles).toMatchObject({ shortfallReasons: ['брак', 'пересорт'], allowCheckOwn: true })
    const sent = kit.sent.length
    expect(await roles.saveRolesSettings({ ...draft, shortfallReasons: [], shortfallReasonRequired: true })).toEqual({
      ok: false,
      error: 'Причина обязательна, а список причин пуст — добавьте хотя бы одну',
    })
    expect(kit.sent.length).toBe(sent)
  })

  it('counts the collected shipments for the check tile; a failure keeps the last count', async () => {
    kit = rolesKit('u-vera')
    vi.spyOn(console, 'warn').mockImplementation(() => {})
    const roles = useRolesStore()
    const n = await roles.checkCollectedCount()
    expect(n).toBeGreaterThan(0)
    kit.fail('getDocumentList', 'timeout')
    expect(await roles.checkCollectedCount()).toBe(n)
  })
})
