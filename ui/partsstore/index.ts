/**
 * The parts store: zones with nested cells, products with their stock per
 * cell, history with undo, import and export, label printing for cells and
 * products, and placement by scanning. Its screens load lazily; install only
 * adds the section of its work settings.
 */
import { defineAsyncComponent } from 'vue'
import type { Feature } from '../core/feature'
import { settingsSections } from '../core/settingsSections'

export const partsStoreFeature: Feature = {
  name: 'partsstore',
  routes: [
    { path: '/radio', name: 'partsstore', component: () => import('./PartsStoreView.vue') },
    { path: '/radio/zones/:zoneId/cells', name: 'partsstore-cells', component: () => import('./ZoneCellsView.vue') },
    { path: '/radio/products', name: 'partsstore-products', component: () => import('./ProductsView.vue') },
    { path: '/radio/history', name: 'partsstore-history', component: () => import('./HistoryView.vue') },
    { path: '/radio/import', name: 'partsstore-import', component: () => import('./ImportView.vue') },
    { path: '/radio/scan', name: 'partsstore-placement', component: () => import('./placement/PlacementView.vue') },
  ],
  tiles: [{ name: 'partsstore', load: () => import('./PartsStoreTile.vue') }],
  install() {
    if (settingsSections.some((s) => s.id === 'partsstore')) return
    const printAt = settingsSections.findIndex((s) => s.id === 'print')
    settingsSections.splice(printAt < 0 ? settingsSections.length : printAt, 0, {
      id: 'partsstore',
      title: 'Склад деталей',
      component: defineAsyncComponent(() => import('./placement/PlacementSettings.vue')),
    })
  },
}
