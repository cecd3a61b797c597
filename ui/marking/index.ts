/**
 * Marking: the server's withdrawal questions and notices over any screen, and
 * the record of the last completed document's withdrawal. The GS1 parser
 * (gs1.ts) is shared by every reader of marks.
 */
import { defineAsyncComponent } from 'vue'
import type { Feature } from '../core/feature'
import { appOverlays } from '../core/overlays'
import { startWithdrawal } from './withdrawAsk'

export const markingFeature: Feature = {
  name: 'marking',
  routes: [{ path: '/settings/product-groups', component: () => import('./ProductGroupsView.vue') }],
  tiles: [],
  install() {
    startWithdrawal()
    appOverlays.push(defineAsyncComponent(() => import('./WithdrawAskDialog.vue')))
  },
}
