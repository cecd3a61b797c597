/**
 * What the FBO rows, the content dialog and the supply page say: row texts
 * and buttons, the stage bar, the details, and the texts of refused or
 * unanswered requests. Pure.
 */
import type { Payload } from '../../../core/envelope'
import { ruPlural } from '../../../core/plural'
import { longDateTime } from '../../../core/ruDates'
import { isRateLimited, labelPauseText, pauseSeconds } from '../ozonLogic'
import { waitText } from '../../wb/wbTask'
import { supplyTitle, text, type FboContent, type FboSupplyPage, type FboSupplyRow } from './fboRecords'

// ---- list rows

export const LIST_FAILED = 'Ozon не отдал список поставок'
export const SERVER_SILENT_LIST = 'Сервер не ответил. Попробуйте обновить позже'

/** "№ 2000012345", or "№ Поставка 123" without an order number. */
export function rowNumber(r: Pick<FboSupplyRow, 'orderNumber' | 'supplyId'>): string {
  return `№ ${r.orderNumber || `Поставка ${r.supplyId}`}`
}

export function rowStatus(r: Pick<FboSupplyRow, 'stateText' | 'state'>): string {
  return r.stateText || r.state
}

export function cargoText(n: number): string {
  return n > 0 ? `${n} ${ruPlural(n, 'грузоместо', 'грузоместа', 'грузомест')}` : 'грузомест пока нет'
}

const two = (n: number) => String(n).padStart(2, '0')

/** "10.12.26"; the text itself when it is no date. */
export function shortDate(value: string): string {
  const at = new Date(value)
  if (value === '' || Number.isNaN(at.getTime())) return value
  return `${two(at.getDate())}.${two(at.getMonth() + 1)}.${two(at.getFullYear() % 100)}`
}

/** "10 декабря 2026, 09:15"; the text itself when it is no date. */
export function longDate(value: string): string {
  const ms = Date.parse(value)
  return value === '' || Number.isNaN(ms) ? value : longDateTime(ms)
}

const ASSEMBLY = 'assembly'

/** A supply still being assembled: no state yet, or the assembly state. */
export function inAssembly(state: string): boolean {
  const s = state.trim().toLowerCase()
  return s === '' || s === ASSEMBLY
}

/** The row's buttons: which are shown. */
export function rowActions(r: FboSupplyRow): { assemble: boolean; content: boolean; productLabels: boolean; cargoLabels: boolean } {
  return { assemble: inAssembly(r.state), content: r.bundleId !== '', productLabels: r.bundleId !== '', cargoLabels: r.cargoCount > 0 }
}

/** The failure of the list request as the page shows it. */
export function listErrorText(p: Payload): string {
  return text(p.message) || text(p.error) || LIST_FAILED
}

// ---- the content dialog

export const CONTENT_TEXTS = {
  loading: 'Запрашиваем состав…',
  noBundle: 'У поставки нет состава — Ozon его не передал',
  empty: 'В поставке нет товаров',
  timeout: 'Сервер не ответил — состав поставки не получен. Попробуйте еще раз',
  unnamed: 'Товар без названия',
} as const

export function contentTitle(r: Pick<FboSupplyRow, 'orderNumber' | 'supplyId'>): string {
  return `Состав поставки № ${supplyTitle(r)}`
}

/** "3 товара · 25 шт." */
export function contentCounts(c: Pick<FboContent, 'itemsCount' | 'itemsTotal'>): string {
  return `${c.itemsCount} ${ruPlural(c.itemsCount, 'товар', 'товара', 'товаров')} · ${c.itemsTotal} шт.`
}

/** "Показаны первые 500 из 600 строк" when the server sent only part of the rows, else ''. */
export function contentShownText(c: Pick<FboContent, 'itemsCount' | 'itemsShown'>): string {
  return c.itemsShown < c.itemsCount ? `Показаны первые ${c.itemsShown} из ${c.itemsCount} строк` : ''
}

export function contentFailureText(err: unknown, timedOut: boolean): string {
  if (timedOut) return CONTENT_TEXTS.timeout
  return `Не удалось получить состав поставки: ${err instanceof Error ? err.message : String(err)}`
}

