/**
 * The parts store's records as the screens use them, and the normalisers that
 * turn the service's payloads into them: a record missing a required field is
 * dropped, an absent number is 0 and an absent text "".
 */
import type { Payload } from '../core/envelope'

export interface CellNode {
  id: number
  name: string
  barcode: string | null
  children: CellNode[]
}

export interface Zone {
  id: number
  name: string
  cells: CellNode[]
}

export interface CellRow {
  id: number
  name: string
  barcode: string | null
  depth: number
  parentId: number | null
  zoneId: number
  zoneName: string
  path: string[]
}

export interface CellItem {
  productId: number
  name: string
  internalBarcode: string
  quantity: number
  price: number | null
  comment?: string
}

export interface CellContents {
  cell: { id: number; name: string; barcode: string | null; path: string[]; zoneName: string; zoneId?: number | null }
  items: CellItem[]
}

export interface ProductCell {
  cellId: number
  name: string
  path: string[]
  quantity: number
}

export interface Product {
  id: number
  name: string
  internalBarcode: string
  price: number | null
  comment: string
  quantity?: number
  cellsCount?: number
  cells?: ProductCell[]
}

export interface ProductPage {
  products: Product[]
  total: number
}

export type HistoryKind = 'put' | 'take' | 'move' | 'split'

export interface HistoryEntry {
  id: number
  at: string
  kind: HistoryKind
  productId: number
  productName: string
  barcode: string
  quantity: number
  fromCellId: number | null
  fromCellPath: string
  toCellId: number | null
  toCellPath: string
  comment: string
  undoneById: number | null
  undoesId: number | null
  /** a split: the new products made from the entry's product, in its cell */
  parts?: Array<{ productId: number; name: string; quantity: number }>
}

export interface HistoryPage {
  items: HistoryEntry[]
  nextBeforeId?: number
}

export interface LabelPrintReply {
  printed: boolean
  printedCount: number
  copies: number
  skippedIds: number[]
  printedOn?: string
}

export interface ExportReply {
  url: string
  fileName: string
  rows: number
  products: number
}

export interface ImportPreview {
  uploadId: string
  headers: string[]
  sampleRows: string[][]
  suggestedMapping: Partial<Record<string, number>>
}

export interface ImportProgress {
  uploadId: string
  processed: number
  total?: number
}

export interface ImportResult {
  createdZones: number
  createdCells: number
  createdProducts: number
  updatedPlacements: number
  errors: string[]
  warnings: string[]
  dryRun: boolean
  quantityDefaulted: number
  productsWithoutCell: number
  limitSkipped: number
  /** every row whose product barcode belongs to another product or repeats in the file, or whose product has two prices */
  conflicts: ImportConflict[]
  /** conflicting rows left untouched (no choice, or "skip") */
  conflictsSkipped: number
  /** conflicting rows applied as the same product, as the user chose */
  conflictsMerged: number
}

/** What a conflicting row collides with; `otherLine` 0 is a product already in the store. */
export interface ImportConflict {
  line: number
  kind: 'barcode_taken' | 'barcode_repeated' | 'price_differs'
  name: string
  barcode: string
  otherName: string
  otherLine: number
  price?: number
  otherPrice?: number
}

/** The user's word on a conflicting row: it is the same product, or leave it out. */
export type ImportResolution = 'same' | 'skip'

// ---- field readers

const isObj = (v: unknown): v is Payload => typeof v === 'object' && v !== null && !Array.isArray(v)
export const num = (v: unknown): number => (typeof v === 'number' && Number.isFinite(v) ? v : 0)
const id = (v: unknown): number | undefined => (typeof v === 'number' && Number.isFinite(v) ? v : undefined)
const idOrNull = (v: unknown): number | null => id(v) ?? null
const text = (v: unknown): string => (typeof v === 'string' ? v : typeof v === 'number' ? String(v) : '')
const textOrNull = (v: unknown): string | null => (typeof v === 'string' && v !== '' ? v : null)
const priceOf = (v: unknown): number | null => (typeof v === 'number' && Number.isFinite(v) ? v : null)
const list = (v: unknown): unknown[] => (Array.isArray(v) ? v : [])
const texts = (v: unknown): string[] => list(v).map(text)
const ids = (v: unknown): number[] => list(v).filter((x): x is number => typeof x === 'number' && Number.isFinite(x))

