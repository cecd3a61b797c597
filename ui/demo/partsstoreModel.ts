/**
 * The parts store of one account in the in-memory backend: zones, cells in
 * cells, products, how much of each product lies in each cell, and the
 * history of puts, takes and moves with their undo. Plain data so that a dry
 * run can work on a copy.
 */
import type { Payload } from '../core/envelope'

export interface StoreCell {
  id: number
  name: string
  barcode: string | null
  parentId: number | null
  zoneId: number
  /** position among its siblings */
  order: number
}

export interface StoreProduct {
  id: number
  name: string
  internalBarcode: string
  price: number | null
  comment: string
}

export interface StoreHistory {
  id: number
  at: string
  kind: 'put' | 'take' | 'move' | 'split'
  productId: number
  quantity: number
  fromCellId: number | null
  toCellId: number | null
  comment: string
  undoneById: number | null
  undoesId: number | null
  /** a split: the products made from `productId` in `fromCellId` */
  parts?: Array<{ productId: number; name: string; quantity: number }>
}

export interface PartsStore {
  nextId: number
  zones: Array<{ id: number; name: string }>
  cells: Map<number, StoreCell>
  products: Map<number, StoreProduct>
  /** cellId → productId → quantity */
  stock: Map<number, Map<number, number>>
  history: StoreHistory[]
  /** paths of cells that were deleted, for the history */
  gonePaths: Map<number, string>
}

export const round4 = (n: number) => Math.round(n * 10_000) / 10_000

export function emptyStore(): PartsStore {
  return { nextId: 1, zones: [], cells: new Map(), products: new Map(), stock: new Map(), history: [], gonePaths: new Map() }
}

export function copyStore(s: PartsStore): PartsStore {
  return {
    nextId: s.nextId,
    zones: s.zones.map((z) => ({ ...z })),
    cells: new Map([...s.cells].map(([k, v]) => [k, { ...v }])),
    products: new Map([...s.products].map(([k, v]) => [k, { ...v }])),
    stock: new Map([...s.stock].map(([k, v]) => [k, new Map(v)])),
    history: s.history.map((h) => (h.parts ? { ...h, parts: h.parts.map((x) => ({ ...x })) } : { ...h })),
    gonePaths: new Map(s.gonePaths),
  }
}

export function newId(s: PartsStore): number {
  return s.nextId++
}

export function childrenOf(s: PartsStore, parentId: number | null, zoneId: number): StoreCell[] {
  return [...s.cells.values()].filter((c) => c.parentId === parentId && c.zoneId === zoneId).sort((a, b) => a.order - b.order)
}

export function cellTree(s: PartsStore, zoneId: number, parentId: number | null = null): Payload[] {
  return childrenOf(s, parentId, zoneId).map((c) => ({ id: c.id, name: c.name, barcode: c.barcode, children: cellTree(s, zoneId, c.id) }))
}

/** Names from the top cell down to the cell. */
export function cellPath(s: PartsStore, cellId: number): string[] {
  const out: string[] = []
  let c = s.cells.get(cellId)
  while (c) {
    out.unshift(c.name)
    c = c.parentId === null ? undefined : s.cells.get(c.parentId)
  }
  return out
}

export function zoneName(s: PartsStore, zoneId: number): string {
  return s.zones.find((z) => z.id === zoneId)?.name ?? ''
}

export function fullPath(s: PartsStore, cellId: number | null): string {
  if (cellId === null) return ''
  const c = s.cells.get(cellId)
  if (!c) return s.gonePaths.get(cellId) ?? ''
  return [zoneName(s, c.zoneId), ...cellPath(s, cellId)].join(' → ')
}

export function descendants(s: PartsStore, cellId: number): number[] {
  const out: number[] = []
  const walk = (id: number) => {
    for (const c of s.cells.values()) {
      if (c.parentId === id) {
        out.push(c.id)
        walk(c.id)
      }
    }
  }
  walk(cellId)
  return out
}

export function qtyIn(s: PartsStore, cellId: number, productId: number): number {
  return s.stock.get(cellId)?.get(productId) ?? 0
}

