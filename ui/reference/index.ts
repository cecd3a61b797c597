/**
 * The product reference copy: the device's own copy of the account's
 * products, kept current over the channel and asked by the picking screen
 * about codes that are not in the document (through `localReference`).
 * Nothing runs until `install`.
 */
import { defineAsyncComponent } from 'vue'
import type { Feature } from '../core/feature'
import { writeAppLog } from '../core/appLog'
import { isDesktopHost } from '../core/bridge'
import { onAccountDescription, request } from '../core/session'
import { settingsSections } from '../core/settingsSections'
import { setLocalReference } from './localReference'
import { installedCopy, setInstalledCopy } from './installedCopy'
import { createReferenceCopy } from './referenceCopy'

export const SYNC_TIMEOUT_MS = 30_000

export const referenceFeature: Feature = {
  name: 'reference',
  routes: [],
  tiles: [],
  install() {
    if (installedCopy()) return
    const installed = createReferenceCopy({
      // The database library loads with the first opening, after sign-in, not with the page.
      openDb: async () => (await import('./assortmentDb')).AssortmentDb.open(),
      ask: (p) => request('assortmentSync', p, { timeoutMs: SYNC_TIMEOUT_MS }),
      desktop: isDesktopHost,
      warn: (line) => {
        console.warn(line)
        writeAppLog(line)
      },
    })
    setInstalledCopy(installed)
    // After every successful identity check: the copy follows the account and its capability.
    onAccountDescription((d) => void installed.afterIdentity({ allowed: d.features.assortmentSearch === true, scope: d.uid }))
    setLocalReference(installed)
    settingsSections.push({
      id: 'reference',
      title: 'Справочник',
      component: defineAsyncComponent(() => import('./ReferenceSection.vue')),
    })
  },
}
