/**
 * Every parts-store command with its payload and its reply, over the
 * channel's `command` helper (a refusal rejects with RefusalError, an
 * expired request with "timeout"). Screens call these and turn failures into
 * texts with `failureText`.
 */
import type { Payload } from '../core/envelope'
import type { SeriesRequest } from './generation'
import { chunk, type LabelRequest } from './labelQueue'
import {
  normaliseCellContents, normaliseCellNode, normaliseHistoryEntry, normaliseHistoryPage, normaliseImportResult, normaliseLabelReply,
  normaliseProduct, normaliseProductPage, normaliseProducts, normaliseZone, normaliseZones, num,
  type CellContents, type HistoryEntry, type HistoryPage, type ImportResolution, type ImportResult, type LabelPrintReply, type Product, type ProductPage, type Zone,
} from './records'

export type Ask = (name: string, payload?: Payload, timeoutMs?: number) => Promise<Payload>

export const LABELS_TIMEOUT_MS = 130_000
export const IMPORT_RUN_TIMEOUT_MS = 150_000
export const EXPORT_TIMEOUT_MS = 20_000
export const DELETE_CHUNK = 200

const missing = (text: string) => new Error(text)
const isEmpty = (p: Payload) => Object.keys(p).length === 0
const idOf = (v: unknown): number | null => (typeof v === 'number' && Number.isFinite(v) ? v : null)
const trimmed = (v: unknown) => (typeof v === 'string' ? v.trim() : '')

export interface SavedCell {
  id: number
  name: string
  barcode: string | null
  parentId: number | null
  zoneId: number | null
}

export interface CellSave {
  id?: number
  name: string
  barcode?: string
  parentId?: number | null
  zoneId?: number
}

export type CellMoveTarget = { newParentId: number } | { newZoneId: number } | { beforeId: number } | { afterId: number }

export interface ProductSave {
  id?: number
  name: string
  price?: number | null
  comment?: string
  barcode?: string
  cellId?: number
  quantity?: number
}

export interface DeleteReply {
  deletedCount: number
  deletedIds: number[]
  skippedIds: number[]
}

export interface ImportRun {
  uploadId: string
  mapping: Record<string, number>
  pathSeparator: string
  barcodeAsChildCell?: boolean
  dryRun?: boolean
  quantityMode?: string
  /** the user's word on conflicting rows, by line number */
  resolutions?: Record<number, ImportResolution>
}

function deleteReplyOf(p: Payload): DeleteReply {
  const deletedIds = Array.isArray(p.deletedIds) ? p.deletedIds.filter((x): x is number => typeof x === 'number') : []
  const skippedIds = Array.isArray(p.skippedIds) ? p.skippedIds.filter((x): x is number => typeof x === 'number') : []
  return { deletedCount: typeof p.deletedCount === 'number' ? p.deletedCount : deletedIds.length, deletedIds, skippedIds }
}

function idsOf(v: unknown): number[] {
  return Array.isArray(v) ? v.filter((x): x is number => idOf(x) !== null) : []
}

function namesOf(r: Payload): { count: number; names: string[] } {
  const names = Array.isArray(r.names) ? r.names.filter((x): x is string => typeof x === 'string') : []
  return { count: typeof r.count === 'number' ? r.count : names.length, names }
}

