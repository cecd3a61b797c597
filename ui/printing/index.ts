/** The printing feature: its help screen (the print settings live in the settings screen) and the print commands from other computers. */
import type { Feature } from '../core/feature'
import { installRemotePrint } from './remote/remotePrint'

export const printingFeature: Feature = {
  name: 'printing',
  routes: [{ path: '/print-help', name: 'print-help', component: () => import('./PrintHelpView.vue') }],
  tiles: [],
  install() {
    installRemotePrint()
  },
}
