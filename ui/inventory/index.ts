/**
 * Inventory: sessions counted by scanning on several devices, the device's scan queue that keeps
 * counting without a connection, unit photos and the exports. The screens load lazily; install only
 * routes the service's pushes and a returning connection to the open session.
 */
import { onChannelConnected, onPush } from '../core/session'
import type { Feature } from '../core/feature'

export const inventoryFeature: Feature = {
  name: 'inventory',
  routes: [
    { path: '/radio/inventory', name: 'inventory', component: () => import('./InventoryListView.vue') },
    { path: '/radio/inventory/:id', name: 'inventory-session', component: () => import('./InventorySessionView.vue') },
  ],
  tiles: [{ name: 'inventory', load: () => import('./InventoryTile.vue') }],
  install({ pinia }) {
    const runner = async () => {
      const { useInventoryStore } = await import('./inventoryStore')
      return useInventoryStore(pinia).runner
    }
    onPush('inventorySessionClosed', (p) => void runner().then((r) => r?.onSessionClosed(p)))
    onPush('inventoryRegistryUpdated', (p) => void runner().then((r) => r?.onRegistryUpdated(p)))
    // Back online: what waits goes at once instead of at the next due flush.
    onChannelConnected(() => void runner().then((r) => r?.flush(true)))
  },
}
