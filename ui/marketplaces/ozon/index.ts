/**
 * Ozon: the Ozon page ("/marketplaces/ozon") with its card in the hub, the
 * Ozon card of the shops page, the Ozon rows of the settings, and the label steps around picking (fetched
 * ahead when a posting opens, printed after its completion, printed when
 * `labelReady.push` brings a link that was waited for).
 */
import { defineAsyncComponent } from 'vue'
import { isDesktopHost } from '../../core/bridge'
import { documentCompletedHooks } from '../../core/completionOutcomes'
import type { Feature } from '../../core/feature'
import { settingsSections } from '../../core/settingsSections'
import { onChannelConnected, onChannelDisconnected, onPush } from '../../core/session'
import { postingOpenedHooks } from '../../documents/picking/ozonPosting'
import { addCard, hubCards, shopsCards } from '../hubCards'
import { useOzonStore } from './ozonStore'

let installed = false

export const ozonFeature: Feature = {
  name: 'ozon',
  routes: [{ path: '/marketplaces/ozon', name: 'ozon', component: () => import('./OzonPage.vue') }],
  tiles: [],
  install({ pinia }) {
    addCard(hubCards, { id: 'ozon', title: 'Ozon', subtitle: 'Отправления и этикетки', route: '/marketplaces/ozon', order: 30 })
    addCard(shopsCards, { id: 'ozon', order: 30, component: defineAsyncComponent(() => import('./OzonShopsCard.vue')) })
    if (installed) return
    installed = true
    const printAt = settingsSections.findIndex((s) => s.id === 'print')
    settingsSections.splice(printAt < 0 ? settingsSections.length : printAt + 1, 0, {
      id: 'ozon',
      title: 'Ozon',
      component: defineAsyncComponent(() => import('./OzonSettingsSection.vue')),
    })
    const ozon = () => useOzonStore(pinia)
    // The push listener lives with the channel: on while connected.
    let stop: (() => void) | null = null
    onChannelConnected(() => {
      stop?.()
      stop = onPush('labelReady.push', (p) => void ozon().labelReady(p))
    })
    onChannelDisconnected(() => {
      stop?.()
      stop = null
    })
    documentCompletedHooks.add(({ entry, sent }) => {
      if (sent) void ozon().afterCompletion(entry.documentId, entry.documentNumber ?? '')
    })
    postingOpenedHooks.add((doc) => void ozon().prefetch(doc, isDesktopHost()))
  },
}
