/**
 * Roles and the two-person check: the role state and choice, the roles
 * settings, document stages and access, start / release / reopen, check mode,
 * shortfalls and disputes, and the check tile.
 */
import type { Feature } from '../core/feature'
import { onAccountDescription } from '../core/session'
import { useRolesStore } from './rolesStore'

export const rolesFeature: Feature = {
  name: 'roles',
  routes: [],
  tiles: [{ name: 'check', load: () => import('./CheckTile.vue') }],
  install() {
    // Every account description with roles on brings the account's roles settings (or the device's copy).
    onAccountDescription((d) => {
      if (d.features.roles === true) void useRolesStore().loadRolesSettings()
    })
  },
}
