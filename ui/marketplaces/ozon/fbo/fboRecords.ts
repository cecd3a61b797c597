/**
 * FBO supplies as the server sends them, read defensively once at the edge:
 * list rows, the supply page record and the content answer. Records without
 * a supply id are dropped, absent numbers are 0, absent texts "". Pure.
 */

export interface FboSupplyRow {
  supplyId: string
  orderId: string
  orderNumber: string
  bundleId: string
  state: string
  stateText: string
  warehouse: string
  createdAt: string
  cargoCount: number
  storeTitle: string
  clientId: string
}

export interface FboItem {
  sku: string
  name: string
  offerId: string
  barcode: string
  quantity: number
  /** pieces in one pack of the item; 1 when the server gives none */
  quant: number
}

export type CargoType = 'BOX' | 'PALLET'

export interface CargoPlaceItem {
  barcode: string
  offerId: string
  quantity: number
}

/** A cargo place the supply already has. */
export interface CargoPlace {
  key: string
  type: CargoType
  items: CargoPlaceItem[]
}

/** A step of a ready-made stage list from the server. */
export interface ServerStage {
  title: string
  done: boolean
  current: boolean
}

export interface FboRules {
  packageUnits: { filled: number; total: number }
  distribution: { percent: number }
  /** false: the deadline for changing the supply has passed */
  editDeadline: { satisfied: boolean }
  expireDates: { required: boolean }
}

export interface FboSupplyPage extends FboSupplyRow {
  stage: string
  stages: ServerStage[]
  blockers: string[]
  markingRequired: boolean
  markingPossible: boolean
  stateUpdatedAt: string
  dataFillingDeadline: string
  overdueReason: string
  address: string
  items: FboItem[]
  /** rows of the content in all */
  itemsCount: number
  /** rows the server sent */
  itemsShown: number
  /** pieces in all */
  itemsTotal: number
  canEditContent: boolean
  contentReasons: string[]
  /** places the supply already has: their number, and those whose content the server sent */
  cargoes: { count: number; boxes: number; pallets: number; places: CargoPlace[] }
  rules: FboRules
}

/** The answer of `ozonSupplyItems`. */
export interface FboContent {
  items: FboItem[]
  itemsCount: number
  itemsShown: number
  itemsTotal: number
}

type Rec = Record<string, unknown>
const isRecord = (v: unknown): v is Rec => typeof v === 'object' && v !== null && !Array.isArray(v)
const rec = (v: unknown): Rec => (isRecord(v) ? v : {})

/** A text field; numbers (ids sent as numbers) become text. */
export const text = (v: unknown): string =>
  typeof v === 'string' ? v.trim() : typeof v === 'number' && Number.isFinite(v) ? String(v) : ''

/** A count: a finite number ≥ 0 (numeric text too), whole; else 0. */
export const count = (v: unknown): number => {
  const n = typeof v === 'number' ? v : typeof v === 'string' && v.trim() !== '' ? Number(v) : NaN
  return Number.isFinite(n) && n > 0 ? Math.floor(n) : 0
}

const texts = (v: unknown): string[] => (Array.isArray(v) ? v.map(text).filter((s) => s !== '') : [])

export function readRow(raw: unknown): FboSupplyRow | undefined {
  if (!isRecord(raw)) return undefined
  const supplyId = text(raw.supplyId)
  if (supplyId === '') return undefined
  return {
    supplyId,
    orderId: text(raw.orderId),
    orderNumber: text(raw.orderNumber),
    bundleId: text(raw.bundleId),
    state: text(raw.state),
    stateText: text(raw.stateText),
    warehouse: text(raw.warehouse),
    createdAt: text(raw.createdAt),
    cargoCount: count(raw.cargoCount),
    storeTitle: text(raw.storeTitle),
    clientId: text(raw.clientId),
  }
}

export function readRows(raw: unknown): FboSupplyRow[] {
  return (Array.isArray(raw) ? raw : []).map(readRow).filter((r): r is FboSupplyRow => r !== undefined)
}

export function readItem(raw: unknown): FboItem | undefined {
  if (!isRecord(raw)) return undefined
  const quant = count(raw.quant)
  return {
    sku: text(raw.sku),
    name: text(raw.name),
    offerId: text(raw.offerId),
    barcode: text(raw.barcode),
    quantity: count(raw.quantity),
    quant: quant > 0 ? quant : 1,
  }
}

export function readItems(raw: unknown): FboItem[] {
  return (Array.isArray(raw) ? raw : []).map(readItem).filter((r): r is FboItem => r !== undefined)
}