export function setQty(s: PartsStore, cellId: number, productId: number, quantity: number): void {
  let m = s.stock.get(cellId)
  if (!m) s.stock.set(cellId, (m = new Map()))
  const q = round4(quantity)
  if (q <= 0) m.delete(productId)
  else m.set(productId, q)
}

export function productCells(s: PartsStore, productId: number): Array<{ cellId: number; quantity: number }> {
  const out: Array<{ cellId: number; quantity: number }> = []
  for (const [cellId, m] of s.stock) {
    const q = m.get(productId)
    if (q !== undefined && q > 0) out.push({ cellId, quantity: q })
  }
  return out
}

export function productRecord(s: PartsStore, p: StoreProduct): Payload {
  const cells = productCells(s, p.id).map((c) => ({ cellId: c.cellId, name: s.cells.get(c.cellId)?.name ?? '', path: cellPath(s, c.cellId), quantity: c.quantity }))
  return {
    id: p.id,
    name: p.name,
    internalBarcode: p.internalBarcode,
    price: p.price,
    comment: p.comment,
    quantity: round4(cells.reduce((sum, c) => sum + c.quantity, 0)),
    cellsCount: cells.length,
    cells,
  }
}

export function historyRecord(s: PartsStore, h: StoreHistory): Payload {
  const p = s.products.get(h.productId)
  return {
    id: h.id,
    at: h.at,
    kind: h.kind,
    productId: h.productId,
    productName: p?.name ?? '',
    barcode: p?.internalBarcode ?? '',
    quantity: h.quantity,
    fromCellId: h.fromCellId !== null && s.cells.has(h.fromCellId) ? h.fromCellId : null,
    fromCellPath: fullPath(s, h.fromCellId),
    toCellId: h.toCellId !== null && s.cells.has(h.toCellId) ? h.toCellId : null,
    toCellPath: fullPath(s, h.toCellId),
    comment: h.comment,
    undoneById: h.undoneById,
    undoesId: h.undoesId,
    ...(h.parts ? { parts: h.parts.map((x) => ({ ...x })) } : {}),
  }
}

/** A store's own barcodes: "C-" for cells, "P-" for products, then the id padded to 6 digits. */
export function ownBarcode(kind: 'cell' | 'product', id: number): string {
  return `${kind === 'cell' ? 'C' : 'P'}-${String(id).padStart(6, '0')}`
}

/** What a Code 128 label can carry: printable ASCII only. */
export function printableBarcode(code: string | null): boolean {
  return code !== null && /^[\x20-\x7e]{1,48}$/.test(code)
}

/** A small store to start from. */
export function sampleStore(): PartsStore {
  const s = emptyStore()
  const zone = (name: string) => {
    const id = newId(s)
    s.zones.push({ id, name })
    return id
  }
  const cell = (zoneId: number, parentId: number | null, name: string, barcode: string | null = null) => {
    const id = newId(s)
    s.cells.set(id, { id, name, barcode: barcode ?? ownBarcode('cell', id), parentId, zoneId, order: childrenOf(s, parentId, zoneId).length })
    return id
  }
  const product = (name: string, price: number | null) => {
    const id = newId(s)
    s.products.set(id, { id, name, internalBarcode: ownBarcode('product', id), price, comment: '' })
    return id
  }
  const a = zone('Основной склад')
  const b = zone('Антресоль')
  const r1 = cell(a, null, 'Стеллаж 1')
  const p1 = cell(a, r1, 'Полка 1')
  const box = cell(a, p1, 'Короб 1')
  const p2 = cell(a, r1, 'Полка 2')
  const r2 = cell(a, null, 'Стеллаж 2')
  const m1 = cell(b, null, 'Ящик с мелочью', null)
  s.cells.get(m1)!.barcode = null
  const bolt = product('Болт М6×20', 4.5)
  const nut = product('Гайка М6', 2)
  const filter = product('Фильтр масляный', 650)
  const belt = product('Ремень приводной', 1200)
  setQty(s, box, bolt, 120)
  setQty(s, p1, nut, 300)
  setQty(s, p2, filter, 6)
  setQty(s, r2, belt, 2)
  setQty(s, m1, bolt, 35)
  return s
}
