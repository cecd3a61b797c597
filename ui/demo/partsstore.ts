/**
 * The parts-store commands of the in-memory backend, answered from one real
 * store per account (see partsstoreModel): zones, nested cells, products,
 * placements and the history with undo. Import, export and labels are in
 * partsstoreImport and partsstoreLabels.
 */
import type { Payload } from '../core/envelope'
import { fold } from '../partsstore/codes'
import { seriesNames, seriesOfPayload } from '../partsstore/generation'
import { splitProblem } from '../partsstore/split'
import type { Handler, HandlerContext, MemoryBackend } from './backend'
import {
  cellPath, cellTree, childrenOf, descendants, fullPath, historyRecord, newId, ownBarcode, productCells, productRecord, qtyIn, round4,
  sampleStore, emptyStore, setQty, zoneName, type PartsStore, type StoreCell, type StoreHistory,
} from './partsstoreModel'

const refuse = (errorCode: string, error: string, extra: Payload = {}): Payload => ({ error, errorCode, ...extra })
const text = (v: unknown) => (typeof v === 'string' ? v.trim() : '')
const idOf = (v: unknown): number | null => (typeof v === 'number' && Number.isInteger(v) ? v : null)
const qtyOf = (v: unknown): number | null => (typeof v === 'number' && Number.isFinite(v) && v > 0 ? round4(v) : null)
const CYRILLIC = /[А-Яа-яЁё]/

export const DELETE_LIMIT = 200

/** The store of an account; accounts with the parts store start with a small sample. */
export function partsStoreOf(b: MemoryBackend, accountId: string): PartsStore {
  let all = b.state.get('partsstore') as Map<string, PartsStore> | undefined
  if (!all) b.state.set('partsstore', (all = new Map()))
  let s = all.get(accountId)
  if (!s) {
    s = b.accounts.get(accountId)?.features.radio === true ? sampleStore() : emptyStore()
    all.set(accountId, s)
  }
  return s
}

export function replacePartsStore(b: MemoryBackend, accountId: string, store: PartsStore): void {
  partsStoreOf(b, accountId)
  ;(b.state.get('partsstore') as Map<string, PartsStore>).set(accountId, store)
}

export interface PartsCtx {
  ctx: HandlerContext
  accountId: string
  store: PartsStore
}

/** A handler of the signed-in device's account store. */
export function onStore(fn: (c: PartsCtx, p: Payload) => Payload | null): Handler {
  return (ctx, p) => {
    const me = ctx.backend.signedIn(ctx.conn)
    if (!me) return refuse('forbidden', 'session not authorized')
    return fn({ ctx, accountId: me.account.uid, store: partsStoreOf(ctx.backend, me.account.uid) }, p)
  }
}

export function cellContents(s: PartsStore, cell: StoreCell): Payload {
  const items = [...(s.stock.get(cell.id) ?? new Map<number, number>())].flatMap(([productId, quantity]) => {
    const p = s.products.get(productId)
    if (!p) return []
    const item: Payload = { productId, name: p.name, internalBarcode: p.internalBarcode, quantity, price: p.price }
    if (p.comment) item.comment = p.comment
    return [item]
  })
  return { cell: { id: cell.id, name: cell.name, barcode: cell.barcode, path: cellPath(s, cell.id), zoneName: zoneName(s, cell.zoneId), zoneId: cell.zoneId }, items }
}

function barcodeProblem(s: PartsStore, barcode: string, selfId: number | null): Payload | null {
  if (CYRILLIC.test(barcode) || !/^[\x20-\x7e]+$/.test(barcode)) return refuse('barcode_not_encodable', 'barcode is not encodable')
  for (const c of s.cells.values()) if (c.barcode === barcode && c.id !== selfId) return refuse('barcode_taken', 'barcode taken')
  return null
}

function addHistory(c: PartsCtx, h: Omit<StoreHistory, 'id' | 'at' | 'undoneById' | 'undoesId'> & { undoesId?: number }): StoreHistory {
  const entry: StoreHistory = { id: newId(c.store), at: new Date(c.ctx.now).toISOString(), undoneById: null, undoesId: h.undoesId ?? null, ...h }
  if (h.undoesId === undefined) entry.undoesId = null
  c.store.history.push(entry)
  return entry
}

