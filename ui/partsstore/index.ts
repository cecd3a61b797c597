/**
 * The parts store: zones with nested cells, products with their stock per
 * cell, history with undo, import and export, and label printing for cells
 * and products. Its screens load lazily; nothing runs at install.
 */
import type { Feature } from '../core/feature'

export const partsStoreFeature: Feature = {
  name: 'partsstore',
  routes: [
    { path: '/radio', name: 'partsstore', component: () => import('./PartsStoreView.vue') },
    { path: '/radio/zones/:zoneId/cells', name: 'partsstore-cells', component: () => import('./ZoneCellsView.vue') },
    { path: '/radio/products', name: 'partsstore-products', component: () => import('./ProductsView.vue') },
    { path: '/radio/history', name: 'partsstore-history', component: () => import('./HistoryView.vue') },
    { path: '/radio/import', name: 'partsstore-import', component: () => import('./ImportView.vue') },
  ],
  tiles: [{ name: 'partsstore', load: () => import('./PartsStoreTile.vue') }],
  install() {},
}
