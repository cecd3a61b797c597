/** The document screen's route. */
import type { RouteRecordRaw } from 'vue-router'

export const pickingRoute: RouteRecordRaw = {
  path: '/documents/:id',
  name: 'document',
  component: () => import('./DocumentView.vue'),
  props: (route) => ({ id: String(route.params.id), type: typeof route.query.type === 'string' ? route.query.type : '' }),
}
