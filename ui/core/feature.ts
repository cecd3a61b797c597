/**
 * The shape of a feature folder's entry point (`index.ts`): the screens it
 * adds to the router, the tiles it adds to the menu, and what it starts once
 * the app and its stores exist.
 */
import type { App, Component, InjectionKey } from 'vue'
import type { Pinia } from 'pinia'
import type { Router, RouteRecordRaw } from 'vue-router'

export interface MenuTile {
  name: string
  /** loaded with the menu screen, not with the page */
  load(): Promise<Component | { default: Component }>
  /** runs each time the menu opens, before the tiles show (they wait for the account capabilities) */
  onMenuOpen?(): void
}

export interface FeatureContext {
  app: App
  pinia: Pinia
  router: Router
}

export interface Feature {
  name: string
  routes: RouteRecordRaw[]
  tiles: MenuTile[]
  install(ctx: FeatureContext): void
}

/** The menu tiles of every installed feature, in the order the features are listed. */
export const MENU_TILES: InjectionKey<readonly MenuTile[]> = Symbol('menu tiles')
