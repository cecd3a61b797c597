/**
 * Laying a supply's goods out into cargo places (boxes or pallets): the
 * limits, what one place may still take of an item, the check before saving
 * with its texts, and the `ozonCargoesCreate` request.
 *
 * New places either replace the supply's places or are added to them. When
 * they are added, what the existing places already hold counts: only the rest
 * is laid out again, and the new places are numbered after the existing ones.
 * Pure.
 */
import type { Payload } from '../../../core/envelope'
import { cleanPayload } from '../../payload'
import type { CargoPlace, CargoType, FboItem, FboSupplyPage } from './fboRecords'

export const CARGO_LIMIT: Readonly<Record<CargoType, number>> = { BOX: 30, PALLET: 40 }

export const CARGO_TEXTS = {
  boxes: 'Коробки',
  pallets: 'Палеты',
  replace: 'Заменить прежние грузоместа',
  replaceNote: 'Новая раскладка заменит уже указанные грузоместа',
  open: 'Разложить грузоместа',
  cargoLabels: '🏷 Этикетки грузомест',
  productLabels: '🏷 Этикетки товаров',
} as const

export function limitText(type: CargoType): string {
  return type === 'BOX' ? `не больше ${CARGO_LIMIT.BOX} коробок` : `не больше ${CARGO_LIMIT.PALLET} палет`
}

export interface CargoLayout {
  type: CargoType
  /** `quantities[place][item]`: whole pieces of the supply's item `item` in the new place `place` */
  quantities: number[][]
  /** per item: the expiry date "YYYY-MM-DD", or '' */
  expiry: string[]
  /** the new places replace the existing ones */
  replace: boolean
}

export interface LayoutContext {
  items: readonly FboItem[]
  /** the supply's places whose content the server sent */
  existing: readonly CargoPlace[]
  /** the supply's places in all (their content may be unknown) */
  existingCount: number
  expiryRequired: boolean
}

export function layoutContext(p: Pick<FboSupplyPage, 'items' | 'cargoes' | 'rules'>): LayoutContext {
  return { items: p.items, existing: p.cargoes.places, existingCount: Math.max(p.cargoes.count, p.cargoes.places.length), expiryRequired: p.rules.expireDates.required }
}

/** Whether the new places replace the existing ones: always when there are none. */
export function replacing(ctx: LayoutContext, layout: Pick<CargoLayout, 'replace'>): boolean {
  return ctx.existingCount === 0 || layout.replace
}

/** A fresh layout: one place, nothing in it; "replace" is on by default. */
export function newLayout(ctx: LayoutContext, type: CargoType = 'BOX'): CargoLayout {
  return { type, quantities: [ctx.items.map(() => 0)], expiry: ctx.items.map(() => ''), replace: true }
}

/**
 * Pieces of each item that existing places hold and the new layout must not
 * lay out again; nothing when the new places replace them. A place's line is
 * the item with its barcode and offer id, else its barcode, else its offer id.
 */
export function heldByItems(ctx: LayoutContext, layout: Pick<CargoLayout, 'replace'>): number[] {
  const held = ctx.items.map(() => 0)
  if (replacing(ctx, layout)) return held
  const find = (match: (item: FboItem) => boolean) => ctx.items.findIndex(match)
  for (const place of ctx.existing) {
    for (const line of place.items) {
      let at = find((i) => line.barcode !== '' && line.offerId !== '' && i.barcode === line.barcode && i.offerId === line.offerId)
      if (at < 0 && line.barcode !== '') at = find((i) => i.barcode === line.barcode)
      if (at < 0 && line.offerId !== '') at = find((i) => i.offerId === line.offerId)
      if (at >= 0) held[at]! += line.quantity
    }
  }
  return held
}

/** The number of the first new place: after the existing ones when they stay. */
export function firstPlaceNumber(ctx: LayoutContext, layout: Pick<CargoLayout, 'replace'>): number {
  return replacing(ctx, layout) ? 1 : ctx.existingCount + 1
}

/** How many new places may be made: the limit of the type, less the places that stay. */
export function maxPlaces(ctx: LayoutContext, layout: Pick<CargoLayout, 'replace' | 'type'>): number {
  return Math.max(0, CARGO_LIMIT[layout.type] - (replacing(ctx, layout) ? 0 : ctx.existingCount))
}

/** The layout with `n` new places (1 to the limit); places kept keep their quantities. */
export function withPlaceCount(layout: CargoLayout, n: number, items: number): CargoLayout {
  const count = Math.max(1, Math.floor(n))
  const quantities = Array.from({ length: count }, (_, p) => layout.quantities[p] ?? Array.from({ length: items }, () => 0))
  return { ...layout, quantities }
}

