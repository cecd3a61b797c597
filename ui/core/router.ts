import { createRouter, createWebHashHistory } from 'vue-router'
import StartView from './StartView.vue'

export const router = createRouter({
  history: createWebHashHistory(),
  routes: [{ path: '/', name: 'start', component: StartView }],
})
