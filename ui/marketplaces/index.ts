/**
 * The marketplaces: the hub with one card per marketplace, the Wildberries
 * task list, task page and labels, and the shops page of the account
 * settings. Other marketplaces add their cards to `hubCards` and `shopsCards`
 * in their own install.
 */
import { defineAsyncComponent } from 'vue'
import type { Feature } from '../core/feature'
import { addDocumentExtra } from '../documents/picking/documentExtras'
import { addCard, hubCards, shopsCards } from './hubCards'

export const marketplacesFeature: Feature = {
  name: 'marketplaces',
  routes: [
    { path: '/marketplaces', name: 'marketplaces', component: () => import('./MarketplacesHub.vue') },
    { path: '/marketplaces/wb', name: 'wb-tasks', component: () => import('./wb/WbTaskListView.vue') },
    { path: '/marketplaces/wb/:id', name: 'wb-task', component: () => import('./wb/WbTaskView.vue') },
    { path: '/settings/account/marketplaces', name: 'marketplace-shops', component: () => import('./shops/ShopsView.vue') },
  ],
  tiles: [{ name: 'marketplaces', load: () => import('./MenuTile.vue') }],
  install() {
    addCard(hubCards, { id: 'wb', title: 'Wildberries', subtitle: 'Заказы и этикетки', route: '/marketplaces/wb', order: 20 })
    addCard(hubCards, { id: 'yandex', title: 'Яндекс Маркет', subtitle: '', order: 90 })
    addCard(shopsCards, { id: 'wb', order: 20, component: defineAsyncComponent(() => import('./shops/WbShopsCard.vue')) })
    // An order that stands for a Wildberries assembly task shows the task and its sticker on the picking screen.
    addDocumentExtra({ wants: (doc) => doc.marketplace === 'wb', component: defineAsyncComponent(() => import('./wb/WbDocumentSticker.vue')) })
  },
}
