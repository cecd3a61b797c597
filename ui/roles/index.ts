/**
 * Roles and the two-person check: the role state and choice, the roles
 * settings, document stages and access, start / release / reopen, check mode,
 * shortfalls and disputes, and the check tile.
 */
import type { Feature } from '../core/feature'
import { onAccountDescription, onPush } from '../core/session'
import { deleteDraft } from '../documents/picking/draft'
import { dropReleasedDraft } from './releasedDrafts'
import { useStageActions } from './roleList'
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
    // The administrator saved the settings: devices already signed in follow without a restart.
    onPush('accountSettings.push', (p) => {
      if (p.roles !== undefined) useRolesStore().applyPushedSettings(p.roles)
    })
    // Completed or reopened by anyone: a draft an automatic release kept here is dropped.
    onPush('documentChanged.push', (p) => {
      if (typeof p.documentId === 'string' && p.documentId) dropReleasedDraft(p.documentId, deleteDraft)
    })
    // Another device started, took over or released a document: the records follow; a collection taken
    // from this employee is noted, so his screen says so at his next scan.
    onPush('documentStage.push', (p) => {
      const roles = useRolesStore()
      const change = useStageActions().applyStagePush(p)
      if (!change) return
      const self = roles.roleState.selfId
      if (change.takenFrom && self && change.takenFrom.id === self) roles.noteTakenOver(change.documentId, change.collector?.name ?? '')
      else if (change.collector?.id === self) roles.forgetTakenOver(change.documentId)
    })
  },
}