function placementRefusal(s: PartsStore, cellId: number | null, productId: number | null): Payload | null {
  if (cellId === null || !s.cells.has(cellId)) return refuse('cell_not_found', 'cell not found')
  if (productId === null || !s.products.has(productId)) return refuse('product_not_found', 'product not found')
  return null
}

/** The cell, product and quantity of a put or take, or its refusal. */
function placementArgs(s: PartsStore, p: Payload): { refusal: Payload } | { cellId: number; productId: number; quantity: number } {
  const cellId = idOf(p.cellId)
  const productId = idOf(p.productId)
  const refusal = placementRefusal(s, cellId, productId)
  if (refusal) return { refusal }
  const quantity = qtyOf(p.quantity)
  if (quantity === null) return { refusal: refuse('bad_quantity', 'Количество должно быть числом больше нуля') }
  return { cellId: cellId!, productId: productId!, quantity }
}

function moveCell(s: PartsStore, cell: StoreCell, parentId: number | null, zoneId: number, order: number): void {
  const siblings = childrenOf(s, parentId, zoneId).filter((x) => x.id !== cell.id)
  siblings.splice(Math.max(0, Math.min(order, siblings.length)), 0, cell)
  siblings.forEach((x, i) => (x.order = i))
  cell.parentId = parentId
  if (cell.zoneId !== zoneId) for (const id of [cell.id, ...descendants(s, cell.id)]) s.cells.get(id)!.zoneId = zoneId
}

function rootOf(s: PartsStore, id: number): number {
  let c = s.cells.get(id)!
  while (c.parentId !== null) c = s.cells.get(c.parentId)!
  return c.id
}

function matchesProduct(p: { name: string; internalBarcode: string }, query: string): boolean {
  const q = query.trim()
  if (q === '') return false
  return fold(p.name).includes(fold(q)) || p.internalBarcode.toLowerCase() === q.toLowerCase() || (q.length >= 2 && p.internalBarcode.toLowerCase().endsWith(q.toLowerCase()))
}

const stockOf = (s: PartsStore, productId: number) => productCells(s, productId).reduce((n, c) => n + c.quantity, 0)

/** The price of what is held and of what comes in, weighted by quantity, to kopecks; no old price counts as none held. */
export function averagePrice(oldPrice: number | null, held: number, price: number, quantity: number): number {
  if (oldPrice === null || held <= 0) return price
  return Math.round(((oldPrice * held + price * quantity) / (held + quantity)) * 100) / 100
}

