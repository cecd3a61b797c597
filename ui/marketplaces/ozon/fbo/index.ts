/**
 * Ozon FBO supplies: their rows on the Ozon page (under the FBS postings,
 * reloaded by the page's refresh) and the supply page with assembly, content,
 * cargo places and labels.
 */
import { defineAsyncComponent } from 'vue'
import type { Feature } from '../../../core/feature'
import { addSchemePart } from '../schemeParts'
import { matchesFboSearch } from './fboRecords'
import { SUPPLY_ROUTE } from './fboRoute'
import { useOzonFboStore } from './fboStore'

export const ozonFboFeature: Feature = {
  name: 'ozon-fbo',
  routes: [{ path: SUPPLY_ROUTE, name: 'ozon-fbo-supply', component: () => import('./FboSupplyView.vue') }],
  tiles: [],
  install({ pinia }) {
    const fbo = () => useOzonFboStore(pinia)
    addSchemePart({
      scheme: 'fbo',
      order: 10,
      rows: defineAsyncComponent(() => import('./FboRows.vue')),
      refresh: () => fbo().loadSupplies(true),
      count: (query) => fbo().rows.filter((r) => matchesFboSearch(r, query)).length,
      loadingText: () => (fbo().loading && fbo().rows.length === 0 ? 'Загрузка поставок...' : ''),
    })
  },
}
