/**
 * The cards of the marketplaces hub ("/marketplaces") and of the shops page
 * ("/settings/account/marketplaces"). Each marketplace's feature adds its own
 * card to these lists in its install; the screens show them by `order`.
 */
import type { Component } from 'vue'

export interface HubCard {
  id: string
  title: string
  subtitle: string
  /** the screen the card opens; a card without one is shown disabled with the mark "скоро" */
  route?: string
  order: number
}

export const hubCards: HubCard[] = []

export interface ShopsCard {
  id: string
  order: number
  component: Component
}

export const shopsCards: ShopsCard[] = []

/** Adds a card once (a second install of the same feature changes nothing). */
export function addCard<T extends { id: string }>(list: T[], card: T): void {
  if (!list.some((c) => c.id === card.id)) list.push(card)
}

export function byOrder<T extends { order: number }>(list: readonly T[]): T[] {
  return [...list].sort((a, b) => a.order - b.order)
}

/** Marketplaces connected by the team on request, as the shops page lists them. */
export const ON_REQUEST_MARKETPLACES: readonly string[] = ['Яндекс Маркет', 'Мегамаркет', 'Lamoda', 'Авито', 'KazanExpress', 'AliExpress', 'СДЭК']
