/**
 * Document and position records as the client holds them. Every payload from
 * the server passes through `normaliseDocument` / `normalisePosition`:
 * records without an id are dropped, absent numbers become 0, absent texts "",
 * and unknown enumeration values take their default.
 */

export type DocumentType = 'receiving' | 'order' | 'shipment' | 'transfer' | 'customer_return'
export type DocumentStatus = 'pending' | 'in_progress' | 'completed'
export type DocumentStage = 'new' | 'collecting' | 'collected' | 'checked'
export type PositionStatus = 'pending' | 'partial' | 'done' | 'excess'

export const DOCUMENT_TYPES: ReadonlyArray<{ type: DocumentType; tile: string; icon: string; listTitle: string }> = [
  { type: 'receiving', tile: 'Приемка', icon: '📥', listTitle: 'Приемки' },
  { type: 'order', tile: 'Заказ покупателя', icon: '🛒', listTitle: 'Заказы покупателя' },
  { type: 'shipment', tile: 'Отгрузка', icon: '🚚', listTitle: 'Отгрузки' },
  { type: 'transfer', tile: 'Перемещение', icon: '🔄', listTitle: 'Документы' },
  { type: 'customer_return', tile: 'Возврат покупателя', icon: '↩️', listTitle: 'Документы' },
]

export interface Person {
  id: string
  name: string
}

export interface Shortfall {
  reason: string
  comment: string
  disputed?: boolean
}

export interface PositionRecord {
  assortmentId: string
  name: string
  code: string
  barcodes: string[]
  required: number
  checked: number
  status: PositionStatus
  cell: string
  cellStock?: number
  warehouseStock?: number
  productFieldValue?: string
  markable?: boolean
  article?: string
  imageUrl?: string
  collectedQuantity?: number
  collectorShortfall?: Shortfall
  checkerShortfall?: Shortfall
  checkedQuantity?: number
  orderedQuantity?: number
}

export interface DocumentRecord {
  id: string
  type: string
  number: string
  date: string
  moment?: string
  counterparty: string
  warehouse: string
  status: DocumentStatus
  totalPositions: number
  checkedPositions: number
  products: PositionRecord[]
  stage?: DocumentStage
  collector?: Person
  checker?: Person
  startedAt?: string
  collectedAt?: string
  shortfalls?: Array<Record<string, unknown>>
  searchCodes?: string[]
  source?: string
  ozonStatus?: string
  postingNumber?: string
  clientId?: string
  storeTitle?: string
  marketplace?: string
  unconfirmed?: boolean
}

type Dict = Record<string, unknown>
const isDict = (v: unknown): v is Dict => typeof v === 'object' && v !== null && !Array.isArray(v)
const text = (v: unknown): string => (typeof v === 'string' ? v : typeof v === 'number' && Number.isFinite(v) ? String(v) : '')
const num = (v: unknown): number => {
  const n = typeof v === 'string' && v.trim() !== '' ? Number(v) : v
  return typeof n === 'number' && Number.isFinite(n) ? n : 0
}
const finiteOrUndefined = (v: unknown): number | undefined => (typeof v === 'number' && Number.isFinite(v) ? v : undefined)
const trimmedOrUndefined = (v: unknown): string | undefined => {
  const t = typeof v === 'string' ? v.trim() : ''
  return t === '' ? undefined : t
}
const STATUSES: readonly DocumentStatus[] = ['pending', 'in_progress', 'completed']
const STAGES: readonly DocumentStage[] = ['new', 'collecting', 'collected', 'checked']

function person(v: unknown): Person | undefined {
  if (!isDict(v)) return undefined
  const id = text(v.id)
  const name = text(v.name)
  return id || name ? { id, name } : undefined
}

function shortfall(v: unknown): Shortfall | undefined {
  if (!isDict(v)) return undefined
  const s: Shortfall = { reason: text(v.reason), comment: text(v.comment) }
  if (typeof v.disputed === 'boolean') s.disputed = v.disputed
  return s
}

/** "pending" at 0, "partial" below `required`, "done" at it, "excess" above. */
export function positionStatus(checked: number, required: number): PositionStatus {
  if (checked <= 0) return 'pending'
  if (checked < required) return 'partial'
  return checked === required ? 'done' : 'excess'
}