export function normaliseCellNode(raw: unknown): CellNode | null {
  if (!isObj(raw) || id(raw.id) === undefined) return null
  return {
    id: raw.id as number,
    name: text(raw.name),
    barcode: textOrNull(raw.barcode),
    children: list(raw.children).map(normaliseCellNode).filter((c): c is CellNode => c !== null),
  }
}

export function normaliseZone(raw: unknown): Zone | null {
  if (!isObj(raw) || id(raw.id) === undefined) return null
  return {
    id: raw.id as number,
    name: text(raw.name),
    cells: list(raw.cells).map(normaliseCellNode).filter((c): c is CellNode => c !== null),
  }
}

export function normaliseZones(raw: unknown): Zone[] {
  return list(raw).map(normaliseZone).filter((z): z is Zone => z !== null)
}

/** The cell rows of trees: depth first, zones in order, children in order. */
export function flattenZones(zones: readonly Zone[]): CellRow[] {
  const rows: CellRow[] = []
  const walk = (zone: Zone, node: CellNode, depth: number, parentId: number | null, path: string[]) => {
    const here = [...path, node.name]
    rows.push({ id: node.id, name: node.name, barcode: node.barcode, depth, parentId, zoneId: zone.id, zoneName: zone.name, path: here })
    for (const child of node.children) walk(zone, child, depth + 1, node.id, here)
  }
  for (const zone of zones) for (const top of zone.cells) walk(zone, top, 0, null, [])
  return rows
}

export function displayPath(row: Pick<CellRow, 'zoneName' | 'path'>): string {
  return [row.zoneName, ...row.path].join(' → ')
}

export function normaliseCellContents(raw: unknown): CellContents | null {
  if (!isObj(raw) || !isObj(raw.cell) || id(raw.cell.id) === undefined) return null
  const c = raw.cell
  const path = Array.isArray(c.path) ? texts(c.path) : [text(c.name)]
  const cell: CellContents['cell'] = { id: c.id as number, name: text(c.name), barcode: textOrNull(c.barcode), path, zoneName: text(c.zoneName) }
  if ('zoneId' in c) cell.zoneId = idOrNull(c.zoneId)
  const items: CellItem[] = []
  for (const it of list(raw.items)) {
    if (!isObj(it) || id(it.productId) === undefined || typeof it.name !== 'string' || typeof it.internalBarcode !== 'string') continue
    const item: CellItem = { productId: it.productId as number, name: it.name, internalBarcode: it.internalBarcode, quantity: num(it.quantity), price: priceOf(it.price) }
    if (typeof it.comment === 'string' && it.comment !== '') item.comment = it.comment
    items.push(item)
  }
  return { cell, items }
}

export function normaliseProduct(raw: unknown): Product | null {
  if (!isObj(raw) || id(raw.id) === undefined) return null
  const p: Product = { id: raw.id as number, name: text(raw.name), internalBarcode: text(raw.internalBarcode), price: priceOf(raw.price), comment: text(raw.comment) }
  if (typeof raw.quantity === 'number') p.quantity = raw.quantity
  if (typeof raw.cellsCount === 'number') p.cellsCount = raw.cellsCount
  if (Array.isArray(raw.cells)) {
    p.cells = raw.cells.filter(isObj).filter((c) => id(c.cellId) !== undefined).map((c) => ({
      cellId: c.cellId as number,
      name: text(c.name),
      path: texts(c.path),
      quantity: num(c.quantity),
    }))
  }
  return p
}

export function normaliseProducts(raw: unknown): Product[] {
  return list(raw).map(normaliseProduct).filter((p): p is Product => p !== null)
}

export function normaliseProductPage(raw: Payload): ProductPage {
  const products = normaliseProducts(raw.products)
  return { products, total: typeof raw.total === 'number' ? raw.total : products.length }
}

/** After a put: the cell's entry replaced, the total and the count recomputed. */
export function withPlacement(product: Product, cell: ProductCell): Product {
  const cells = [...(product.cells ?? []).filter((c) => c.cellId !== cell.cellId), cell]
  return { ...product, cells, quantity: roundQty(cells.reduce((s, c) => s + c.quantity, 0)), cellsCount: cells.length }
}

export function roundQty(n: number): number {
  return Math.round(n * 10_000) / 10_000
}

const KINDS: readonly HistoryKind[] = ['put', 'take', 'move', 'split']

