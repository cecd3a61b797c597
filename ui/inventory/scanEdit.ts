/** Editing one unit of a session: the form read into a change, and a change applied to a queued scan. */
import type { QueuedScan } from './scanQueue'

export const NOTE_MAX = 1000

export interface ScanChange { note: string; qty: number; cellId: number | null }
export type EditCheck = { ok: true; change: ScanChange } | { ok: false; error: string }

const WHOLE = /^\d+$/

/** The dialog's fields as typed: the note trimmed, a whole quantity ≥ 1, the cell a positive number or empty. */
export function readEdit(form: { note: string; qty: string; cell: string }): EditCheck {
  const note = form.note.trim()
  if (note.length > NOTE_MAX) return { ok: false, error: `Заметка длиннее ${NOTE_MAX} символов` }
  const qtyText = form.qty.trim()
  const qty = Number(qtyText)
  if (!WHOLE.test(qtyText) || !Number.isSafeInteger(qty) || qty < 1) return { ok: false, error: 'Количество — целое число от 1' }
  const cellText = form.cell.trim()
  const cell = Number(cellText)
  if (cellText !== '' && (!WHOLE.test(cellText) || !Number.isSafeInteger(cell) || cell < 1)) return { ok: false, error: 'Ячейка — номер ячейки или пусто' }
  return { ok: true, change: { note, qty, cellId: cellText === '' ? null : cell } }
}

/** Only what differs from the unit as it stands (nothing to send when nothing changed). */
export function changedFields(now: ScanChange, next: ScanChange): Partial<ScanChange> {
  const out: Partial<ScanChange> = {}
  if (next.note !== now.note) out.note = next.note
  if (next.qty !== now.qty) out.qty = next.qty
  if (next.cellId !== now.cellId) out.cellId = next.cellId
  return out
}

/** The queue with one scan changed; null when the scan is no longer there (it reached the service meanwhile). */
export function editQueued(queue: readonly QueuedScan[], scanUid: string, change: Partial<ScanChange>): QueuedScan[] | null {
  if (!queue.some((q) => q.scanUid === scanUid)) return null
  return queue.map((q) => (q.scanUid === scanUid ? { ...q, ...change } : q))
}