/** Keeps data-image URLs and web addresses (relative ones resolved against `base`); drops other schemes. */
export function normaliseImageUrl(raw: unknown, base: string): string | undefined {
  const value = typeof raw === 'string' ? raw.trim() : ''
  if (!value) return undefined
  if (/^data:image\//i.test(value)) return value
  try {
    const url = base ? new URL(value, base.endsWith('/') ? base : base + '/') : new URL(value)
    return url.protocol === 'http:' || url.protocol === 'https:' ? url.href : undefined
  } catch {
    return undefined
  }
}

const IMAGE_KEYS = ['imageUrl', 'image_url', 'image', 'photoUrl', 'photo_url'] as const

/** One line of a contents reply; null when it has no id. */
export function normalisePosition(raw: unknown, serviceBase = ''): PositionRecord | null {
  if (!isDict(raw)) return null
  const assortmentId = text(raw.id)
  if (!assortmentId) return null
  const required = num(raw.quantity)
  const cell = text(raw.cell)
  const p: PositionRecord = {
    assortmentId,
    name: text(raw.name),
    code: text(raw.code),
    barcodes: Array.isArray(raw.barcodes) ? raw.barcodes.map(text).filter(Boolean) : [],
    required,
    checked: 0,
    status: 'pending',
    cell,
  }
  if (Array.isArray(raw.cells)) {
    const cells = raw.cells.filter(isDict)
    const entry = cell ? cells.find((c) => text(c.name) === cell) : cells.length === 1 ? cells[0] : undefined
    const stock = entry ? finiteOrUndefined(entry.stock) : undefined
    if (stock !== undefined) p.cellStock = stock
  }
  const warehouseStock = finiteOrUndefined(raw.warehouseStock)
  if (warehouseStock !== undefined) p.warehouseStock = warehouseStock
  const field = trimmedOrUndefined(raw.productFieldValue)
  if (field !== undefined) p.productFieldValue = field
  if (typeof raw.markable === 'boolean') p.markable = raw.markable
  const article = trimmedOrUndefined(raw.article)
  if (article !== undefined) p.article = article
  const imageRaw = IMAGE_KEYS.map((k) => raw[k]).find((v) => typeof v === 'string' && v.trim() !== '')
  const imageUrl = normaliseImageUrl(imageRaw, serviceBase)
  if (imageUrl !== undefined) p.imageUrl = imageUrl
  const collected = finiteOrUndefined(raw.collectedQuantity)
  if (collected !== undefined) p.collectedQuantity = collected
  const checkedQuantity = finiteOrUndefined(raw.checkedQuantity)
  if (checkedQuantity !== undefined) p.checkedQuantity = checkedQuantity
  const cs = shortfall(raw.collectorShortfall)
  if (cs) p.collectorShortfall = cs
  const ks = shortfall(raw.checkerShortfall)
  if (ks) p.checkerShortfall = ks
  return p
}

/** One item of a list reply; null when it has no id. `products` is always empty. */
export function normaliseDocument(raw: unknown): DocumentRecord | null {
  if (!isDict(raw)) return null
  const id = text(raw.id)
  if (!id) return null
  const source = trimmedOrUndefined(raw.source)
  let status: DocumentStatus = STATUSES.includes(raw.status as DocumentStatus) ? (raw.status as DocumentStatus) : 'pending'
  let ozonStatus = trimmedOrUndefined(raw.ozonStatus)
  // Ozon postings carry the marketplace status; the client's own status is "pending".
  if (source === 'ozon' && typeof raw.status === 'string' && !STATUSES.includes(raw.status as DocumentStatus)) {
    ozonStatus = raw.status
    status = 'pending'
  }
  const d: DocumentRecord = {
    id,
    type: text(raw.type),
    number: text(raw.number),
    date: text(raw.date),
    counterparty: text(raw.counterparty),
    warehouse: text(raw.warehouse),
    status,
    totalPositions: num(raw.totalPositions),
    checkedPositions: num(raw.checkedPositions),
    products: [],
  }
  const moment = trimmedOrUndefined(raw.moment)
  if (moment) d.moment = moment
  if (STAGES.includes(raw.stage as DocumentStage)) d.stage = raw.stage as DocumentStage
  const collector = person(raw.collector)
  if (collector) d.collector = collector
  const checker = person(raw.checker)
  if (checker) d.checker = checker
  for (const k of ['startedAt', 'collectedAt', 'postingNumber', 'clientId', 'storeTitle', 'marketplace'] as const) {
    const v = trimmedOrUndefined(raw[k])
    if (v) d[k] = v
  }
  if (Array.isArray(raw.shortfalls)) d.shortfalls = raw.shortfalls.filter(isDict)
  if (Array.isArray(raw.searchCodes)) d.searchCodes = raw.searchCodes.map(text).filter(Boolean)
  if (source) d.source = source
  if (ozonStatus) d.ozonStatus = ozonStatus
  return d
}

export function normaliseDocuments(items: unknown): DocumentRecord[] {
  return Array.isArray(items) ? items.map(normaliseDocument).filter((d): d is DocumentRecord => d !== null) : []
}

export function normalisePositions(items: unknown, serviceBase = ''): PositionRecord[] {
  return Array.isArray(items)
    ? items.map((i) => normalisePosition(i, serviceBase)).filter((p): p is PositionRecord => p !== null)
    : []
}

/** Positions counted as checked: status "done" or "excess". */
export function checkedPositionCount(products: PositionRecord[]): number {
  return products.filter((p) => p.status === 'done' || p.status === 'excess').length
}
