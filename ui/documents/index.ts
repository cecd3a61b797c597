/** The documents feature: the list, picking a document and completing it. */
import type { Feature } from '../core/feature'
import { bootDocuments } from './boot'
import { pickingRoute } from './picking/route'

export const documentsFeature: Feature = {
  name: 'documents',
  routes: [{ path: '/documents', name: 'documents', component: () => import('./DocumentListView.vue') }, pickingRoute],
  tiles: [
    {
      name: 'documents',
      load: () => import('./MenuTiles.vue'),
      // The shipment list loads ahead as soon as the menu opens, while the tiles still wait for the capabilities.
      onMenuOpen: () => void import('./listStore').then(({ useDocumentListStore }) => useDocumentListStore().preload()),
    },
  ],
  install() {
    bootDocuments()
  },
}