/** What one place may still take of an item: the supply's quantity less what the others (and existing places) hold. */
export function cellMax(ctx: LayoutContext, layout: CargoLayout, place: number, item: number): number {
  const held = heldByItems(ctx, layout)[item] ?? 0
  const others = layout.quantities.reduce((s, row, p) => (p === place ? s : s + (row[item] ?? 0)), 0)
  return Math.max(0, (ctx.items[item]?.quantity ?? 0) - held - others)
}

/** A typed quantity for one place and item: whole, at least 0, at most what is left for it. */
export function setCell(ctx: LayoutContext, layout: CargoLayout, place: number, item: number, raw: string | number): CargoLayout {
  const n = Math.floor(Number(String(raw).trim() || '0'))
  const value = Number.isFinite(n) ? Math.min(Math.max(0, n), cellMax(ctx, layout, place, item)) : 0
  const quantities = layout.quantities.map((row, p) => (p === place ? row.map((q, i) => (i === item ? value : q)) : row))
  return { ...layout, quantities }
}

const itemName = (item: FboItem) => item.name || item.offerId || item.barcode || 'без названия'
const placeWord = (type: CargoType) => (type === 'BOX' ? 'в коробке' : 'в палете')
const DATE = /^\d{4}-\d{2}-\d{2}$/

export interface LayoutCheck {
  /** the texts that stop saving, in order: empty places, excess, pieces left, missing dates */
  errors: string[]
  /** per item: what is left to lay out */
  left: string[]
}

/**
 * The check before saving. The supply's quantity of each item is compared with
 * what existing places hold (when they stay) plus what the new places take.
 */
export function checkLayout(ctx: LayoutContext, layout: CargoLayout): LayoutCheck {
  const errors: string[] = []
  const places = layout.quantities.length
  if (places < 1 || places > maxPlaces(ctx, layout)) errors.push(limitText(layout.type))
  const first = firstPlaceNumber(ctx, layout)
  layout.quantities.forEach((row, p) => {
    if (row.every((q) => !(q > 0))) errors.push(`${placeWord(layout.type)} ${first + p} не указаны товары`)
  })
  const held = heldByItems(ctx, layout)
  const left: string[] = []
  let leftTotal = 0
  ctx.items.forEach((item, i) => {
    const laid = held[i]! + layout.quantities.reduce((s, row) => s + (row[i] ?? 0), 0)
    if (laid > item.quantity) errors.push(`товара ${itemName(item)} больше, чем в поставке: ${laid} из ${item.quantity}`)
    else if (laid < item.quantity) {
      leftTotal += item.quantity - laid
      left.push(`осталось разложить: ${itemName(item)} — ${item.quantity - laid} шт`)
    }
  })
  if (leftTotal > 0) errors.push(`разложите все штуки: осталось ${leftTotal}`)
  if (ctx.expiryRequired) {
    ctx.items.forEach((item, i) => {
      const laidNow = layout.quantities.some((row) => (row[i] ?? 0) > 0)
      if (laidNow && !DATE.test(layout.expiry[i] ?? '')) errors.push(`укажите срок годности: ${itemName(item)}`)
    })
  }
  return { errors, left }
}

/** The `ozonCargoesCreate` payload; `deleteCurrent` is true when the supply has no places yet. */
export function cargoesRequest(page: Pick<FboSupplyPage, 'supplyId' | 'clientId'>, ctx: LayoutContext, layout: CargoLayout): Payload {
  const replace = replacing(ctx, layout)
  const first = firstPlaceNumber(ctx, layout)
  const prefix = layout.type === 'BOX' ? 'box' : 'pallet'
  const cargoes = layout.quantities.map((row, p) => ({
    key: `${prefix}-${first + p}`,
    type: layout.type,
    items: ctx.items
      .map((item, i) => ({ item, i, quantity: row[i] ?? 0 }))
      .filter((x) => x.quantity > 0)
      .map(({ item, i, quantity }) => {
        const line: Payload = { barcode: item.barcode, offerId: item.offerId, quantity, quant: item.quant }
        if (ctx.expiryRequired && DATE.test(layout.expiry[i] ?? '')) line.expiresAt = `${layout.expiry[i]}T23:59:59Z`
        return line
      }),
  }))
  return cleanPayload({ supplyId: page.supplyId, deleteCurrent: replace, cargoes, clientId: page.clientId }, ['clientId'])
}
