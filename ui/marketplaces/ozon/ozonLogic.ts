/**
 * Ozon postings: reading the server's answers, the rate-limit test and the
 * texts the Ozon store shows. No I/O here.
 */
import type { Payload } from '../../core/envelope'
import { ruPlural } from '../../core/plural'
import { waitSeconds, waitText } from '../wb/wbTask'

export interface OzonPosting {
  postingNumber: string
  status: string
  labelUrl: string
  shopPrinterId?: string
  shopPrinterLabel?: string
  /** the shipment document that stands for it, once known */
  documentId?: string
}

export const RATE_LIMITED_CODE = 'ozon-rate-limited'
export const LABEL_ATTEMPTS = 6
export const LABEL_RETRY_S = 5

export const LABEL_NOT_READY = 'Ozon еще не подготовил этикетку — нажмите печать через минуту'
export const LABEL_PREPARING = 'Ozon готовит этикетку…'
export const LABEL_PENDING = 'Ozon еще готовит этикетку — напечатаем, как будет готова'
export const LABEL_NONE = 'Этикетки пока нет — попробуйте через минуту'

const POSTING_RE = /(?<!\d)\d{6,14}-\d{4}-\d{1,2}(?!\d)/

/** The Ozon posting number inside a text, or ''. */
export function postingIn(text: string): string {
  return POSTING_RE.exec(text)?.[0] ?? ''
}

const str = (v: unknown) => (typeof v === 'string' ? v.trim() : '')

/** Postings read leniently; entries without a posting number are dropped. */
export function readPostings(raw: unknown): OzonPosting[] {
  if (!Array.isArray(raw)) return []
  const out: OzonPosting[] = []
  for (const r of raw) {
    if (r === null || typeof r !== 'object') continue
    const o = r as Record<string, unknown>
    const number = str(o.postingNumber) || str(o.posting_number)
    if (number === '') continue
    out.push({ postingNumber: postingIn(number) || number, status: str(o.status), labelUrl: str(o.labelUrl) || str(o.label_url) })
  }
  return out
}

export function isCancelled(status: string): boolean {
  return status === 'cancelled' || status === 'not_accepted'
}

/** Whether an answer says Ozon limited the shop's requests. */
export function isRateLimited(p: Payload): boolean {
  if (str(p.errorCode) === RATE_LIMITED_CODE) return true
  const text = [p.error, p.message].map(str).join(' ').toLowerCase()
  return /(?<!\d)429(?!\d)/.test(text) || text.includes('too many requests') || /rate.?limit/.test(text) || text.includes('ограничил запросы')
}

/** Seconds of the pause an answer asks for (rounded up; a minute when absent). */
export const pauseSeconds = (p: Payload) => waitSeconds(p.retryAfter)

export function listPauseText(seconds: number): string {
  const wait = seconds === 60 ? 'минуту' : `${seconds} с`
  return `Ozon временно ограничил запросы этого магазина. Подождите ${wait} и нажмите «Обновить»`
}
export const labelPauseText = (seconds: number) =>
  `Ozon временно ограничил запросы магазина, этикетка не напечатана. Повторите ${waitText(seconds)}`
export const shipPauseText = (seconds: number) =>
  `Ozon временно ограничил запросы магазина, отправление не передано. Повторите ${waitText(seconds)}`

const SHIP_BY_CODE: Record<string, string> = {
  'no-integration': 'Подключите магазин Ozon в настройках',
  'bad-request': 'Не удалось передать отправление: некорректный запрос',
  'settings-error': 'Не удалось передать отправление: ошибка настроек. Попробуйте позже',
  'ozon-error': 'Ozon не принял отправление. Попробуйте еще раз',
}

const bare = (s: string) => s.replace(/[.;]+$/, '').trim()

