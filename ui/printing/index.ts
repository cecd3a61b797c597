/** The printing feature: its help screen (the print settings live in the settings screen). */
import type { Feature } from '../core/feature'

export const printingFeature: Feature = {
  name: 'printing',
  routes: [{ path: '/print-help', name: 'print-help', component: () => import('./PrintHelpView.vue') }],
  tiles: [],
  install() {},
}
