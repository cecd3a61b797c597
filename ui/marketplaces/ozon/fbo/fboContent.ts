/**
 * Editing a supply's content: whether it may be edited (and the hint when
 * not), the quantities as typed, their check and the request that saves
 * them. Pure.
 */
import type { Payload } from '../../../core/envelope'
import { cleanPayload } from '../../payload'
import type { FboItem, FboSupplyPage } from './fboRecords'

export const MANY_ROWS_HINT = 'в поставке больше 500 строк, количество правьте в кабинете Ozon'
export const CONTENT_LOCKED = 'состав уже нельзя изменить'

/**
 * Editable only when the server allows it and sent every row: quantities
 * saved from part of the rows would drop the rest. Otherwise the hint says why.
 */
export function contentEditing(p: Pick<FboSupplyPage, 'canEditContent' | 'contentReasons' | 'items' | 'itemsCount' | 'itemsShown'>): { editable: boolean; hint: string } {
  const allSent = p.items.length >= p.itemsCount && p.itemsShown >= p.itemsCount
  if (p.canEditContent && allSent) return { editable: true, hint: '' }
  if (!allSent) return { editable: false, hint: MANY_ROWS_HINT }
  return { editable: false, hint: p.contentReasons.length > 0 ? p.contentReasons.join('; ') : CONTENT_LOCKED }
}

/** A typed quantity: a whole number of at least 1, or null. */
export function readQuantity(raw: string | number): number | null {
  const s = String(raw).trim()
  if (!/^\d+$/.test(s)) return null
  const n = Number(s)
  return Number.isSafeInteger(n) && n >= 1 ? n : null
}

export function quantityError(item: Pick<FboItem, 'name' | 'offerId'>): string {
  return `Количество товара «${item.name || item.offerId || 'без названия'}» — целое число не меньше 1`
}

/**
 * The save request for the typed quantities (one per item, in order), or the
 * texts of the quantities that are not whole numbers of at least 1.
 */
export function contentRequest(
  page: Pick<FboSupplyPage, 'orderId' | 'supplyId' | 'clientId' | 'items'>,
  typed: ReadonlyArray<string | number>,
): { ok: true; payload: Payload } | { ok: false; errors: string[] } {
  const errors: string[] = []
  const items = page.items.map((item, i) => {
    const quantity = readQuantity(typed[i] ?? item.quantity)
    if (quantity === null) errors.push(quantityError(item))
    return { sku: item.sku, quantity: quantity ?? 0, quant: item.quant }
  })
  if (errors.length > 0) return { ok: false, errors }
  return { ok: true, payload: cleanPayload({ orderId: page.orderId, supplyId: page.supplyId, items, clientId: page.clientId }, ['clientId']) }
}