/** The text of a refused ship (not rate-limited, not wrong-status). */
export function shipErrorText(p: Payload): string {
  const parts = [...new Set([str(p.error), str(p.message)].map(bare).filter((s) => s !== ''))]
  const joined = parts.join('. ')
  if (joined === '') return SHIP_BY_CODE[str(p.errorCode)] ?? 'Не удалось передать отправление в Ozon'
  if (joined.includes('MANDATORY_MARK_HAS_INCORRECT_CRYPTOTAIL'))
    return 'Ozon не принял код маркировки: не совпал криптохвост. Повторите передачу, а если отказ повторится — обратитесь в поддержку'
  if (/Request validation error|invalid \p{L}|Error:|[[\]{}()]/u.test(joined) || joined.length > 160)
    return 'Ozon не принял отправление. Подробности сохранены для поддержки.'
  return joined
}

const LABEL_BY_CODE: Record<string, string> = {
  'no-integration': 'Магазин Ozon не подключен — подключите его в личном кабинете, раздел «Маркетплейсы»',
  'not-ozon': 'Ozon не знает такого отправления. Если заказ уже уехал, этикетку печатать поздно; если магазин подключили только что — обновите список отгрузок',
  'posting-not-found': 'Ozon не знает такого отправления. Если заказ уже уехал, этикетку печатать поздно; если магазин подключили только что — обновите список отгрузок',
  'pending-timeout': 'Ozon не приготовил этикетку за минуту. Попробуйте еще раз',
  'settings-error': 'Магазин Ozon подключен с ошибкой — проверьте ключи в личном кабинете, раздел «Маркетплейсы»',
  'bad-request': 'Сервер не принял запрос этикетки. Попробуйте еще раз, а если повторится — скажите поддержке',
}

/** The text of a refused label request (not rate-limited by code). */
export function labelErrorText(p: Payload): string {
  const code = str(p.errorCode) || str(p.error)
  const text = str(p.error) || str(p.message)
  if (code === 'ozon-error') {
    if (text === '' || text === code) return 'Ozon ответил ошибкой. Попробуйте через минуту'
    if (isRateLimited({ error: text })) return labelPauseText(pauseSeconds(p))
    return text.includes('не отдал этикетку') ? text : `Ozon не отдал этикетку: ${text}`
  }
  if (str(p.errorCode) !== '' && text !== '' && LABEL_BY_CODE[code] === undefined) return text
  if (LABEL_BY_CODE[code] !== undefined) return LABEL_BY_CODE[code]
  if (/[\s\p{Script=Cyrillic}]/u.test(code)) return code
  return `Этикетку напечатать не удалось. Сервер ответил «${code}» — этого ответа приложение пока не знает, покажите код поддержке`
}

// ---- statuses and the list

export const OZON_STATUS_TEXT: Readonly<Record<string, string>> = {
  awaiting_registration: 'ожидает регистрации',
  acceptance_in_progress: 'идет приемка',
  awaiting_approve: 'ожидает подтверждения',
  awaiting_packaging: 'ожидает сборки',
  awaiting_deliver: 'ожидает отгрузки',
  arbitration: 'арбитраж',
  client_arbitration: 'клиентский арбитраж',
  delivering: 'доставляется',
  driver_pickup: 'у водителя',
  delivered: 'доставлен',
  cancelled: 'отменен',
  not_accepted: 'не принят',
}

/** A status as the list shows it; an unknown one as it is. */
export const statusText = (status: string) => OZON_STATUS_TEXT[status] ?? status

const orders = (n: number) => `${n} ${ruPlural(n, 'заказ', 'заказа', 'заказов')}`

/** The note after matching the answer's postings to the shipment documents. */
export function matchNote(postings: number, matched: number): string {
  if (postings === 0 && matched === 0) return 'Заказов Ozon, ожидающих сборку, не нашлось'
  if (matched === 0) return `Ozon отдал ${orders(postings)}, но ни один не совпал с отгрузками в списке — проверьте склад и дату`
  const left = postings - matched
  return `Найдено ${orders(matched)} Ozon, этикетки запрашиваются при сборке${left > 0 ? `, ${left} без отгрузки в МоемСкладе` : ''}`
}

