/**
 * The core feature: start, sign-in, the menu, settings, the send queue and
 * help. Its install wires the session to the router and the queue to the
 * channel.
 */
import type { Feature, MenuTile } from './feature'
import { keepAccountSettingsCopies } from './savedAccounts'
import { flushQueueOnConnect } from './sendQueueStore'
import { configureSession } from './session'
import { installSignInGuard } from './signin/guard'
import StartView from './StartView.vue'

/** The menu screen loads with the other features' tiles, so they draw without a second fetch. */
function menuRoute(tiles: () => readonly MenuTile[]) {
  return async () => {
    const [view] = await Promise.all([import('./MenuView.vue'), ...tiles().map((t) => t.load())])
    return view
  }
}

export function coreFeature(tiles: () => readonly MenuTile[]): Feature {
  return {
    name: 'core',
    routes: [
      { path: '/', name: 'start', component: StartView },
      { path: '/device-auth', name: 'device-auth', component: () => import('./DeviceAuthView.vue') },
      { path: '/create-pin', name: 'create-pin', component: () => import('./signin/CreatePinView.vue') },
      { path: '/quick-login', name: 'quick-login', component: () => import('./signin/QuickLoginView.vue') },
      { path: '/worker-auth', name: 'worker-auth', component: () => import('./signin/WorkerAuthView.vue') },
      { path: '/choose-mode', name: 'choose-mode', component: () => import('./signin/ChooseModeView.vue') },
      { path: '/authorizations', name: 'authorizations', component: () => import('./signin/AuthorizationsView.vue') },
      { path: '/settings', name: 'settings', component: () => import('./SettingsView.vue') },
      { path: '/menu', name: 'menu', component: menuRoute(tiles) },
      { path: '/send-queue', name: 'send-queue', component: () => import('./SendQueueView.vue') },
      { path: '/contact', name: 'contact', component: () => import('./help/ContactView.vue') },
      { path: '/help/status-model', name: 'status-model-help', component: () => import('./help/StatusModelHelpView.vue') },
    ],
    tiles: [],
    install({ router }) {
      configureSession({ navigate: (path) => router.replace(path) })
      // Decides "/" (and the mode choice) before every navigation.
      installSignInGuard(router)
      keepAccountSettingsCopies()
      flushQueueOnConnect()
    },
  }
}