export function createPartsCommands(ask: Ask) {
  return {
    async zoneList(): Promise<Zone[]> {
      return normaliseZones((await ask('radioZoneList', {})).zones)
    },
    async zoneSave(zone: { id?: number; name: string }): Promise<Zone> {
      const p: Payload = { name: zone.name.trim() }
      if (zone.id !== undefined) p.id = zone.id
      const reply = await ask('radioZoneSave', p)
      const saved = isEmpty(reply) ? null : normaliseZone({ cells: [], ...reply })
      if (!saved) throw missing('Сервер не вернул сохраненную зону')
      return saved
    },
    async cellTree(zoneId?: number): Promise<Zone[]> {
      return normaliseZones((await ask('radioCellTree', zoneId === undefined ? {} : { zoneId })).tree)
    },
    async cellSave(cell: CellSave): Promise<SavedCell> {
      const p: Payload = { name: cell.name.trim() }
      if (cell.id !== undefined) p.id = cell.id
      const barcode = trimmed(cell.barcode)
      if (barcode !== '') p.barcode = barcode
      if (cell.parentId !== undefined && cell.parentId !== null) p.parentId = cell.parentId
      if (cell.zoneId !== undefined) p.zoneId = cell.zoneId
      const r = await ask('radioCellSave', p)
      if (idOf(r.id) === null) throw missing('Сервер не вернул сохраненную ячейку')
      return { id: r.id as number, name: trimmed(r.name), barcode: typeof r.barcode === 'string' && r.barcode ? r.barcode : null, parentId: idOf(r.parentId), zoneId: idOf(r.zoneId) }
    },
    async cellMove(id: number, target: CellMoveTarget): Promise<{ id: number; parentId: number | null; zoneId: number | null; rootId: number | null }> {
      const r = await ask('radioCellMove', { id, ...target })
      if (idOf(r.id) === null) throw missing('Сервер не вернул перенесенную ячейку')
      return { id: r.id as number, parentId: idOf(r.parentId), zoneId: idOf(r.zoneId), rootId: idOf(r.rootId) }
    },
    /** Names of a series of cells, as the service would make them. */
    async cellGeneratePreview(series: SeriesRequest): Promise<{ count: number; names: string[] }> {
      return namesOf(await ask('radioCellGenerate', { ...series, preview: true }))
    },
    /** A series of cells at the top of `zoneId` or inside `parentId`. */
    async cellGenerate(series: SeriesRequest, place: { zoneId: number; parentId?: number | null }): Promise<{ createdCount: number; ids: number[] }> {
      const p: Payload = { ...series, zoneId: place.zoneId }
      if (place.parentId !== undefined && place.parentId !== null) p.parentId = place.parentId
      const r = await ask('radioCellGenerate', p)
      if (typeof r.createdCount !== 'number') throw missing('Сервер не вернул созданные ячейки')
      return { createdCount: r.createdCount, ids: idsOf(r.ids) }
    },
    async zoneDelete(id: number, force = false): Promise<void> {
      await ask('radioZoneDelete', force ? { id, force: true } : { id })
    },
    async cellDelete(id: number, force = false): Promise<void> {
      await ask('radioCellDelete', force ? { id, force: true } : { id })
    },
    async cellContents(cellId: number): Promise<CellContents> {
      const c = normaliseCellContents(await ask('radioCellContents', { cellId }))
      if (!c) throw missing('Сервер не вернул содержимое ячейки')
      return c
    },
    async cellByBarcode(barcode: string): Promise<CellContents | null> {
      return normaliseCellContents(await ask('radioCellByBarcode', { barcode }))
    },
    async productList(q: { offset?: number; limit: number; withoutCell?: boolean }): Promise<ProductPage> {
      const p: Payload = { limit: q.limit }
      if (q.offset !== undefined) p.offset = q.offset
      if (q.withoutCell) p.withoutCell = true
      return normaliseProductPage(await ask('radioProductList', p))
    },
    async productSave(s: ProductSave): Promise<{ product: Product; placed?: { cellId: number; quantity: number } }> {
      const p: Payload = { name: s.name.trim(), price: s.price ?? null, comment: s.comment ?? '' }
      if (s.id !== undefined) {
        // An edit sends the barcode only when the user changed it.
        const barcode = trimmed(s.barcode)
        if (barcode !== '') p.barcode = barcode
        p.id = s.id
      } else {
        const barcode = trimmed(s.barcode)
        if (barcode !== '') p.barcode = barcode
        if (s.quantity !== undefined && s.quantity > 0 && s.cellId !== undefined) {
          p.cellId = s.cellId
          p.quantity = s.quantity
        }
      }
      const r = await ask('radioProductSave', p)
      const product = normaliseProduct(r)
      if (!product) throw missing('Сервер не вернул сохраненный товар')
      const placed = typeof r.placed === 'object' && r.placed !== null ? (r.placed as Payload) : null
      return placed && idOf(placed.cellId) !== null ? { product, placed: { cellId: placed.cellId as number, quantity: num(placed.quantity) } } : { product }
    },
    async productFind(query: string): Promise<Product[]> {
      return normaliseProducts((await ask('radioProductFind', { query })).products)
    },
    async productLocations(productId: number): Promise<Array<{ zoneName: string; cellPath: string; quantity: number; cellId: number | null }>> {
      const r = await ask('radioProductLocations', { productId })
      return (Array.isArray(r.locations) ? r.locations : []).filter((l): l is Payload => typeof l === 'object' && l !== null).map((l) => ({
        zoneName: trimmed(l.zoneName),
        cellPath: trimmed(l.cellPath),
        quantity: num(l.quantity),
        cellId: idOf(l.cellId),
      }))
    },
    /** Splits part of a product's stock in one cell into new products. */
    async productSplit(q: { sourceProductId: number; cellId: number; parts: ReadonlyArray<{ name: string; quantity: number }> }): Promise<{ createdProducts: Array<{ id: number; name: string; internalBarcode: string }>; sourceRemaining: number }> {
      const r = await ask('radioProductSplit', { sourceProductId: q.sourceProductId, cellId: q.cellId, parts: q.parts.map((x) => ({ name: x.name.trim(), quantity: x.quantity })) })
      const createdProducts = (Array.isArray(r.createdProducts) ? r.createdProducts : [])
        .filter((x): x is Payload => typeof x === 'object' && x !== null && idOf((x as Payload).id) !== null)
        .map((x) => ({ id: x.id as number, name: trimmed(x.name), internalBarcode: trimmed(x.internalBarcode) }))
      return { createdProducts, sourceRemaining: num(r.sourceRemaining) }
    },
    async productGeneratePreview(series: SeriesRequest): Promise<{ count: number; names: string[] }> {
      return namesOf(await ask('radioProductGeneratePreview', { ...series }))
    },
    async productGenerate(series: SeriesRequest, price: number | null): Promise<Product[]> {
      const r = await ask('radioProductGenerate', { ...series, price })
      if (!Array.isArray(r.products)) throw missing('Сервер не вернул созданные товары')
      return normaliseProducts(r.products)
    },
    /** Deletes in chunks of 200, one request after another; the replies are added up. */
    async productDelete(ids: readonly number[]): Promise<DeleteReply> {
      const total: DeleteReply = { deletedCount: 0, deletedIds: [], skippedIds: [] }
      for (const part of chunk(ids, DELETE_CHUNK)) {
        const r = deleteReplyOf(await ask('radioProductDelete', { ids: part }))
        total.deletedCount += r.deletedCount
        total.deletedIds.push(...r.deletedIds)
        total.skippedIds.push(...r.skippedIds)
      }
      return total
    },
    async placementPut(q: { cellId: number; productId: number; quantity: number; comment?: string; price?: number }) {
      const p: Payload = { cellId: q.cellId, productId: q.productId, quantity: q.quantity }
      if (trimmed(q.comment) !== '') p.comment = trimmed(q.comment)
      if (q.price !== undefined) p.price = q.price
      const r = await ask('radioPlacementPut', p)
      if (typeof r.quantity !== 'number') throw missing('Сервер не вернул новое количество')
      // A put with a price answers the product's new average price.
      const put: { cellId: number; productId: number; quantity: number; price?: number } = { cellId: q.cellId, productId: q.productId, quantity: r.quantity }
      if (typeof r.price === 'number' && Number.isFinite(r.price)) put.price = r.price
      return put
    },
    async placementTake(q: { cellId: number; productId: number; quantity: number; comment?: string }) {
      const p: Payload = { cellId: q.cellId, productId: q.productId, quantity: q.quantity }
      if (trimmed(q.comment) !== '') p.comment = trimmed(q.comment)
      const r = await ask('radioPlacementTake', p)
      if (typeof r.quantity !== 'number') throw missing('Сервер не вернул новое количество')
      return { cellId: q.cellId, productId: q.productId, quantity: r.quantity }
    },
    async placementMove(q: { productId: number; fromCellId: number; toCellId: number; quantity: number }) {
      const r = await ask('radioPlacementMove', { ...q })
      if (typeof r.fromRemaining !== 'number' || typeof r.toQuantity !== 'number') throw missing('Сервер не вернул итог переноса')
      return { fromRemaining: r.fromRemaining, toQuantity: r.toQuantity }
    },
    async barcodeGenerate(kind: 'cell' | 'product'): Promise<string> {
      const barcode = trimmed((await ask('radioBarcodeGenerate', { kind })).barcode)
      if (barcode === '') throw missing('Сервер не вернул штрихкод')
      return barcode
    },
    async labelsPrint(q: LabelRequest): Promise<LabelPrintReply> {
      return normaliseLabelReply(await ask('radioLabelsPrint', { kind: q.kind, ids: q.ids, size: q.size, copies: q.copies }, LABELS_TIMEOUT_MS))
    },
    async historyList(q: { limit?: number; beforeId?: number; productId?: number; cellId?: number } = {}): Promise<HistoryPage> {
      const p: Payload = {}
      for (const k of ['limit', 'beforeId', 'productId', 'cellId'] as const) if (q[k] !== undefined) p[k] = q[k]
      return normaliseHistoryPage(await ask('radioHistoryList', p))
    },
    async historyUndo(id: number): Promise<{ item: HistoryEntry; undoneId: number }> {
      const r = await ask('radioHistoryUndo', { id })
      const item = normaliseHistoryEntry(r.item)
      if (!item || idOf(r.undoneId) === null) throw missing('Сервер не вернул результат отмены')
      return { item, undoneId: r.undoneId as number }
    },
    async importUploadToken(): Promise<{ token: string; maxSizeBytes?: number }> {
      const r = await ask('radioImportUploadToken', {})
      const token = trimmed(r.token)
      if (token === '') throw missing('Сервер не вернул токен загрузки')
      return typeof r.maxSizeBytes === 'number' ? { token, maxSizeBytes: r.maxSizeBytes } : { token }
    },
    async importRun(q: ImportRun): Promise<ImportResult> {
      const p: Payload = { uploadId: q.uploadId, mapping: q.mapping, pathSeparator: q.pathSeparator, barcodeAsChildCell: q.barcodeAsChildCell ?? true }
      if (q.dryRun) p.dryRun = true
      if (q.quantityMode !== undefined && q.quantityMode !== 'set') p.quantityMode = q.quantityMode
      if (q.resolutions && Object.keys(q.resolutions).length > 0) p.resolutions = { ...q.resolutions }
      return normaliseImportResult(await ask('radioImportRun', p, IMPORT_RUN_TIMEOUT_MS))
    },
    async importCancel(uploadId: string): Promise<void> {
      await ask('radioImportCancel', { uploadId })
    },
    async exportProducts(): Promise<{ url: string; fileName: string; rows: number; products: number }> {
      const r = await ask('radioExport', {}, EXPORT_TIMEOUT_MS)
      if (typeof r.url !== 'string' || r.url === '') throw missing('Сервер не вернул файл выгрузки')
      return { url: r.url, fileName: trimmed(r.fileName) || 'товары.xlsx', rows: num(r.rows), products: num(r.products) }
    },
  }
}

export type PartsCommands = ReturnType<typeof createPartsCommands>

/** A cell node from a save reply, for inserting into a loaded tree. */
export const cellNodeOf = (s: SavedCell) => normaliseCellNode({ id: s.id, name: s.name, barcode: s.barcode, children: [] })