/** "Ozon временно ограничил запросы, список прежний: обновлено 3 минуты назад". */
export function staleText(loadedAt: number, now: number): string {
  const minutes = Math.floor((now - loadedAt) / 60_000)
  const ago = !Number.isFinite(minutes) || minutes < 1 ? 'обновлено меньше минуты назад' : `обновлено ${minutes} ${ruPlural(minutes, 'минуту', 'минуты', 'минут')} назад`
  return `Ozon временно ограничил запросы, список прежний: ${ago}`
}

// ---- label requests that did not get an answer

export const LABEL_SERVER_SILENT = 'Сервер не ответил за 30 секунд — этикетку не запросить. Попробуйте еще раз'
export const labelFailedText = (message: string) => `Не удалось запросить этикетку: ${message}`
export const SHIP_SERVER_SILENT = 'Сервер не ответил — отправление не передано. Нажмите кнопку передачи еще раз'
export const shipFailedText = (message: string) => `Не удалось передать отправление: ${message}`
/** A posting Ozon cancelled before it was handed over: neither shipped nor labelled. */
export const shipCancelledText = (postingNumber: string) => `Отправление ${postingNumber} отменено — не передано`

// ---- after assembly

export const autoPrintOffText = (n: string) =>
  `Заказ Ozon ${n}: этикетка не печаталась — включите «После сборки печатать: этикетка отправления» в настройках печати`
export const notConfirmedText = (n: string) =>
  `Заказ ${n}: Ozon не подтвердил отправление, этикетка не напечатана — откройте список отгрузок и нажмите «Загрузить»`
export const requestingText = (n: string) => `Запрашиваем этикетку Ozon ${n}`
export const printFailedText = (reason: string) => `Этикетку не удалось напечатать: ${reason}`
export const PRODUCTS_PRINTED = 'Этикетки товаров отправлены на принтер'

/** The text of one product label that did not print. */
export function productFailureText(name: string, p: Payload | null): string {
  if (p === null) return `Сервер не ответил по товару «${name}»`
  const code = str(p.errorCode)
  if (code === 'no-barcode') return `У товара «${name}» в Ozon нет штрихкода`
  if (code === 'product-not-found') return `Товар «${name}» не найден в Ozon`
  if (isRateLimited(p))
    return `Этикетка товара «${name}» не напечатана: Ozon временно ограничил запросы магазина. Повторите ${waitText(pauseSeconds(p))}`
  const parts = [...new Set([str(p.error), str(p.message)].map(bare).filter((s) => s !== ''))]
  return parts.length > 0 ? `Товар «${name}»: ${parts.join('. ')}` : `Не удалось получить этикетку товара «${name}»`
}

// ---- the check in the settings

export const CHECK_SERVER_SILENT = 'сервер не ответил за 30 секунд — проверьте, что он умеет команду ozonPostings'

/** The text of the settings' "Проверить связь с Ozon" for an `ozonPostings` answer. */
export function connectionCheckText(p: Payload): string {
  const error = str(p.error)
  if (error !== '' || str(p.errorCode) !== '') {
    if (error.startsWith('Ozon временно ограничил запросы')) return error
    if (isRateLimited(p)) return listPauseText(pauseSeconds(p))
    return `Ozon не ответил: ${error || str(p.errorCode)}`
  }
  if (p.configured === false) return 'Магазин Ozon не подключен — ключи вводятся в личном кабинете, в настройках аккаунта'
  const postings = readPostings(p.postings)
  if (postings.length === 0) return 'Связь есть, заказов в ожидании сборки сейчас нет'
  const first = postings.slice(0, 5).map((x) => `${x.postingNumber} (${statusText(x.status)})`)
  const rest = postings.length - first.length
  const list = `${first.join(', ')}${rest > 0 ? ` и еще ${rest}` : ''}`
  return `Связь есть: в ожидании сборки — ${orders(postings.length)}${p.incomplete === true ? ', показаны не все — Ozon отдал первую страницу' : ''}: ${list}`
}
