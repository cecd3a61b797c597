/**
 * Application update: the banner in the menu, the "О приложении" settings
 * section, and the update state behind both.
 */
import { defineAsyncComponent } from 'vue'
import type { Feature } from '../core/feature'
import { settingsSections } from '../core/settingsSections'

export const updateFeature: Feature = {
  name: 'update',
  routes: [],
  tiles: [{ name: 'update-banner', load: () => import('./UpdateBanner.vue') }],
  install() {
    if (settingsSections.some((s) => s.id === 'about')) return
    settingsSections.push({
      id: 'about',
      title: 'О приложении',
      component: defineAsyncComponent(() => import('./AboutSection.vue')),
    })
  },
}