export function normaliseHistoryEntry(raw: unknown): HistoryEntry | null {
  if (!isObj(raw)) return null
  if (id(raw.id) === undefined || typeof raw.at !== 'string' || raw.at === '') return null
  if (!KINDS.includes(raw.kind as HistoryKind) || id(raw.productId) === undefined || typeof raw.quantity !== 'number') return null
  return {
    id: raw.id as number,
    at: raw.at,
    kind: raw.kind as HistoryKind,
    productId: raw.productId as number,
    productName: text(raw.productName),
    barcode: text(raw.barcode),
    quantity: raw.quantity,
    fromCellId: idOrNull(raw.fromCellId),
    fromCellPath: text(raw.fromCellPath),
    toCellId: idOrNull(raw.toCellId),
    toCellPath: text(raw.toCellPath),
    comment: text(raw.comment),
    undoneById: idOrNull(raw.undoneById),
    undoesId: idOrNull(raw.undoesId),
    ...(raw.kind === 'split' ? { parts: splitParts(raw.parts) } : {}),
  }
}

function splitParts(raw: unknown): Array<{ productId: number; name: string; quantity: number }> {
  return list(raw).flatMap((x) => (isObj(x) && id(x.productId) !== undefined ? [{ productId: x.productId as number, name: text(x.name), quantity: num(x.quantity) }] : []))
}

export function normaliseHistoryPage(raw: Payload): HistoryPage {
  const page: HistoryPage = { items: list(raw.items).map(normaliseHistoryEntry).filter((e): e is HistoryEntry => e !== null) }
  if (id(raw.nextBeforeId) !== undefined) page.nextBeforeId = raw.nextBeforeId as number
  return page
}

export function normaliseLabelReply(raw: Payload): LabelPrintReply {
  const copies = typeof raw.copies === 'number' && raw.copies > 0 ? raw.copies : 1
  const reply: LabelPrintReply = { printed: raw.printed === true, printedCount: num(raw.printedCount), copies, skippedIds: ids(raw.skippedIds) }
  if (typeof raw.printedOn === 'string' && raw.printedOn !== '') reply.printedOn = raw.printedOn
  return reply
}

export function normaliseImportPreview(raw: Payload): ImportPreview {
  const headers = texts(raw.headers)
  const suggestedMapping: Partial<Record<string, number>> = {}
  if (isObj(raw.suggestedMapping)) {
    for (const [k, v] of Object.entries(raw.suggestedMapping)) {
      if (typeof v === 'number' && Number.isInteger(v) && v >= 0 && v < headers.length) suggestedMapping[k] = v
    }
  }
  return { uploadId: text(raw.uploadId), headers, sampleRows: list(raw.sampleRows).map(texts), suggestedMapping }
}

export function normaliseImportProgress(raw: Payload): ImportProgress {
  const p: ImportProgress = { uploadId: text(raw.uploadId), processed: num(raw.processed) }
  if (typeof raw.total === 'number') p.total = raw.total
  return p
}

export function normaliseImportResult(raw: Payload): ImportResult {
  return {
    createdZones: num(raw.createdZones),
    createdCells: num(raw.createdCells),
    createdProducts: num(raw.createdProducts),
    updatedPlacements: num(raw.updatedPlacements),
    errors: texts(raw.errors),
    warnings: texts(raw.warnings),
    dryRun: raw.dryRun === true,
    quantityDefaulted: num(raw.quantityDefaulted),
    productsWithoutCell: num(raw.productsWithoutCell),
    limitSkipped: num(raw.limitSkipped),
    conflicts: Array.isArray(raw.conflicts) ? raw.conflicts.filter(isObj).map(normaliseConflict).filter((c): c is ImportConflict => c !== null) : [],
    conflictsSkipped: num(raw.conflictsSkipped),
    conflictsMerged: num(raw.conflictsMerged),
  }
}

const CONFLICT_KINDS: ReadonlyArray<ImportConflict['kind']> = ['barcode_taken', 'barcode_repeated', 'price_differs']

function normaliseConflict(raw: Payload): ImportConflict | null {
  const kind = CONFLICT_KINDS.find((k) => k === raw.kind)
  if (!kind || typeof raw.line !== 'number') return null
  const c: ImportConflict = { line: raw.line, kind, name: text(raw.name), barcode: text(raw.barcode), otherName: text(raw.otherName), otherLine: num(raw.otherLine) }
  if (typeof raw.price === 'number') c.price = raw.price
  if (typeof raw.otherPrice === 'number') c.otherPrice = raw.otherPrice
  return c
}
