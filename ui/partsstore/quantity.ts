import { formatQuantity, parseNumber } from '../core/numbers'

/** Quantities typed by the storekeeper: a comma or a point, at most 4 decimals, above zero, not above the stock. */
export const QUANTITY_INVALID = 'Количество должно быть числом больше нуля'

export function parseQuantity(raw: string, available?: number): { ok: true; value: number } | { ok: false; text: string } {
  const parsed = parseNumber(raw, 4)
  if (!parsed.ok || !(parsed.value > 0)) return { ok: false, text: QUANTITY_INVALID }
  const value = parsed.value
  if (available !== undefined && value > available) return { ok: false, text: `Не больше остатка: ${formatQuantity(available, 4)}` }
  return { ok: true, value }
}

/** The plus and minus buttons: one up or down, never below zero. */
export function stepQuantity(raw: string, by: 1 | -1): string {
  const n = parseNumber(raw, 4)
  const base = n.ok ? n.value : 0
  return String(Math.max(0, Math.round((base + by) * 10_000) / 10_000))
}

export const PRICE_INVALID = 'Цена — число не меньше нуля, например 150,50'

/** A typed price: empty is none (null); spaces, a comma or a point, at most 2 decimals, not below zero; undefined when it is not a price. */
export function parsePrice(raw: string): number | null | undefined {
  const parsed = parseNumber(raw, 2)
  if (parsed.ok) return parsed.value
  return parsed.reason === 'empty' ? null : undefined
}
