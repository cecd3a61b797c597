/** Texts of the document list: load progress, the load-more button, notes and dates. Pure. */
import { ruPlural } from '../core/plural'

export const EMPTY_FIRST_PAGE_NOTE =
  'Список документов пришел пустым. Если в МоемСкладе документы есть, проверьте в личном кабинете, какие статусы выбраны для этого вида документов: показываются только они'

export function failedAfterPagesNote(loaded: number): string {
  const word = ruPlural(loaded, 'документ', 'документа', 'документов')
  return `Загружено ${loaded} ${word}, дальше МойСклад не ответил. Нажмите «Загрузить еще», чтобы повторить`
}

/** How many documents this run aims at: the total when it is within reach, else what is known plus the budget. */
export function listTarget(total: number | undefined, known: number, budget: number): number | undefined {
  return total === undefined ? undefined : Math.min(total, known + budget)
}

export function progressText(loaded: number, target?: number, total?: number): string {
  if (target === undefined) return `Загружено ${loaded}…`
  const all = total !== undefined && total > target ? ` (всего ${total})` : ''
  return `Загружено ${loaded} из ${target}…${all}`
}

export function loadMoreText(total: number | undefined, seen: number): string {
  return total === undefined || total - seen <= 0 ? 'Загрузить еще' : `Загрузить еще ${total - seen}`
}

// ---- dates and times

const pad = (n: number) => String(n).padStart(2, '0')
const hhmm = (d: Date) => `${pad(d.getHours())}:${pad(d.getMinutes())}`
const ddmm = (d: Date) => `${pad(d.getDate())}.${pad(d.getMonth() + 1)}`
const sameDay = (a: Date, b: Date) => a.getFullYear() === b.getFullYear() && a.getMonth() === b.getMonth() && a.getDate() === b.getDate()

/** A document date "YYYY-MM-DD hh:mm[:ss]" (blank or "T" between) as "dd.mm.yy hh:mm"; the time only when given. */
export function documentDateText(text: string): string {
  const m = /^(\d{4})-(\d{2})-(\d{2})(?:[ T](\d{2}):(\d{2}))?/.exec(text.trim())
  if (!m) return text
  const date = `${m[3]}.${m[2]}.${m[1]!.slice(2)}`
  return m[4] === undefined ? date : `${date} ${m[4]}:${m[5]}`
}

/** "hh:mm" today, else "dd.mm hh:mm" (the time cached data are from). */
export function dataTimeText(at: number, now = Date.now()): string {
  const d = new Date(at)
  return sameDay(d, new Date(now)) ? hhmm(d) : `${ddmm(d)} ${hhmm(d)}`
}

/** "✓ <by> · сегодня в hh:mm" ("вчера в", "dd.mm в"). */
export function completedText(at: number, by: string, now = Date.now()): string {
  const d = new Date(at)
  const today = new Date(now)
  const yesterday = new Date(today.getFullYear(), today.getMonth(), today.getDate() - 1)
  const when = sameDay(d, today) ? `сегодня в ${hhmm(d)}` : sameDay(d, yesterday) ? `вчера в ${hhmm(d)}` : `${ddmm(d)} в ${hhmm(d)}`
  return `✓ ${by ? `${by} · ` : ''}${when}`
}

/** The label of a pinned card: "Собран hh:mm" today, else "Собран dd.mm hh:mm". */
export function pinnedLabel(at: number, now = Date.now()): string {
  const d = new Date(at)
  return sameDay(d, new Date(now)) ? `Собран ${hhmm(d)}` : `Собран ${ddmm(d)} ${hhmm(d)}`
}

/** "Контролер не согласен по <n> позиции/позициям" + " · <first checker>". */
export function disputeLine(shortfalls: Array<Record<string, unknown>> | undefined): string {
  const disputed = (shortfalls ?? []).filter((s) => s.disputed === true)
  if (disputed.length === 0) return ''
  const n = disputed.length
  const word = n % 10 === 1 && n % 100 !== 11 ? 'позиции' : 'позициям'
  const name = disputed
    .map((s) => (typeof s.checker === 'object' && s.checker !== null ? (s.checker as Record<string, unknown>).name : undefined))
    .find((v): v is string => typeof v === 'string' && v !== '')
  return `Контролер не согласен по ${n} ${word}${name ? ` · ${name}` : ''}`
}

export function remoteChangeText(number: string, checkState: string): string {
  const doc = number ? `Документ ${number}` : 'Документ'
  return checkState === 'checked' ? `${doc} отмечен проверенным в МоемСкладе` : `${doc} возвращен в работу в МоемСкладе`
}

export function banner(kind: 'loading' | 'failed' | 'offline', time: string): string {
  if (kind === 'loading') return `Обновляем данные… показаны от ${time}`
  if (kind === 'failed') return `Обновить не удалось — показаны данные от ${time}`
  return `Нет связи — работаем офлайн, данные от ${time}`
}
