/** The signing feature: the signing agent on the server channel, and the sign log with its page. */
import type { Feature } from '../core/feature'
import { startSigningAgent } from './agentWiring'

export const signingFeature: Feature = {
  name: 'signing',
  routes: [{ path: '/sign-log', name: 'sign-log', component: () => import('./SignLogView.vue') }],
  tiles: [],
  install({ pinia }) {
    startSigningAgent(pinia)
  },
}
