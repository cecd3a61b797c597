import { createRouter, createWebHashHistory } from 'vue-router'
import StartView from './StartView.vue'
// Loading the session installs its start-up step (token choice and the channel).
import './session'

export const router = createRouter({
  history: createWebHashHistory(),
  routes: [
    { path: '/', name: 'start', component: StartView },
    { path: '/device-auth', name: 'device-auth', component: () => import('./DeviceAuthView.vue') },
    { path: '/settings', name: 'settings', component: () => import('./SettingsView.vue') },
    { path: '/menu', name: 'menu', component: () => import('./MenuView.vue') },
    { path: '/send-queue', name: 'send-queue', component: () => import('./SendQueueView.vue') },
    { path: '/documents', name: 'documents', component: () => import('../documents/DocumentListView.vue') },
  ],
})