// ---- supply labels

export type SupplyLabelKind = 'cargo' | 'products'

export const LABEL_REQUEST: Readonly<Record<SupplyLabelKind, string>> = {
  cargo: 'ozonSupplyLabel',
  products: 'ozonSupplyProductLabels',
}

export const LABEL_SILENT = 'Сервер не ответил по поставке'

export function labelAskingText(kind: SupplyLabelKind, title: string): string {
  return kind === 'cargo' ? `Запрашиваем этикетки поставки ${title}` : `Запрашиваем этикетки товаров поставки ${title}`
}

/** "Этикетки поставки 123 отправлены на принтер «X» этого компьютера"; `where` is what follows the verb. */
export function labelSentText(kind: SupplyLabelKind, title: string, where: string): string {
  const what = kind === 'cargo' ? `Этикетки поставки ${title}` : `Этикетки товаров поставки ${title}`
  return `${what} отправлены ${where}`
}

export function noBundleLabelText(title: string): string {
  return `У поставки ${title} нет bundleId — этикетки товаров не напечатать`
}

export function noLinkText(kind: SupplyLabelKind): string {
  return kind === 'cargo' ? 'Этикетки поставки пока не готовы — попробуйте через минуту' : 'Этикетки товаров пока не готовы — попробуйте через минуту'
}

const LABEL_BY_CODE: Readonly<Record<string, string>> = {
  'no-cargoes': 'В поставке нет грузомест — печатать нечего',
  'no-items': 'В поставке нет товаров — печатать нечего',
  'label-error': 'Ozon не подготовил этикетки поставки. Попробуйте еще раз',
  'ozon-error': 'Ozon ответил ошибкой. Попробуйте через минуту',
  'no-integration': 'Магазин Ozon не подключен — подключите его в настройках',
  'settings-error': 'Магазин Ozon подключен с ошибкой — проверьте ключи в настройках',
  'bad-request': 'Сервер не принял запрос этикеток. Попробуйте еще раз',
}

/** A positive wait in seconds from `retryAfterSec` or `retryAfter`, else null. */
function knownWait(p: Payload): number | null {
  for (const v of [p.retryAfterSec, p.retryAfter]) {
    const n = typeof v === 'number' ? v : typeof v === 'string' && v.trim() !== '' ? Number(v) : NaN
    if (Number.isFinite(n) && n > 0) return Math.ceil(n)
  }
  return null
}

/** Whether a label answer is a refusal. */
export const isRefusedLabel = (p: Payload): boolean => text(p.errorCode) !== '' || text(p.error) !== ''

/** The text of a refused supply label request; rate limits are told apart by `isRateLimited`. */
export function supplyLabelErrorText(p: Payload): string {
  if (isRateLimited(p)) return labelPauseText(pauseSeconds(p))
  const code = text(p.errorCode) || text(p.error)
  if (code === 'label-not-ready') {
    const wait = knownWait(p)
    return `Ozon еще готовит этикетки — нажмите печать ${wait === null ? 'через минуту' : waitText(wait)}`
  }
  return text(p.message) || LABEL_BY_CODE[code] || text(p.error) || LABEL_BY_CODE['label-error']!
}

// ---- the supply page

export const PAGE_TEXTS = {
  loading: 'Загрузка поставки…',
  notFound: 'Поставка не найдена',
  retry: 'Повторить',
  blockersHeading: 'Что осталось сделать',
  readyToShip: 'Поставка готова к отгрузке',
  cargoClosed: 'Грузоместа уже не изменить — поставка ушла',
} as const

export function pageTitle(p: Pick<FboSupplyPage, 'orderNumber' | 'supplyId'>): string {
  return `Поставка №${p.orderNumber || p.supplyId}`
}

export type StepState = 'done' | 'current' | 'todo'
export interface StageStep {
  title: string
  state: StepState
}

const STAGES: ReadonlyArray<readonly [key: string, title: string]> = [
  ['assembly', 'Сборка'],
  ['ready', 'Готова'],
  ['shipped', 'Отгружена'],
  ['transit', 'В пути'],
  ['acceptance', 'Приемка'],
  ['done', 'Завершена'],
]

