/**
 * Roles and the two-person check: the role state and choice, the roles
 * settings, document stages and access, start / release / reopen, check mode,
 * shortfalls and disputes, and the check tile.
 */
import { onAccountDescription } from '../core/session'
import { useRolesStore } from './rolesStore'

export { default as CheckTile } from './CheckTile.vue'
export { default as RoleChoice } from './RoleChoice.vue'
export { useRolesStore } from './rolesStore'

/** Every account description with roles on brings the account's roles settings (or the device's copy). */
export function install(): () => void {
  return onAccountDescription((d) => {
    if (d.features.roles === true) void useRolesStore().loadRolesSettings()
  })
}