export const partsStoreHandlers: Record<string, Handler> = {
  radioZoneList: /*#__PURE__*/ onStore(({ store: s }) => ({ zones: s.zones.map((z) => ({ id: z.id, name: z.name, cells: cellTree(s, z.id) })) })),

  radioZoneSave: /*#__PURE__*/ onStore(({ store: s }, p) => {
    const name = text(p.name)
    if (!name) return refuse('name_required', 'Укажите название зоны')
    const id = idOf(p.id)
    if (id !== null) {
      const z = s.zones.find((x) => x.id === id)
      if (!z) return refuse('not_found', 'Зона не найдена')
      z.name = name
      return { ...z }
    }
    const z = { id: newId(s), name }
    s.zones.push(z)
    return { ...z }
  }),

  radioZoneDelete: /*#__PURE__*/ onStore(({ store: s }, p) => {
    const id = idOf(p.id)
    if (id === null || !s.zones.some((z) => z.id === id)) return refuse('not_found', 'Зона не найдена')
    const cells = [...s.cells.values()].filter((c) => c.zoneId === id).map((c) => c.id)
    const placementsCount = cells.reduce((n, cid) => n + (s.stock.get(cid)?.size ?? 0), 0)
    if (cells.length > 0 && p.force !== true) return refuse('not_empty', 'В зоне есть ячейки', { cellsCount: cells.length, placementsCount })
    for (const cid of cells) s.gonePaths.set(cid, fullPath(s, cid))
    for (const cid of cells) {
      s.cells.delete(cid)
      s.stock.delete(cid)
    }
    s.zones = s.zones.filter((z) => z.id !== id)
    return { ok: true }
  }),

  radioCellTree: /*#__PURE__*/ onStore(({ store: s }, p) => {
    const zoneId = idOf(p.zoneId)
    const zones = zoneId === null ? s.zones : s.zones.filter((z) => z.id === zoneId)
    return { tree: zones.map((z) => ({ id: z.id, name: z.name, cells: cellTree(s, z.id) })) }
  }),

  radioCellSave: /*#__PURE__*/ onStore(({ store: s }, p) => {
    const name = text(p.name)
    if (!name) return refuse('name_required', 'Укажите название ячейки')
    const id = idOf(p.id)
    const barcode = text(p.barcode)
    if (barcode) {
      const problem = barcodeProblem(s, barcode, id)
      if (problem) return problem
    }
    if (id !== null) {
      const c = s.cells.get(id)
      if (!c) return refuse('not_found', 'Ячейка не найдена')
      c.name = name
      if (barcode) c.barcode = barcode
      return { id: c.id, name: c.name, barcode: c.barcode, parentId: c.parentId, zoneId: c.zoneId }
    }
    const parentId = idOf(p.parentId)
    const parent = parentId === null ? undefined : s.cells.get(parentId)
    if (parentId !== null && !parent) return refuse('not_found', 'Ячейка не найдена')
    const zoneId = parent?.zoneId ?? idOf(p.zoneId)
    if (zoneId === null || !s.zones.some((z) => z.id === zoneId)) return refuse('zone_required', 'Выберите зону')
    const cid = newId(s)
    const c: StoreCell = { id: cid, name, barcode: barcode || ownBarcode('cell', cid), parentId, zoneId, order: childrenOf(s, parentId, zoneId).length }
    s.cells.set(cid, c)
    return { id: c.id, name: c.name, barcode: c.barcode, parentId: c.parentId, zoneId: c.zoneId }
  }),

  radioCellMove: /*#__PURE__*/ onStore(({ store: s }, p) => {
    const cell = s.cells.get(idOf(p.id) ?? -1)
    if (!cell) return refuse('not_found', 'Ячейка не найдена')
    const inside = new Set([cell.id, ...descendants(s, cell.id)])
    const newParentId = idOf(p.newParentId)
    const newZoneId = idOf(p.newZoneId)
    const sibling = s.cells.get(idOf(p.beforeId) ?? idOf(p.afterId) ?? -1)
    if (newParentId !== null) {
      const parent = s.cells.get(newParentId)
      if (!parent) return refuse('not_found', 'Ячейка не найдена')
      if (inside.has(parent.id)) return refuse('cycle', 'cycle')
      moveCell(s, cell, parent.id, parent.zoneId, childrenOf(s, parent.id, parent.zoneId).length)
    } else if (newZoneId !== null) {
      if (!s.zones.some((z) => z.id === newZoneId)) return refuse('not_found', 'Зона не найдена')
      moveCell(s, cell, null, newZoneId, childrenOf(s, null, newZoneId).length)
    } else if (sibling) {
      if (inside.has(sibling.id)) return refuse('cycle', 'cycle')
      const others = childrenOf(s, sibling.parentId, sibling.zoneId).filter((x) => x.id !== cell.id)
      const at = others.findIndex((x) => x.id === sibling.id) + (idOf(p.afterId) !== null ? 1 : 0)
      moveCell(s, cell, sibling.parentId, sibling.zoneId, at)
    } else return refuse('bad_request', 'Куда перенести?')
    return { id: cell.id, parentId: cell.parentId, zoneId: cell.zoneId, rootId: rootOf(s, cell.id) }
  }),

  radioCellDelete: /*#__PURE__*/ onStore(({ store: s }, p) => {
    const cell = s.cells.get(idOf(p.id) ?? -1)
    if (!cell) return refuse('not_found', 'Ячейка не найдена')
    const inner = descendants(s, cell.id)
    const all = [cell.id, ...inner]
    const placementsCount = all.reduce((n, id) => n + (s.stock.get(id)?.size ?? 0), 0)
    if ((inner.length > 0 || placementsCount > 0) && p.force !== true) {
      return refuse('not_empty', 'cell is not empty', { childrenCount: inner.length, placementsCount })
    }
    for (const id of all) {
      s.gonePaths.set(id, fullPath(s, id))
    }
    for (const id of all) {
      s.cells.delete(id)
      s.stock.delete(id)
    }
    return { ok: true }
  }),

  radioCellGenerate: /*#__PURE__*/ onStore(({ store: s }, p) => {
    const series = seriesNames(seriesOfPayload(p))
    if (!series.ok) return refuse('bad_request', series.text)
    const { names } = series
    if (p.preview === true) return { count: names.length, names }
    const parentId = idOf(p.parentId)
    const parent = parentId === null ? undefined : s.cells.get(parentId)
    if (parentId !== null && !parent) return refuse('not_found', 'Ячейка не найдена')
    const zoneId = parent?.zoneId ?? idOf(p.zoneId)
    if (zoneId === null || !s.zones.some((z) => z.id === zoneId)) return refuse('zone_required', 'Выберите зону')
    const ids = names.map((name) => {
      const id = newId(s)
      s.cells.set(id, { id, name, barcode: ownBarcode('cell', id), parentId: parent?.id ?? null, zoneId, order: childrenOf(s, parent?.id ?? null, zoneId).length })
      return id
    })
    const base = { createdCount: ids.length, ids }
    return parent ? { ...base, parentId: parent.id, tree: cellTree(s, zoneId, parent.id) } : { ...base, rootId: null, names }
  }),

  radioCellContents: /*#__PURE__*/ onStore(({ store: s }, p) => {
    const cell = s.cells.get(idOf(p.cellId) ?? -1)
    return cell ? cellContents(s, cell) : refuse('not_found', 'Ячейка не найдена')
  }),

  radioCellByBarcode: /*#__PURE__*/ onStore(({ store: s }, p) => {
    const code = text(p.barcode)
    const cell = [...s.cells.values()].find((c) => c.barcode !== null && c.barcode.toLowerCase() === code.toLowerCase())
    if (cell) return cellContents(s, cell)
    const product = [...s.products.values()].find((x) => x.internalBarcode.toLowerCase() === code.toLowerCase())
    const where = product ? productCells(s, product.id)[0] : undefined
    if (where) return cellContents(s, s.cells.get(where.cellId)!)
    return refuse('not_found', 'not found')
  }),

  radioProductList: /*#__PURE__*/ onStore(({ store: s }, p) => {
    let list = [...s.products.values()]
    if (p.withoutCell === true) list = list.filter((x) => productCells(s, x.id).length === 0)
    const offset = Math.max(0, typeof p.offset === 'number' ? Math.trunc(p.offset) : 0)
    const limit = Math.max(1, Math.min(1000, typeof p.limit === 'number' ? Math.trunc(p.limit) : 100))
    return { products: list.slice(offset, offset + limit).map((x) => productRecord(s, x)), total: list.length }
  }),

  radioProductSave: /*#__PURE__*/ onStore((c, p) => {
    const s = c.store
    const name = text(p.name)
    if (!name) return refuse('name_required', 'Укажите название товара')
    const price = typeof p.price === 'number' && Number.isFinite(p.price) ? p.price : null
    const comment = text(p.comment)
    const id = idOf(p.id)
    if (id !== null) {
      const x = s.products.get(id)
      if (!x) return refuse('product_not_found', 'product not found')
      const newBarcode = text(p.barcode)
      if (newBarcode && newBarcode !== x.internalBarcode) {
        if ([...s.products.values()].some((o) => o.internalBarcode === newBarcode)) return refuse('barcode_taken', 'Такой штрихкод уже есть у другого товара')
        x.internalBarcode = newBarcode
      }
      Object.assign(x, { name, price, comment })
      return productRecord(s, x)
    }
    const barcode = text(p.barcode)
    if (barcode && [...s.products.values()].some((x) => x.internalBarcode === barcode)) return refuse('barcode_taken', 'Такой штрихкод уже есть у другого товара')
    const pid = newId(s)
    const x = { id: pid, name, internalBarcode: barcode || ownBarcode('product', pid), price, comment }
    s.products.set(pid, x)
    const cellId = idOf(p.cellId)
    const quantity = qtyOf(p.quantity)
    if (cellId !== null && quantity !== null && s.cells.has(cellId)) {
      setQty(s, cellId, pid, quantity)
      addHistory(c, { kind: 'put', productId: pid, quantity, fromCellId: null, toCellId: cellId, comment: '' })
      return { ...productRecord(s, x), placed: { cellId, quantity } }
    }
    return productRecord(s, x)
  }),

  radioProductFind: /*#__PURE__*/ onStore(({ store: s }, p) => {
    const q = text(p.query)
    return { products: [...s.products.values()].filter((x) => matchesProduct(x, q)).slice(0, 50).map((x) => productRecord(s, x)) }
  }),

  radioProductLocations: /*#__PURE__*/ onStore(({ store: s }, p) => {
    const id = idOf(p.productId)
    if (id === null || !s.products.has(id)) return refuse('product_not_found', 'product not found')
    return {
      locations: productCells(s, id).map((c) => {
        const cell = s.cells.get(c.cellId)!
        return { cellId: c.cellId, zoneId: cell.zoneId, zoneName: zoneName(s, cell.zoneId), cellPath: cellPath(s, c.cellId).join(' → '), quantity: c.quantity }
      }),
    }
  }),

  radioProductSplit: /*#__PURE__*/ onStore((c, p) => {
    const s = c.store
    const source = s.products.get(idOf(p.sourceProductId) ?? -1)
    if (!source) return refuse('not_found', 'not found')
    const cellId = idOf(p.cellId)
    if (cellId === null || !s.cells.has(cellId)) return refuse('cell_not_found', 'cell not found')
    const parts = (Array.isArray(p.parts) ? p.parts : [])
      .filter((x): x is Payload => typeof x === 'object' && x !== null)
      .map((x) => ({ name: text(x.name), quantity: typeof x.quantity === 'number' ? round4(x.quantity) : Number.NaN }))
    const problem = splitProblem(parts)
    if (problem) return refuse('bad_request', problem)
    const wanted = round4(parts.reduce((n, x) => n + x.quantity, 0))
    const have = qtyIn(s, cellId, source.id)
    if (wanted > have) return refuse('not_enough', 'not enough', { available: have })
    const createdProducts = parts.map((part) => {
      const pid = newId(s)
      const x = { id: pid, name: part.name, internalBarcode: ownBarcode('product', pid), price: source.price, comment: '' }
      s.products.set(pid, x)
      setQty(s, cellId, pid, part.quantity)
      return { id: pid, name: x.name, internalBarcode: x.internalBarcode }
    })
    setQty(s, cellId, source.id, have - wanted)
    addHistory(c, {
      kind: 'split', productId: source.id, quantity: wanted, fromCellId: cellId, toCellId: cellId, comment: '',
      parts: createdProducts.map((x, i) => ({ productId: x.id, name: x.name, quantity: parts[i]!.quantity })),
    })
    return { createdProducts, sourceRemaining: round4(have - wanted) }
  }),

  radioProductGeneratePreview: /*#__PURE__*/ onStore((_c, p) => {
    const series = seriesNames(seriesOfPayload(p))
    return series.ok ? { count: series.names.length, names: series.names } : refuse('bad_request', series.text)
  }),

  radioProductGenerate: /*#__PURE__*/ onStore(({ store: s }, p) => {
    const series = seriesNames(seriesOfPayload(p))
    if (!series.ok) return refuse('bad_request', series.text)
    const price = typeof p.price === 'number' && Number.isFinite(p.price) && p.price >= 0 ? p.price : null
    const products = series.names.map((name) => {
      const pid = newId(s)
      const x = { id: pid, name, internalBarcode: ownBarcode('product', pid), price, comment: '' }
      s.products.set(pid, x)
      return productRecord(s, x)
    })
    return { createdCount: products.length, products }
  }),

  radioProductDelete: /*#__PURE__*/ onStore(({ store: s }, p) => {
    const ids = (Array.isArray(p.ids) ? p.ids : []).filter((x): x is number => typeof x === 'number')
    if (ids.length > DELETE_LIMIT) return refuse('too_many', `Не больше ${DELETE_LIMIT} за один раз`)
    const deletedIds: number[] = []
    const skippedIds: number[] = []
    for (const id of ids) {
      if (!s.products.delete(id)) {
        skippedIds.push(id)
        continue
      }
      for (const m of s.stock.values()) m.delete(id)
      deletedIds.push(id)
    }
    return { deletedCount: deletedIds.length, deletedIds, skippedIds }
  }),

  radioPlacementPut: /*#__PURE__*/ onStore((c, p) => {
    const s = c.store
    const args = placementArgs(s, p)
    if ('refusal' in args) return args.refusal
    const { cellId, productId, quantity } = args
    const product = s.products.get(productId)!
    const priced = typeof p.price === 'number' && Number.isFinite(p.price) && p.price >= 0
    // A put with a price answers the product's new average over what it already has everywhere.
    if (priced) product.price = averagePrice(product.price, stockOf(s, productId), p.price as number, quantity)
    setQty(s, cellId, productId, qtyIn(s, cellId, productId) + quantity)
    addHistory(c, { kind: 'put', productId, quantity, fromCellId: null, toCellId: cellId, comment: text(p.comment) })
    const reply: Payload = { cellId, productId, quantity: qtyIn(s, cellId, productId) }
    if (priced) reply.price = product.price
    return reply
  }),

  radioPlacementTake: /*#__PURE__*/ onStore((c, p) => {
    const s = c.store
    const args = placementArgs(s, p)
    if ('refusal' in args) return args.refusal
    const { cellId, productId, quantity } = args
    const have = qtyIn(s, cellId, productId)
    if (quantity > have) return refuse('not_enough', 'not enough', { available: have })
    setQty(s, cellId, productId, have - quantity)
    addHistory(c, { kind: 'take', productId, quantity, fromCellId: cellId, toCellId: null, comment: text(p.comment) })
    return { cellId, productId, quantity: qtyIn(s, cellId, productId) }
  }),

  radioPlacementMove: /*#__PURE__*/ onStore((c, p) => {
    const s = c.store
    const productId = idOf(p.productId)
    const fromCellId = idOf(p.fromCellId)
    const toCellId = idOf(p.toCellId)
    const refusal = placementRefusal(s, fromCellId, productId) ?? placementRefusal(s, toCellId, productId)
    if (refusal) return refusal
    if (fromCellId === toCellId) return refuse('same_cell', 'same cell')
    const quantity = qtyOf(p.quantity)
    if (quantity === null) return refuse('bad_quantity', 'Количество должно быть числом больше нуля')
    const have = qtyIn(s, fromCellId!, productId!)
    if (quantity > have) return refuse('not_enough', 'not enough', { available: have })
    setQty(s, fromCellId!, productId!, have - quantity)
    setQty(s, toCellId!, productId!, qtyIn(s, toCellId!, productId!) + quantity)
    addHistory(c, { kind: 'move', productId: productId!, quantity, fromCellId, toCellId, comment: '' })
    return { fromRemaining: qtyIn(s, fromCellId!, productId!), toQuantity: qtyIn(s, toCellId!, productId!) }
  }),

  radioBarcodeGenerate: /*#__PURE__*/ onStore(({ store: s }, p) => ({ barcode: ownBarcode(p.kind === 'cell' ? 'cell' : 'product', newId(s)) })),

  radioHistoryList: /*#__PURE__*/ onStore(({ store: s }, p) => {
    const limit = Math.max(1, Math.min(200, typeof p.limit === 'number' ? Math.trunc(p.limit) : 50))
    const beforeId = idOf(p.beforeId)
    const productId = idOf(p.productId)
    const cellId = idOf(p.cellId)
    const all = [...s.history]
      .reverse()
      .filter((h) => (beforeId === null || h.id < beforeId) && (productId === null || h.productId === productId) && (cellId === null || h.fromCellId === cellId || h.toCellId === cellId))
    const page = all.slice(0, limit)
    const out: Payload = { items: page.map((h) => historyRecord(s, h)) }
    if (all.length > limit) out.nextBeforeId = page[page.length - 1]!.id
    return out
  }),

  radioHistoryUndo: /*#__PURE__*/ onStore((c, p) => {
    const s = c.store
    const h = s.history.find((x) => x.id === idOf(p.id))
    if (!h) return refuse('not_found', 'not found')
    if (h.undoneById !== null) return refuse('already_undone', 'already undone')
    const gone = (id: number | null) => id !== null && !s.cells.has(id)
    if (gone(h.fromCellId) || gone(h.toCellId)) return refuse('cell_missing', 'cell missing')
    // The undo takes back from where the entry put (a split undoes itself below).
    const takeFrom = h.kind === 'take' || h.kind === 'split' ? null : h.toCellId
    if (takeFrom !== null) {
      const have = qtyIn(s, takeFrom, h.productId)
      if (have < h.quantity) return refuse('not_enough', 'not enough', { available: have })
    }
    if (!s.products.has(h.productId)) return refuse('not_found', 'not found')
    let entry: StoreHistory
    if (h.kind === 'split') {
      const split = undoSplit(c, h)
      if (!split.ok) return split.refusal
      entry = split.entry
    } else if (h.kind === 'put') {
      setQty(s, h.toCellId!, h.productId, qtyIn(s, h.toCellId!, h.productId) - h.quantity)
      entry = addHistory(c, { kind: 'take', productId: h.productId, quantity: h.quantity, fromCellId: h.toCellId, toCellId: null, comment: '', undoesId: h.id })
    } else if (h.kind === 'take') {
      setQty(s, h.fromCellId!, h.productId, qtyIn(s, h.fromCellId!, h.productId) + h.quantity)
      entry = addHistory(c, { kind: 'put', productId: h.productId, quantity: h.quantity, fromCellId: null, toCellId: h.fromCellId, comment: '', undoesId: h.id })
    } else {
      setQty(s, h.toCellId!, h.productId, qtyIn(s, h.toCellId!, h.productId) - h.quantity)
      setQty(s, h.fromCellId!, h.productId, qtyIn(s, h.fromCellId!, h.productId) + h.quantity)
      entry = addHistory(c, { kind: 'move', productId: h.productId, quantity: h.quantity, fromCellId: h.toCellId, toCellId: h.fromCellId, comment: '', undoesId: h.id })
    }
    h.undoneById = entry.id
    return { item: historyRecord(s, entry), undoneId: h.id }
  }),
}