const REJECTED = 'REJECTED_AT_SUPPLY_WAREHOUSE'

export function isCancelledSupply(p: Pick<FboSupplyPage, 'stage' | 'state'>): boolean {
  const stage = p.stage.toLowerCase()
  return stage === 'cancelled' || stage === 'canceled' || p.state === REJECTED || p.state.toUpperCase() === 'CANCELLED'
}

/** The stage key, a stage outside the known ones counting as assembly; '' when cancelled. */
export function stageKey(p: Pick<FboSupplyPage, 'stage' | 'state'>): string {
  if (isCancelledSupply(p)) return ''
  return STAGES.some(([k]) => k === p.stage) ? p.stage : ASSEMBLY
}

/** The stage bar: the server's own list when it sent one, else the known stages up to the current one. */
export function stageBar(p: Pick<FboSupplyPage, 'stage' | 'state' | 'stages'>): { steps: StageStep[]; cancelled: string } {
  const cancelled = isCancelledSupply(p) ? (p.state === REJECTED ? 'Отказано в приемке' : 'Поставка отменена') : ''
  if (p.stages.length > 0)
    return { steps: p.stages.map((s) => ({ title: s.title, state: s.current ? 'current' : s.done ? 'done' : 'todo' })), cancelled }
  const at = cancelled ? -1 : STAGES.findIndex(([k]) => k === stageKey(p))
  const steps = STAGES.map(([, title], i): StageStep => ({ title, state: at < 0 ? 'todo' : i < at ? 'done' : i === at ? 'current' : 'todo' }))
  return { steps, cancelled }
}

/** The page's details, each with a value; dates in words. */
export function detailRows(p: FboSupplyPage): Array<{ label: string; value: string }> {
  const marking = p.markingRequired ? 'Обязательна' : p.markingPossible ? 'Возможна' : 'Не нужна'
  const rows = [
    { label: 'Магазин', value: p.storeTitle },
    { label: 'Склад', value: p.warehouse },
    { label: 'Адрес', value: p.address },
    { label: 'Создана', value: longDate(p.createdAt) },
    { label: 'Обновлена', value: longDate(p.stateUpdatedAt) },
    { label: 'Заполнить данные до', value: longDate(p.dataFillingDeadline) },
    { label: 'Маркировка', value: marking },
  ]
  return rows.filter((r) => r.value !== '')
}

/** What the blockers panel says: the heading with the texts, the ready note, or nothing after the supply left. */
export function blockersPanel(p: FboSupplyPage): { heading: string; items: string[] } | null {
  if (p.blockers.length > 0) return { heading: PAGE_TEXTS.blockersHeading, items: p.blockers }
  const stage = stageKey(p)
  return stage === 'assembly' || stage === 'ready' ? { heading: PAGE_TEXTS.readyToShip, items: [] } : null
}

/** Cargo places may be laid out at assembly and ready unless the edit deadline passed. */
export function cargoEditable(p: FboSupplyPage): boolean {
  const stage = stageKey(p)
  return (stage === 'assembly' || stage === 'ready') && p.rules.editDeadline.satisfied
}

/** Assembly is open at the assembly stage for a supply with items. */
export function assemblyOpen(p: FboSupplyPage): boolean {
  return stageKey(p) === 'assembly' && p.items.length > 0
}

// ---- saving content and cargo places

export const SAVE_TEXTS = {
  contentSaved: 'Состав сохранён',
  contentTimeout: 'Сервер не ответил — состав не сохранён. Попробуйте еще раз',
  cargoSaved: 'Грузоместа сохранены',
  cargoTimeout: 'Сервер не ответил — грузоместа не сохранены. Попробуйте еще раз',
  ozonSilent: 'Ozon не ответил — повторите позже',
} as const

/** A refused save: Ozon's wait when it named one, else the server's text, else that Ozon did not answer. */
export function saveErrorText(p: Payload): string {
  const wait = isRateLimited(p) ? knownWait(p) : null
  if (wait !== null) return `Ozon просит подождать ${wait} секунд`
  if (isRateLimited(p)) return SAVE_TEXTS.ozonSilent
  return text(p.message) || text(p.error) || SAVE_TEXTS.ozonSilent
}
