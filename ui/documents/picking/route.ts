/** The document screen's route. */
import type { RouteRecordRaw } from 'vue-router'
import { purgeExpiredDrafts } from './draft'

// This module loads with the router, at start-up: drafts past their 30 days go now.
purgeExpiredDrafts()

export const pickingRoute: RouteRecordRaw = {
  path: '/documents/:id',
  name: 'document',
  component: () => import('./DocumentView.vue'),
  props: (route) => ({ id: String(route.params.id), type: typeof route.query.type === 'string' ? route.query.type : '' }),
}
