/**
 * Storage cells on the picking screen: the order of positions by cell (kept
 * per device) and what the card and the list row say about where a product
 * lies and how many are in stock.
 */
import { readLocal, writeLocal } from '../../core/localStore'

export type CellsOrder = '' | 'asc' | 'desc'
export const CELLS_ORDER_KEY = 'cells_sort_device'

export const CELLS_ORDER_LABELS: Readonly<Record<CellsOrder, string>> = {
  '': '📍 Ячейки: как в документе',
  asc: '📍 Ячейки: А → Я',
  desc: '📍 Ячейки: Я → А',
}

export function nextCellsOrder(order: CellsOrder): CellsOrder {
  return order === '' ? 'asc' : order === 'asc' ? 'desc' : ''
}

/** This device's choice, or undefined when it never chose. */
export function readCellsOrder(): CellsOrder | undefined {
  const v = readLocal<unknown>(CELLS_ORDER_KEY)
  return v === '' || v === 'asc' || v === 'desc' ? v : undefined
}

export function writeCellsOrder(order: CellsOrder): void {
  writeLocal(CELLS_ORDER_KEY, order)
}

const collator = new Intl.Collator('ru', { numeric: true, sensitivity: 'base' })

/**
 * Positions ordered by cell: those without a cell last, in document order;
 * the others by cell name (Russian, numeric, ignoring case), ties in document
 * order. "desc" reverses only the name comparison. "" keeps the document order.
 */
export function sortByCell<P extends { cell: string }>(list: readonly P[], order: CellsOrder): P[] {
  if (order === '') return [...list]
  const sign = order === 'desc' ? -1 : 1
  return list
    .map((p, i) => ({ p, i }))
    .sort((a, b) => {
      const ca = a.p.cell
      const cb = b.p.cell
      if (!ca || !cb) return ca && !cb ? -1 : !ca && cb ? 1 : a.i - b.i
      return sign * collator.compare(ca, cb) || a.i - b.i
    })
    .map((x) => x.p)
}

export type CellsDisplay = 'cell' | 'warehouse' | 'both' | 'productField' | null

export interface LocationLines {
  /** "📍 <cell>" with " · <n> шт." of the cell, or the product attribute */
  location: string
  /** "Склад: <n> шт." */
  stock: string
}

/**
 * The location lines of a position by the account's cells display setting:
 * `cell` adds the cell stock, `warehouse` the warehouse line, `both` both,
 * `productField` shows the product attribute instead of the cell.
 */
export function locationLines(
  p: { cell: string; cellStock?: number; warehouseStock?: number; productFieldValue?: string },
  display: CellsDisplay,
): LocationLines {
  const place = display === 'productField' ? (p.productFieldValue ?? '') : p.cell
  let location = place ? `📍 ${place}` : ''
  if (location && (display === 'cell' || display === 'both') && p.cellStock !== undefined) location += ` · ${p.cellStock} шт.`
  const stock = (display === 'warehouse' || display === 'both') && p.warehouseStock !== undefined ? `Склад: ${p.warehouseStock} шт.` : ''
  return { location, stock }
}

/** Photo and list-row sizes (px) by the work setting `photoSize`. */
export const PHOTO_SIZES: Readonly<Record<'off' | 'small' | 'medium' | 'large', { photo: number; row: number }>> = {
  off: { photo: 0, row: 120 },
  small: { photo: 48, row: 120 },
  medium: { photo: 64, row: 120 },
  large: { photo: 128, row: 160 },
}

/** Rows grow by 16 px in check mode or when any position carries a checker's dispute note. */
export function rowHeight(photoSize: keyof typeof PHOTO_SIZES, taller: boolean): number {
  return PHOTO_SIZES[photoSize].row + (taller ? 16 : 0)
}

/** "Не начат", "Частично", "Лишнее"; for done "Собрано", or "Проверено" without roles or in check mode. */
export function statusText(status: 'pending' | 'partial' | 'done' | 'excess', checkedWord: boolean): string {
  switch (status) {
    case 'pending':
      return 'Не начат'
    case 'partial':
      return 'Частично'
    case 'excess':
      return 'Лишнее'
    default:
      return checkedWord ? 'Проверено' : 'Собрано'
  }
}
