/** Texts of the queue screen. Pure. */
import { ruPlural } from './plural'
import type { QueuedCompletion } from './sendQueue'

const two = (n: number) => String(n).padStart(2, '0')

/** "dd.mm, hh:mm" in local time. */
export function queueTimeText(ms: number): string {
  const d = new Date(ms)
  return `${two(d.getDate())}.${two(d.getMonth() + 1)}, ${two(d.getHours())}:${two(d.getMinutes())}`
}

/** Number of marks in the completion lines. */
export function markCount(entry: Pick<QueuedCompletion, 'items' | 'markIdentities'>): number {
  let n = 0
  for (const item of entry.items) {
    const marks = typeof item === 'object' && item !== null ? (item as { marks?: unknown }).marks : undefined
    if (Array.isArray(marks)) n += marks.length
  }
  return n || entry.markIdentities.length
}

/** "Позиций: <n>" and ", марок: <m>" when marks exist. */
export function contentsText(entry: Pick<QueuedCompletion, 'items' | 'markIdentities'>): string {
  const marks = markCount(entry)
  return `Позиций: ${entry.items.length}${marks > 0 ? `, марок: ${marks}` : ''}`
}

/** The entry's error line, or "" when it has none. */
export function entryErrorText(entry: Pick<QueuedCompletion, 'refused' | 'attempts' | 'lastError'>): string {
  if (entry.refused) return `Сервер не принял: ${entry.lastError ?? ''} Удалите документ из очереди.`
  if (entry.lastError) return `Попыток: ${entry.attempts} · ${entry.lastError}`
  return ''
}

/** "<n> документ(а/ов) не попадет/попадут на сервер. Это нельзя отменить." — clearing the whole queue. */
export function clearQueueText(n: number): string {
  const what = ruPlural(n, `${n} документ не попадет`, `${n} документа не попадут`, `${n} документов не попадут`)
  return `${what} на сервер. Это нельзя отменить.`
}
