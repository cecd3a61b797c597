/** Splitting a product: the parts the user typed, checked before anything is sent. */
import { roundQty } from './records'

export const SPLIT_PARTS_LIMIT = 50

export interface SplitPart {
  name: string
  quantity: number
}

export interface SplitPartDraft {
  name: string
  quantity: string
}

/** The first problem of parts with numeric quantities, or null. The service checks the same. */
export function splitProblem(parts: readonly SplitPart[], available?: number): string | null {
  if (parts.length === 0) return 'Добавьте хотя бы одну часть'
  if (parts.length > SPLIT_PARTS_LIMIT) return `Частей получится ${parts.length} — это больше предела ${SPLIT_PARTS_LIMIT} за один раз`
  for (const [i, p] of parts.entries()) {
    if (p.name.trim() === '') return `Часть ${i + 1}: укажите название`
    if (!(Number.isFinite(p.quantity) && p.quantity > 0)) return `Часть ${i + 1}: количество должно быть больше нуля`
  }
  if (available !== undefined && splitTotal(parts) > available) return `В ячейке не хватает остатка исходного товара — есть только ${String(available).replace('.', ',')}`
  return null
}

export function splitTotal(parts: readonly SplitPart[]): number {
  return roundQty(parts.reduce((n, p) => n + p.quantity, 0))
}

function typedQuantity(raw: string): number {
  const t = raw.trim().replace(',', '.')
  return /^\d+(\.\d{1,4})?$/.test(t) ? Number(t) : Number.NaN
}

/** The typed parts checked against what lies in the cell: the parts to send, or the text to show. */
export function checkSplit(drafts: readonly SplitPartDraft[], available: number): { ok: true; parts: SplitPart[] } | { ok: false; text: string } {
  const parts = drafts.map((d) => ({ name: d.name.trim(), quantity: typedQuantity(d.quantity) }))
  const problem = splitProblem(parts, available)
  return problem === null ? { ok: true, parts } : { ok: false, text: problem }
}