/**
 * Undoes a split: every part must still lie in full in the cell; the parts go
 * back to the source product, and a part product that lies nowhere else and
 * has no other history is removed again.
 */
function undoSplit(c: PartsCtx, h: StoreHistory): { ok: true; entry: StoreHistory } | { ok: false; refusal: Payload } {
  const s = c.store
  const cellId = h.fromCellId!
  const parts = h.parts ?? []
  for (const part of parts) {
    const have = qtyIn(s, cellId, part.productId)
    if (!s.products.has(part.productId) || have < part.quantity) return { ok: false, refusal: refuse('not_enough', 'not enough', { available: have }) }
  }
  for (const part of parts) {
    setQty(s, cellId, part.productId, qtyIn(s, cellId, part.productId) - part.quantity)
    const used = s.history.some((x) => x.id !== h.id && (x.productId === part.productId || x.parts?.some((y) => y.productId === part.productId)))
    if (!used && productCells(s, part.productId).length === 0) s.products.delete(part.productId)
  }
  setQty(s, cellId, h.productId, qtyIn(s, cellId, h.productId) + h.quantity)
  const entry = addHistory(c, { kind: 'split', productId: h.productId, quantity: h.quantity, fromCellId: cellId, toCellId: cellId, comment: '', undoesId: h.id, parts: parts.map((x) => ({ ...x })) })
  return { ok: true, entry }
}
