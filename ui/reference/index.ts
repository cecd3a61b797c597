/**
 * The product reference copy: the device's own copy of the account's
 * products, kept current over the channel and asked by the picking screen
 * about codes that are not in the document (through `localReference`).
 * Nothing runs until `install`.
 */
import { defineAsyncComponent } from 'vue'
import { writeAppLog } from '../core/appLog'
import { isDesktopHost } from '../core/bridge'
import { onAccountDescription, request } from '../core/session'
import { settingsSections } from '../core/settingsSections'
import { setLocalReference } from './localReference'
import { AssortmentDb } from './assortmentDb'
import { createReferenceCopy, type ReferenceCopy } from './referenceCopy'

export const SYNC_TIMEOUT_MS = 30_000

let copy: ReferenceCopy | null = null

/** The installed copy (null before `install`). */
export function referenceCopy(): ReferenceCopy | null {
  return copy
}

export const referenceFeature = {
  name: 'reference',
  routes: [],
  tiles: [],
  install(): void {
    if (copy) return
    const installed = createReferenceCopy({
      openDb: () => AssortmentDb.open(),
      ask: (p) => request('assortmentSync', p, { timeoutMs: SYNC_TIMEOUT_MS }),
      desktop: isDesktopHost,
      warn: (line) => {
        console.warn(line)
        writeAppLog(line)
      },
    })
    copy = installed
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
