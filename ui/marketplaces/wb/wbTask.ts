/**
 * Wildberries assembly tasks as the server sends them, read defensively, and
 * everything shown about one: display number, stage, price, shop, date; the
 * list's search and shop chips; the wait after a rate limit. Pure.
 */
import { formatPrice } from '../../core/numbers'

export interface WbTask {
  id: number
  rid: string
  number: string
  article: string
  barcode: string
  supplierStatus: string
  supplyId: string
  /** null when the server sent no usable price */
  priceKopecks: number | null
  createdAt: string
  shop: string
  sellerId: string
}

export interface WbShopRef {
  sellerId: string
  title: string
  organizationName: string
}

export type WbStageKey = 'new' | 'assembly' | 'supply' | 'done' | 'cancel'

export interface WbStage {
  key: WbStageKey
  text: string
}

const str = (v: unknown): string => (typeof v === 'string' ? v : typeof v === 'number' && Number.isFinite(v) ? String(v) : '')
const isRecord = (v: unknown): v is Record<string, unknown> => typeof v === 'object' && v !== null && !Array.isArray(v)

/** A task id: a positive whole number, also when it came as text. */
export function taskId(v: unknown): number | undefined {
  const n = typeof v === 'number' ? v : typeof v === 'string' && /^\s*\d+\s*$/.test(v) ? Number(v) : NaN
  return Number.isSafeInteger(n) && n > 0 ? n : undefined
}

/** One task of an answer; undefined without a usable `id`. */
export function readTask(raw: unknown): WbTask | undefined {
  if (!isRecord(raw)) return undefined
  const id = taskId(raw.id)
  if (id === undefined) return undefined
  const price = raw.priceKopecks
  return {
    id,
    rid: str(raw.rid),
    number: str(raw.number),
    article: str(raw.article),
    barcode: str(raw.barcode),
    supplierStatus: str(raw.supplierStatus),
    supplyId: str(raw.supplyId),
    priceKopecks: typeof price === 'number' && Number.isFinite(price) ? price : null,
    createdAt: str(raw.createdAt),
    shop: str(raw.shop),
    sellerId: str(raw.sellerId),
  }
}

export function readTasks(raw: unknown): WbTask[] {
  return (Array.isArray(raw) ? raw : []).map(readTask).filter((t): t is WbTask => t !== undefined)
}

/** The fields of an answer that change a task (a confirm or supply answer), merged over `task`. */
export function mergeTask(task: WbTask, answer: Record<string, unknown>): WbTask {
  const read = readTask({ ...task, ...answer, id: task.id })
  return read ?? task
}

export function readShops(raw: unknown): WbShopRef[] {
  return (Array.isArray(raw) ? raw : [])
    .filter(isRecord)
    .map((s) => ({ sellerId: str(s.sellerId).trim(), title: str(s.title).trim(), organizationName: str(s.organizationName).trim() }))
    .filter((s) => s.sellerId !== '')
}

export function displayNumber(t: Pick<WbTask, 'id' | 'rid' | 'number'>): string {
  return t.rid.trim() || t.number.trim() || String(t.id)
}

export function taskLine(t: Pick<WbTask, 'id'>): string {
  return `Задание WB № ${t.id}`
}

const CANCELLED = new Set(['cancel', 'cancel_carrier', 'declined'])

export function stageOf(t: Pick<WbTask, 'supplierStatus' | 'supplyId'>): WbStage {
  const status = t.supplierStatus.trim().toLowerCase()
  if (status === 'confirm') return t.supplyId.trim() !== '' ? { key: 'supply', text: 'В поставке' } : { key: 'assembly', text: 'На сборке' }
  if (status === 'complete') return { key: 'done', text: 'Собрано' }
  if (CANCELLED.has(status)) return { key: 'cancel', text: 'Отменено' }
  return { key: 'new', text: 'Новое' }
}

export function inSupply(t: Pick<WbTask, 'supplyId'>): boolean {
  return t.supplyId.trim() !== ''
}

/** "1234,56 ₽"; null when the price is unknown or negative. */
export function priceText(kopecks: number | null): string | null {
  if (kopecks === null || !Number.isFinite(kopecks) || kopecks < 0) return null
  return formatPrice(kopecks / 100)
}

export function shopLabel(t: Pick<WbTask, 'shop' | 'sellerId'>): string {
  return t.shop.trim() || t.sellerId.trim() || '—'
}

const two = (n: number) => String(n).padStart(2, '0')

/** "10.12.26", and " 09:41" when the text carries a time; the text itself when it is no date. */
export function dateText(value: string): string {
  const text = value.trim()
  if (text === '') return ''
  const at = new Date(text)
  if (Number.isNaN(at.getTime())) return text
  const day = `${two(at.getDate())}.${two(at.getMonth() + 1)}.${two(at.getFullYear() % 100)}`
  return /\d{1,2}:\d{2}/.test(text) ? `${day} ${two(at.getHours())}:${two(at.getMinutes())}` : day
}

// ---- search and shops

function searchForm(text: string): string {
  return text.trim().toLowerCase().replace(/-/g, '')
}

/** True when `query` (trimmed, any case, dashes ignored) is inside the number, id, article or barcode. */
export function matchesSearch(t: WbTask, query: string): boolean {
  const q = searchForm(query)
  if (q === '') return true
  return [t.number, String(t.id), t.article, t.barcode].some((field) => searchForm(field).includes(q))
}

export interface ShopChip {
  sellerId: string
  title: string
}

/** The shop filter's chips: the answer's shops, then shops seen only in tasks; none for a single shop. */
export function shopChips(shops: readonly WbShopRef[], tasks: readonly WbTask[]): ShopChip[] {
  const chips: ShopChip[] = shops.map((s) => ({ sellerId: s.sellerId, title: s.title || s.organizationName || s.sellerId }))
  const known = new Set(chips.map((c) => c.sellerId))
  for (const t of tasks) {
    const sellerId = t.sellerId.trim()
    if (sellerId === '' || known.has(sellerId)) continue
    known.add(sellerId)
    chips.push({ sellerId, title: t.shop.trim() || sellerId })
  }
  return chips.length > 1 ? chips : []
}

// ---- rate limits

export const DEFAULT_WAIT_S = 60

/** Seconds to wait after a rate limit: `retryAfter` (number or numeric text) > 0 rounded up, else 60. */
export function waitSeconds(retryAfter: unknown): number {
  const n = typeof retryAfter === 'number' ? retryAfter : typeof retryAfter === 'string' && retryAfter.trim() !== '' ? Number(retryAfter) : NaN
  return Number.isFinite(n) && n > 0 ? Math.ceil(n) : DEFAULT_WAIT_S
}

/** "через 8 с", or "через минуту" for the default wait. */
export function waitText(seconds: number): string {
  return seconds === DEFAULT_WAIT_S ? 'через минуту' : `через ${seconds} с`
}

/** The same wait as a duration: "8 с" or "минуту" ("Подождите 8 с …"). */
export function waitDuration(seconds: number): string {
  return seconds === DEFAULT_WAIT_S ? 'минуту' : `${seconds} с`
}
