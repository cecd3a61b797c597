/** The history list: day headings, entry texts, the local filter and what an undo changes. */
import { barcodeMatchesBySuffix } from './codes'
import type { HistoryEntry } from './records'
import { formatQuantity } from '../core/numbers'

const CELL_GONE = 'ячейка удалена'

function dayKey(d: Date): string {
  return `${d.getFullYear()}-${d.getMonth()}-${d.getDate()}`
}

/** "Сегодня", "Вчера" or the long date without the trailing "г.". */
export function dayHeading(at: Date, now: Date): string {
  if (dayKey(at) === dayKey(now)) return 'Сегодня'
  const yesterday = new Date(now.getFullYear(), now.getMonth(), now.getDate() - 1)
  if (dayKey(at) === dayKey(yesterday)) return 'Вчера'
  return at.toLocaleDateString('ru-RU', { day: 'numeric', month: 'long', year: 'numeric' }).replace(/\s*г\.?$/, '')
}

export function timeText(at: Date): string {
  return `${String(at.getHours()).padStart(2, '0')}:${String(at.getMinutes()).padStart(2, '0')}`
}

export function quantityText(n: number): string {
  return formatQuantity(n, 4)
}

export function entryText(e: HistoryEntry): string {
  const q = `${quantityText(e.quantity)} шт.`
  const from = e.fromCellId === null && e.fromCellPath === '' ? CELL_GONE : e.fromCellPath || CELL_GONE
  const to = e.toCellId === null && e.toCellPath === '' ? CELL_GONE : e.toCellPath || CELL_GONE
  const body =
    e.kind === 'put' ? `Положили ${q} в ${to}`
    : e.kind === 'take' ? `Забрали ${q} из ${from}`
    : e.kind === 'split' ? `Выделили ${q} в ${from}: ${(e.parts ?? []).map((x) => `${x.name} — ${quantityText(x.quantity)} шт.`).join(', ')}`
    : `Перенесли ${q}: ${from} → ${to}`
  return e.undoesId !== null ? `Отмена: ${body}` : body
}

export interface HistoryDay {
  heading: string
  entries: HistoryEntry[]
}

export function groupByDay(entries: readonly HistoryEntry[], now: Date): HistoryDay[] {
  const days: HistoryDay[] = []
  let lastKey = ''
  for (const e of entries) {
    const at = new Date(e.at)
    const key = Number.isNaN(at.getTime()) ? 'unknown' : dayKey(at)
    if (key !== lastKey || days.length === 0) {
      days.push({ heading: Number.isNaN(at.getTime()) ? e.at : dayHeading(at, now), entries: [] })
      lastKey = key
    }
    days[days.length - 1]!.entries.push(e)
  }
  return days
}

export function filterHistory(entries: readonly HistoryEntry[], query: string): HistoryEntry[] {
  const q = query.trim()
  if (q === '') return [...entries]
  const lower = q.toLowerCase()
  return entries.filter(
    (e) =>
      e.productName.toLowerCase().includes(lower) ||
      e.fromCellPath.toLowerCase().includes(lower) ||
      e.toCellPath.toLowerCase().includes(lower) ||
      e.barcode === q ||
      barcodeMatchesBySuffix(e.barcode, q),
  )
}

/** After an undo: the new entry first, the undone one marked. */
export function applyUndo(entries: readonly HistoryEntry[], reply: { item: HistoryEntry; undoneId: number }): HistoryEntry[] {
  return [reply.item, ...entries.filter((e) => e.id !== reply.item.id).map((e) => (e.id === reply.undoneId ? { ...e, undoneById: reply.item.id } : e))]
}

/**
 * Undoes one entry: the new list, or the failure's text with the list as it
 * was (nothing changes locally until the service agreed).
 */
export async function undoInList(
  entries: readonly HistoryEntry[],
  id: number,
  undo: (id: number) => Promise<{ item: HistoryEntry; undoneId: number }>,
  textOf: (err: unknown) => string,
): Promise<{ entries: readonly HistoryEntry[]; error?: string }> {
  try {
    return { entries: applyUndo(entries, await undo(id)) }
  } catch (err) {
    return { entries, error: textOf(err) }
  }
}