/** The content counts: rows in all and rows sent default to the rows given, pieces to their sum. */
export function readContent(raw: Rec): FboContent {
  const items = readItems(raw.items)
  return {
    items,
    itemsCount: count(raw.itemsCount) || items.length,
    itemsShown: count(raw.itemsShown) || items.length,
    itemsTotal: count(raw.itemsTotal) || items.reduce((s, i) => s + i.quantity, 0),
  }
}

function readPlaces(raw: unknown, type: CargoType): CargoPlace[] {
  if (!Array.isArray(raw)) return []
  return raw.filter(isRecord).map((p, i) => ({
    key: text(p.key) || `${type === 'BOX' ? 'box' : 'pallet'}-${i + 1}`,
    type,
    items: (Array.isArray(p.items) ? p.items : []).filter(isRecord).map((it) => ({
      barcode: text(it.barcode),
      offerId: text(it.offerId),
      quantity: count(it.quantity),
    })),
  }))
}

/** `boxes` and `pallets` come as numbers or as the places themselves. */
function readCargoes(raw: unknown, rowCount: number): FboSupplyPage['cargoes'] {
  const c = rec(raw)
  const places = [...readPlaces(c.boxes, 'BOX'), ...readPlaces(c.pallets, 'PALLET')]
  const boxes = Array.isArray(c.boxes) ? c.boxes.length : count(c.boxes)
  const pallets = Array.isArray(c.pallets) ? c.pallets.length : count(c.pallets)
  return { count: count(c.count) || boxes + pallets || rowCount, boxes, pallets, places }
}

function readStages(raw: unknown): ServerStage[] {
  if (!Array.isArray(raw)) return []
  return raw
    .map((s) => {
      if (typeof s === 'string') return { title: s.trim(), done: false, current: false }
      const r = rec(s)
      return { title: text(r.title) || text(r.text) || text(r.name), done: r.done === true, current: r.current === true || r.active === true }
    })
    .filter((s) => s.title !== '')
}

function readRules(raw: unknown): FboRules {
  const r = rec(raw)
  const units = rec(r.packageUnits)
  return {
    packageUnits: { filled: count(units.filled), total: count(units.total) },
    distribution: { percent: count(rec(r.distribution).percent) },
    editDeadline: { satisfied: rec(r.editDeadline).satisfied !== false },
    expireDates: { required: rec(r.expireDates).required === true },
  }
}

/** The supply page record; undefined without a supply id. */
export function readPage(raw: unknown): FboSupplyPage | undefined {
  const row = readRow(raw)
  if (!row || !isRecord(raw)) return undefined
  const content = readContent(raw)
  return {
    ...row,
    stage: text(raw.stage),
    stages: readStages(raw.stages),
    blockers: texts(raw.blockers),
    markingRequired: raw.markingRequired === true,
    markingPossible: raw.markingPossible === true,
    stateUpdatedAt: text(raw.stateUpdatedAt),
    dataFillingDeadline: text(raw.dataFillingDeadline),
    overdueReason: text(raw.overdueReason),
    address: text(raw.address),
    ...content,
    canEditContent: raw.canEditContent === true,
    contentReasons: texts(raw.contentReasons),
    cargoes: readCargoes(raw.cargoes, row.cargoCount),
    rules: readRules(raw.rules),
  }
}

/** The supply's number as people say it: the order number, else the supply id. */
export function supplyTitle(s: Pick<FboSupplyRow, 'orderNumber' | 'supplyId'>): string {
  return s.orderNumber || s.supplyId
}

/** Newest `createdAt` first; rows with unreadable dates last; stable otherwise. */
export function orderRows<T extends Pick<FboSupplyRow, 'createdAt'>>(rows: readonly T[]): T[] {
  const at = (r: T) => {
    const ms = Date.parse(r.createdAt)
    return Number.isNaN(ms) ? -Infinity : ms
  }
  return rows
    .map((row, i) => ({ row, i, ms: at(row) }))
    .sort((a, b) => (a.ms === b.ms ? a.i - b.i : b.ms - a.ms))
    .map((x) => x.row)
}

const searchForm = (s: string) => s.trim().toLowerCase().replace(/-/g, '')

/** The Ozon page's search on an FBO row: the query inside the order number, case and dashes ignored. */
export function matchesFboSearch(row: Pick<FboSupplyRow, 'orderNumber'>, query: string): boolean {
  const q = searchForm(query)
  return q === '' || searchForm(row.orderNumber).includes(q)
}
