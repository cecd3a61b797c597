import { createRouter, createWebHashHistory, type RouteRecordRaw } from 'vue-router'

/** The app's router over the routes the features bring (see ui/features.ts). */
export function createAppRouter(routes: RouteRecordRaw[]) {
  return createRouter({ history: createWebHashHistory(), routes })
}
