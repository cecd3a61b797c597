/**
 * Inventory: sessions counted by scanning on several devices, the device's scan queue that keeps
 * counting without a connection, unit photos and the exports. The screens load lazily; install routes
 * the service's pushes to the open session and wakes the device's queue when an account is known and
 * whenever the connection returns.
 */
import { watch } from 'vue'
import { useAccountStore } from '../core/accountStore'
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
    const wake = async () => {
      const { useInventoryStore } = await import('./inventoryStore')
      await useInventoryStore(pinia).wake()
    }
    onPush('inventorySessionClosed', (p) => void runner().then((r) => r?.onSessionClosed(p)))
    onPush('inventoryRegistryUpdated', (p) => void runner().then((r) => r?.onRegistryUpdated(p)))
    // Back online, wherever the user is: what waits on the device goes at once.
    onChannelConnected(() => void wake())
    // An account known (confirmed, or kept on the device for the signed-in token): its queue shows and
    // goes out from the first moment, before the session's screen is opened.
    const account = useAccountStore(pinia)
    watch(() => (account.description ?? account.kept)?.uid ?? '', (uid) => {
      if (uid !== '') void wake()
    }, { immediate: true })
  },
}
