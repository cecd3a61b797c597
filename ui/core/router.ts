import { createRouter, createWebHashHistory } from 'vue-router'
import StartView from './StartView.vue'

export const router = createRouter({
  history: createWebHashHistory(),
  routes: [
    { path: '/', name: 'start', component: StartView },
    { path: '/device-auth', name: 'device-auth', component: () => import('./DeviceAuthView.vue') },
    { path: '/settings', name: 'settings', component: () => import('./SettingsView.vue') },
  ],
})
