import { createRouter, createWebHashHistory } from 'vue-router'
import StartView from './StartView.vue'
import { installSignInGuard } from './signin/guard'
import { pickingRoute } from '../documents/picking/route'

export const router = createRouter({
  history: createWebHashHistory(),
  routes: [
    { path: '/', name: 'start', component: StartView },
    { path: '/device-auth', name: 'device-auth', component: () => import('./DeviceAuthView.vue') },
    { path: '/create-pin', name: 'create-pin', component: () => import('./signin/CreatePinView.vue') },
    { path: '/quick-login', name: 'quick-login', component: () => import('./signin/QuickLoginView.vue') },
    { path: '/worker-auth', name: 'worker-auth', component: () => import('./signin/WorkerAuthView.vue') },
    { path: '/choose-mode', name: 'choose-mode', component: () => import('./signin/ChooseModeView.vue') },
    { path: '/authorizations', name: 'authorizations', component: () => import('./signin/AuthorizationsView.vue') },
    { path: '/settings', name: 'settings', component: () => import('./SettingsView.vue') },
    { path: '/menu', name: 'menu', component: () => import('./MenuView.vue') },
    { path: '/send-queue', name: 'send-queue', component: () => import('./SendQueueView.vue') },
    { path: '/contact', name: 'contact', component: () => import('./help/ContactView.vue') },
    { path: '/help/status-model', name: 'status-model-help', component: () => import('./help/StatusModelHelpView.vue') },
    { path: '/print-help', name: 'print-help', component: () => import('../printing/PrintHelpView.vue') },
    { path: '/documents', name: 'documents', component: () => import('../documents/DocumentListView.vue') },
    pickingRoute,
  ],
})

// Decides "/" (and the mode choice) before every navigation.
installSignInGuard(router)
