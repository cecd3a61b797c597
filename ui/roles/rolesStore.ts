/**
 * The "roles" holder: the role state of the signed-in employee (from the
 * account description), the account's roles settings (fetched, cached on the
 * device, saved by the administrator), the role choice, and the count of
 * collected shipments for the check tile.
 */
import { defineStore } from 'pinia'
import { computed, ref } from 'vue'
import type { WorkRole } from '../core/accountDescription'
import { useAccountStore } from '../core/accountStore'
import { readLocal, writeLocal } from '../core/localStore'
import { RefusalError } from '../core/requests'
import { refusalText } from '../documents/picking/refusalText'
import { rolesChannel } from './rolesChannel'
import { DEFAULT_ROLES_SETTINGS, normaliseRolesSettings, prepareRolesSettings, type RolesSettings } from './rolesSettings'
import { applyRoleAnswer, hasPermission, roleStateFrom, ROLE_TEXTS, workingRole, type RoleState } from './roleState'

export const ROLES_SETTINGS_KEY = 'zv_roles_settings'

interface CachedSettings {
  /** the account the settings belong to */
  uid: string
  settings: unknown
}

export type ActionResult = { ok: true } | { ok: false; error: string }

/** The text of a failed role or settings request. */
export function saveFailureText(err: unknown): string {
  return err instanceof RefusalError ? refusalText(err.info) : ROLE_TEXTS.saveFailed
}

export const useRolesStore = defineStore('roles', () => {
  const account = useAccountStore()

  const roleState = computed<RoleState>(() => roleStateFrom(account.description))
  const rolesSettings = ref<RolesSettings>({ ...DEFAULT_ROLES_SETTINGS })
  /** the settings on screen came from the server (not the cache or the defaults) */
  const settingsFresh = ref(false)
  const collectedCount = ref<number | null>(null)
  /** documents taken over from this employee while he worked on them: id → the new collector's name */
  const takenOver = ref<Record<string, string>>({})
  /** what the list says once when the picker lands on it by no choice of his (an automatic release) */
  const listNotice = ref('')

  const enabled = computed(() => roleState.value.enabled)
  const role = computed<WorkRole>(() => workingRole(roleState.value))
  const can = (permission: string) => hasPermission(roleState.value, permission)

  /** The answer of a role choice goes into the account description, so every reader sees it at once. */
  function applyAnswer(answer: Record<string, unknown>) {
    const d = account.description
    if (!d) return
    const next = applyRoleAnswer(roleState.value, answer)
    account.description = { ...d, roles: next.roles, activeRole: next.activeRole, permissions: next.permissions }
  }

  /** "Кто вы на складе?": the employee's roles, chosen once. */
  async function chooseRoles(roles: WorkRole[]): Promise<ActionResult> {
    try {
      applyAnswer(await rolesChannel().command('roleSelect', { roles }))
      return { ok: true }
    } catch (err) {
      return { ok: false, error: saveFailureText(err) }
    }
  }

  /** Switches the active role at once; a failure puts the old one back. */
  async function switchRole(next: WorkRole): Promise<ActionResult> {
    const d = account.description
    if (!d) return { ok: false, error: ROLE_TEXTS.saveFailed }
    const before = d.activeRole
    account.description = { ...d, activeRole: next }
    try {
      applyAnswer({ activeRole: next, ...(await rolesChannel().command('roleSwitch', { role: next })) })
      return { ok: true }
    } catch (err) {
      if (account.description) account.description = { ...account.description, activeRole: before }
      return { ok: false, error: saveFailureText(err) }
    }
  }

  function cached(): RolesSettings | undefined {
    const entry = readLocal<CachedSettings>(ROLES_SETTINGS_KEY)
    const uid = account.description?.uid ?? ''
    if (!entry || typeof entry !== 'object' || entry.uid !== uid) return undefined
    return normaliseRolesSettings(entry.settings)
  }

  function keep(settings: RolesSettings) {
    rolesSettings.value = settings
    writeLocal(ROLES_SETTINGS_KEY, { uid: account.description?.uid ?? '', settings } satisfies CachedSettings)
  }

  /** Fetches the settings; without an answer the device's copy is used, else the defaults. */
  async function loadRolesSettings(): Promise<RolesSettings> {
    try {
      const answer = await rolesChannel().command('accountSettingsGet', { blocks: ['roles'] })
      keep(normaliseRolesSettings(answer.roles))
      settingsFresh.value = true
    } catch (err) {
      console.warn('[роли] настройки не получены, работаем с сохраненными:', err)
      rolesSettings.value = cached() ?? { ...DEFAULT_ROLES_SETTINGS }
      settingsFresh.value = false
    }
    return rolesSettings.value
  }

  /** `accountSettings.push`: the administrator changed the settings; this device follows at once. */
  function applyPushedSettings(raw: unknown) {
    if (typeof raw !== 'object' || raw === null) return
    keep(normaliseRolesSettings(raw))
    settingsFresh.value = true
  }

  function noteTakenOver(documentId: string, by: string) {
    takenOver.value = { ...takenOver.value, [documentId]: by }
  }

  function forgetTakenOver(documentId: string) {
    if (!(documentId in takenOver.value)) return
    const { [documentId]: _gone, ...rest } = takenOver.value
    takenOver.value = rest
  }

  /** The administrator's editor: checked and cleaned here, then saved on the server. */
  async function saveRolesSettings(draft: RolesSettings): Promise<ActionResult> {
    const prepared = prepareRolesSettings(draft)
    if (!prepared.ok) return prepared
    try {
      const answer = await rolesChannel().command('accountSettingsSet', { roles: prepared.settings })
      keep(answer.roles !== undefined ? normaliseRolesSettings(answer.roles) : prepared.settings)
      return { ok: true }
    } catch (err) {
      return { ok: false, error: saveFailureText(err) }
    }
  }

  /** The check tile's badge: collected shipments waiting for the check. */
  async function checkCollectedCount(): Promise<number | null> {
    try {
      collectedCount.value = await rolesChannel().collectedShipments()
    } catch (err) {
      console.warn('[роли] не удалось узнать, сколько ждет проверки:', err)
    }
    return collectedCount.value
  }

  /** The check tile is offered: roles on, and an administrator or an employee with the checker role. */
  const checkTileShown = computed(() => enabled.value && (roleState.value.isAdmin || roleState.value.roles.includes('checker')))

  function reset() {
    rolesSettings.value = { ...DEFAULT_ROLES_SETTINGS }
    settingsFresh.value = false
    collectedCount.value = null
    takenOver.value = {}
    listNotice.value = ''
  }

  return {
    roleState,
    rolesSettings,
    settingsFresh,
    collectedCount,
    takenOver,
    listNotice,
    enabled,
    role,
    can,
    checkTileShown,
    chooseRoles,
    switchRole,
    loadRolesSettings,
    saveRolesSettings,
    applyPushedSettings,
    noteTakenOver,
    forgetTakenOver,
    checkCollectedCount,
    reset,
  }
})
