/**
 * The placement screen's state and steps, free of the page: scans open cells,
 * select products, fill the multi and move lists; the buttons put, take, move
 * and undo through the injected commands. Every outcome lands in `note` (and
 * a sound) so the view only renders this object.
 */
import { RefusalError } from '../../core/requests'
import { candidateCodes, classifyCode, fold } from '../codes'
import type { PartsCommands } from '../commands'
import { failureText } from '../failures'
import { parseQuantity } from '../quantity'
import { displayPath, roundQty, type CellContents, type CellItem, type Product } from '../records'
import { actionText, formatQty, moveButtonText, takenAllText, type Action, type MultiEntry, type SingleAction } from './texts'
import { parseNumber } from '../../core/numbers'

export type Mode = 'put' | 'take' | 'move'
export type Sound = 'success' | 'error' | 'cellCue' | 'targetCue'

export type PlacementCommands = Pick<
  PartsCommands,
  'cellByBarcode' | 'productFind' | 'productLocations' | 'placementPut' | 'placementTake' | 'placementMove' | 'productSave'
>

export interface DeskCell {
  id: number
  name: string
  path: string[]
  zoneName: string
}

export interface Location {
  zoneName: string
  cellPath: string
  quantity: number
  cellId: number | null
}

export interface Selected {
  id: number
  name: string
  internalBarcode: string
  price: number | null
  currentQuantity: number
}

export interface ListRow {
  productId: number
  name: string
  internalBarcode: string
  price: number | null
  quantity: string
  error?: string
  /** the quantity in the source cell (move list only) */
  available?: number
}

export interface NewProductForm {
  name: string
  price: string
  comment: string
  quantity: string
  printLabel: boolean
}

export interface PlacementDeps {
  commands: PlacementCommands
  sound?: (s: Sound) => void
  /** the device's index of extra product barcodes: extra code → internal barcode */
  extraBarcode?: (code: string) => string | undefined
  /** prints a new product's label; its failure is shown as a note */
  printLabel?: (productId: number) => Promise<void>
  /** flashes a list row for 1 500 ms */
  highlight?: (productId: number) => void
}

export const HIGHLIGHT_MS = 1500
export const QUANTITY_FIX_TABLE = 'Исправьте количество в таблице'
export const QUANTITY_FIX_LIST = 'Исправьте количество в списке'

const cellPath = (c: CellContents['cell'] | DeskCell) => displayPath({ zoneName: c.zoneName, path: c.path })
const place = (c: CellContents['cell'] | DeskCell) => ({ id: c.id, path: cellPath(c) })
const emptyForm = (): NewProductForm => ({ name: '', price: '', comment: '', quantity: '1', printLabel: false })

type Ok<T> = { ok: true; value: T } | { ok: false; text: string }

/** A typed price: empty means none; otherwise a number not below zero with at most 2 decimals. */
export function parsePrice(raw: string): Ok<number | undefined> {
  const p = parseNumber(raw, 2)
  if (!p.ok && p.reason === 'empty') return { ok: true, value: undefined }
  if (!p.ok) return { ok: false, text: 'Цена должна быть числом не меньше нуля' }
  return { ok: true, value: p.value }
}

/** The new product's quantity: empty is 1, 0 creates without placing. */
export function parseNewQuantity(raw: string): Ok<number> {
  const p = parseNumber(raw, 4)
  if (!p.ok && p.reason === 'empty') return { ok: true, value: 1 }
  if (!p.ok && p.reason === 'negative') return { ok: false, text: 'Количество не может быть отрицательным' }
  if (!p.ok) return { ok: false, text: 'Количество должно быть числом' }
  const v = p.value
  return { ok: true, value: v }
}

export class PlacementSession {
  mode: Mode = 'put'
  cell: CellContents | null = null
  pending: { product: Product; locations: Location[] } | null = null
  selected: Selected | null = null
  choices: Product[] = []
  multiOn = false
  multi: ListRow[] = []
  moveList: ListRow[] = []
  target: CellContents['cell'] | DeskCell | null = null
  desk: DeskCell | null = null
  last: { action: Action; text: string; undone: boolean } | null = null
  note: { text: string; error: boolean } | null = null
  /** the new-product form, with the scanned barcode it was opened for */
  newProduct: { form: NewProductForm; barcode: string } | null = null
  /** the locations of a pending product in take mode, to choose from */
  takeFrom: Location[] = []
  busy = false

  constructor(private readonly deps: PlacementDeps) {}

  // ---- feedback

  private say(text: string, error = false, sound?: Sound) {
    this.note = { text, error }
    if (sound) this.deps.sound?.(sound)
  }

  private fail(text: string) {
    this.say(text, true, 'error')
  }

  get hint(): string {
    if (this.mode !== 'move') return 'Отсканируйте ячейку или товар, или начните печатать название — список появится сам'
    if (!this.cell) return 'Отсканируйте ячейку, откуда переносим'
    return this.target ? `Назначение: ${cellPath(this.target)}` : 'Сканируйте товары, затем ячейку назначения'
  }

  get moveButton(): string {
    return moveButtonText(this.moveList.length)
  }

  setMode(mode: Mode) {
    this.mode = mode
    this.selected = null
    this.multi = []
    this.moveList = []
    this.target = null
    this.pending = null
    this.takeFrom = []
    if (mode === 'move') this.multiOn = false
  }

  // ---- scans

  async scan(raw: string): Promise<void> {
    const code = classifyCode(raw)
    if (code.text === '') return
    if (code.kind === 'name') return this.searchByName(code.text)
    const candidates = candidateCodes(code.text)
    const [cellAns, productAns] = await Promise.all([this.findCell(candidates), this.findProducts(candidates)])
    if (cellAns.cell && (ownCode(cellAns.cell, candidates) || productAns.products.length === 0)) return this.cellScanned(cellAns.cell)
    let products = productAns.products
    if (products.length === 0 && !productAns.failed) {
      const internal = this.deps.extraBarcode?.(code.text)
      if (internal) products = (await this.findProducts([internal])).products
    }
    if (products.length === 1 && products[0]) return this.productScanned(products[0])
    if (products.length > 1) {
      this.choices = products
      return
    }
    if (code.kind !== 'barcode') {
      const byName = await this.findProducts([code.text])
      if (byName.products.length > 0) {
        this.choices = byName.products
        return
      }
    }
    if (cellAns.failed) return this.fail(cellAns.failed)
    if (productAns.failed) return this.fail(`Поиск не удался: ${productAns.failed}`)
    this.fail(`Не найдено: ${code.text}`)
    if (this.cell && this.mode === 'put') this.openNewProduct(code.text)
  }

  private async searchByName(text: string) {
    const r = await this.findProducts([text])
    if (r.failed) return this.fail(`Поиск не удался: ${r.failed}`)
    if (r.products.length === 0) return this.fail('Товар не найден')
    if (r.products.length === 1 && r.products[0]) return this.productScanned(r.products[0])
    this.choices = r.products
  }

  /** The first cell any candidate names; a refusal other than `not_found` is kept as the failure. */
  private async findCell(codes: string[]): Promise<{ cell: CellContents | null; failed?: string }> {
    let failed: string | undefined
    for (const c of codes) {
      try {
        const cell = await this.deps.commands.cellByBarcode(c)
        if (cell) return { cell }
      } catch (e) {
        if (!(e instanceof RefusalError && e.info.code === 'not_found')) failed ??= failureText('openCell', e)
      }
    }
    return failed === undefined ? { cell: null } : { cell: null, failed }
  }

  private async findProducts(codes: string[]): Promise<{ products: Product[]; failed?: string }> {
    const byId = new Map<number, Product>()
    let failed: string | undefined
    const answers = await Promise.allSettled(codes.map((c) => this.deps.commands.productFind(c)))
    for (const a of answers) {
      if (a.status === 'rejected') failed ??= failureText('search', a.reason)
      else for (const p of a.value) if (!byId.has(p.id)) byId.set(p.id, p)
    }
    const products = [...byId.values()]
    return failed !== undefined && products.length === 0 ? { products, failed } : { products }
  }

  /** A chosen product of the list acts like a scan of it. */
  choose(product: Product): Promise<void> {
    this.choices = []
    return this.productScanned(product)
  }

  async cellScanned(cell: CellContents): Promise<void> {
    if (this.mode === 'move') return this.moveCellScanned(cell)
    this.openCell(cell)
  }

  private openCell(cell: CellContents) {
    this.choices = []
    this.selected = null
    this.newProduct = null
    if (this.cell?.cell.id === cell.cell.id) {
      this.cell = cell
      this.say(`Уже в „${cell.cell.name}“`, false, 'success')
    } else {
      this.cell = cell
      this.say(`Работаем с „${cell.cell.name}“ — сканируйте товары`, false, 'cellCue')
    }
    if (this.pending && this.mode !== 'move') {
      const p = this.pending.product
      this.pending = null
      this.select(p)
    }
  }

  private async productScanned(p: Product): Promise<void> {
    if (this.mode === 'move') return this.moveProductScanned(p)
    if (!this.cell) return this.makePending(p)
    if (this.multiOn) return this.addToMulti(p)
    this.select(p)
  }

  private select(p: Product) {
    const item = this.cell?.items.find((i) => i.productId === p.id)
    this.selected = { id: p.id, name: p.name, internalBarcode: p.internalBarcode, price: p.price, currentQuantity: item?.quantity ?? 0 }
  }

  private async makePending(p: Product): Promise<void> {
    let locations: Location[]
    try {
      locations = await this.deps.commands.productLocations(p.id)
    } catch (e) {
      return this.fail(failureText('locations', e))
    }
    const held = locations.filter((l) => l.cellId !== null && l.quantity > 0)
    if (this.mode === 'take') {
      this.pending = null
      if (held.length === 0) return this.fail(`«${p.name}» нет ни в одной ячейке`)
      if (held.length === 1 && held[0]) return this.takeFromLocation(p, held[0], '1')
      this.pending = { product: p, locations: held }
      this.takeFrom = held
      return
    }
    this.pending = { product: p, locations: held }
  }

  /** The take of a pending product from one of its locations. */
  async takeFromLocation(p: Pick<Product, 'id' | 'name' | 'internalBarcode' | 'price'>, loc: Location, qtyText: string): Promise<void> {
    const q = parseQuantity(qtyText.trim() === '' ? '1' : qtyText, loc.quantity)
    if (!q.ok) return this.fail(q.text)
    if (loc.cellId === null) return
    const path = [loc.zoneName, loc.cellPath].filter((s) => s !== '').join(' → ')
    const action: SingleAction = { kind: 'take', productId: p.id, name: p.name, internalBarcode: p.internalBarcode, price: p.price, quantity: q.value, cell: { id: loc.cellId, path } }
    if (await this.runSingle(action)) {
      this.pending = null
      this.takeFrom = []
    }
  }

  // ---- the product card and the item rows

  /** "Положить" / "Забрать" on the card; `toDesk` puts into the desk cell instead. */
  async applySelected(qtyText: string, priceText = '', toDesk = false): Promise<void> {
    const s = this.selected
    const into = toDesk ? this.desk : this.cell?.cell
    if (!s || !into) return
    const q = parseQuantity(qtyText.trim() === '' ? '1' : qtyText)
    if (!q.ok) return this.fail(q.text)
    const kind = toDesk ? 'put' : this.mode === 'take' ? 'take' : 'put'
    let price: number | undefined
    if (kind === 'put') {
      const pr = parsePrice(priceText)
      if (!pr.ok) return this.fail(pr.text)
      price = pr.value
    }
    const action: SingleAction = { kind, productId: s.id, name: s.name, internalBarcode: s.internalBarcode, price: s.price, quantity: q.value, cell: place(into) }
    if (await this.runSingle(action, price)) this.selected = null
  }

  /** "Забрать все" on an item row. */
  async takeAll(item: CellItem): Promise<void> {
    if (!this.cell) return
    const action: SingleAction = { ...entryOf(item), kind: 'take', quantity: item.quantity, cell: place(this.cell.cell) }
    if (await this.runSingle(action)) this.say(takenAllText(item.quantity, item.name))
  }

  /** "На рабочий стол" on an item row: the whole quantity moves to the desk cell. */
  async deskAll(item: CellItem): Promise<void> {
    if (this.desk) await this.moveOne(item, this.desk, formatQty(item.quantity))
  }

  /** The move dialog: the item's quantity (all of it by default) to the target; true once moved. */
  async moveOne(item: CellItem, target: CellContents['cell'] | DeskCell | null, qtyText: string): Promise<boolean> {
    if (!this.cell) return false
    if (!target) return this.failed('Укажите ячейку-получателя')
    const q = parseQuantity(qtyText, item.quantity)
    if (!q.ok) return this.failed(q.text)
    const action: SingleAction = { ...entryOf(item), kind: 'move', quantity: q.value, cell: place(this.cell.cell), to: place(target) }
    return this.runSingle(action)
  }

  /** Sends one command, updates the open cell, makes it the last action; false on failure. */
  private async runSingle(a: SingleAction, price?: number): Promise<boolean> {
    this.busy = true
    try {
      const reply = await this.send(a, price)
      this.remember(a)
      this.say(reply.avgPrice !== undefined ? `Средняя цена теперь ${reply.avgPrice}` : actionText(a), false, 'success')
      return true
    } catch (e) {
      this.fail(failureText('placement', e))
      return false
    } finally {
      this.busy = false
    }
  }

  /** One command for an action (or its inverse), with the open cell's items brought up to date. */
  private async send(a: SingleAction, price?: number): Promise<{ avgPrice?: number }> {
    const c = this.deps.commands
    const product = { productId: a.productId, name: a.name, internalBarcode: a.internalBarcode, price: a.price }
    if (a.kind === 'move' && a.to) {
      const r = await c.placementMove({ productId: a.productId, fromCellId: a.cell.id, toCellId: a.to.id, quantity: a.quantity })
      this.updateItem(a.cell.id, product, r.fromRemaining)
      this.updateItem(a.to.id, product, r.toQuantity)
      return {}
    }
    if (a.kind === 'put') {
      const q: { cellId: number; productId: number; quantity: number; price?: number } = { cellId: a.cell.id, productId: a.productId, quantity: a.quantity }
      if (price !== undefined) q.price = price
      const r = await c.placementPut(q)
      this.updateItem(a.cell.id, product, r.quantity)
      return typeof r.price === 'number' ? { avgPrice: r.price } : {}
    }
    const r = await c.placementTake({ cellId: a.cell.id, productId: a.productId, quantity: a.quantity })
    this.updateItem(a.cell.id, product, r.quantity)
    return {}
  }

  /** The open cell's item replaced by its new quantity, or removed at 0; the comment stays. */
  private updateItem(cellId: number, p: Omit<CellItem, 'quantity'>, quantity: number) {
    if (!this.cell || this.cell.cell.id !== cellId) return
    const items = this.cell.items
    const i = items.findIndex((it) => it.productId === p.productId)
    const q = roundQty(quantity)
    if (q <= 0) {
      if (i >= 0) items.splice(i, 1)
      return
    }
    const comment = i >= 0 ? items[i]?.comment : undefined
    const item: CellItem = { productId: p.productId, name: p.name, internalBarcode: p.internalBarcode, price: p.price, quantity: q }
    if (comment !== undefined) item.comment = comment
    if (i >= 0) items.splice(i, 1, item)
    else items.push(item)
  }

  // ---- the multi list

  addToMulti(p: Pick<Product, 'id' | 'name' | 'internalBarcode' | 'price'>) {
    const row = this.multi.find((r) => r.productId === p.id)
    if (row) {
      const n = Number(row.quantity.trim().replace(',', '.'))
      row.quantity = formatQty((Number.isFinite(n) ? n : 0) + 1)
      row.error = undefined
      this.deps.highlight?.(p.id)
      return
    }
    this.multi.push({ productId: p.id, name: p.name, internalBarcode: p.internalBarcode, price: p.price, quantity: '1' })
  }

  /** "Положить все" / "Забрать все": every row checked, then one command per row, stopping at the first failure. */
  async runMulti(): Promise<void> {
    if (!this.cell || this.mode === 'move' || this.multi.length === 0) return
    const mode = this.mode
    const cell = place(this.cell.cell)
    const run = await this.runRows(this.multi, QUANTITY_FIX_TABLE, (entry) => ({ ...entry, kind: mode, cell }))
    if (!run) return
    if (run.done.length > 0) this.remember({ kind: 'multi', mode, entries: run.done, cell })
    if (run.failed) return this.fail(`Не обработано: ${run.failed.text}`)
    this.say(this.last?.text ?? '', false, 'success')
  }

  /**
   * Checks every row's quantity (each row keeps its own error), then sends one
   * command per row in order; a row done leaves the list, the first failure
   * stops the run and stays on its row. Null when a quantity was wrong.
   */
  private async runRows(rows: ListRow[], fixText: string, actionOf: (e: MultiEntry) => SingleAction) {
    const parsed = rows.map((r) => parseQuantity(r.quantity, r.available))
    parsed.forEach((q, i) => ((rows[i] as ListRow).error = q.ok ? undefined : q.text))
    if (parsed.some((q) => !q.ok)) {
      this.fail(fixText)
      return null
    }
    const done: MultiEntry[] = []
    let failed: { name: string; text: string } | undefined
    this.busy = true
    for (const [i, row] of [...rows].entries()) {
      const q = parsed[i] as { ok: true; value: number }
      const entry: MultiEntry = { productId: row.productId, name: row.name, internalBarcode: row.internalBarcode, price: row.price, quantity: q.value }
      try {
        await this.send(actionOf(entry))
        done.push(entry)
        rows.splice(rows.indexOf(row), 1)
      } catch (e) {
        failed = { name: row.name, text: failureText('placement', e) }
        row.error = failed.text
        break
      }
    }
    this.busy = false
    return { done, failed }
  }

  private remember(action: Action) {
    this.last = { action, text: actionText(action), undone: false }
  }

  // ---- the group move

  private moveCellScanned(cell: CellContents) {
    if (this.cell?.cell.id === cell.cell.id) return this.say(`Уже в „${cell.cell.name}“`, false, 'success')
    if (this.moveList.length === 0) {
      this.target = null
      return this.openCell(cell)
    }
    this.target = cell.cell
    this.say(`Переносим в „${cell.cell.name}“ — сканируйте товары`, false, 'targetCue')
  }

  /** The location of the pending product holding the most of it: where its move starts. */
  get pendingSource(): Location | null {
    const held = this.pending?.locations ?? []
    return held.reduce<Location | null>((best, l) => (best === null || l.quantity > best.quantity ? l : best), null)
  }

  /** The pending product's move button: move mode with its source open and the product listed. */
  startMoveFrom(source: CellContents, productId: number) {
    this.setMode('move')
    this.openCell(source)
    const item = source.items.find((i) => i.productId === productId)
    if (item) this.addToMoveList(item)
  }

  /** The desk cell as the target of the group move. */
  deskAsTarget() {
    if (this.desk) this.target = this.desk
  }

  private async moveProductScanned(p: Product): Promise<void> {
    if (!this.cell) return this.makePending(p)
    const item = this.cell.items.find((i) => i.productId === p.id)
    if (!item) return this.fail(`В ячейке «${this.cell.cell.name}» этого товара нет`)
    this.addToMoveList(item)
  }

  private addToMoveList(item: CellItem) {
    if (this.moveList.some((r) => r.productId === item.productId)) {
      this.deps.highlight?.(item.productId)
      return
    }
    this.moveList.push({ ...entryOf(item), quantity: formatQty(item.quantity), available: item.quantity })
  }

  /** Fills the move list with every item of the source. */
  addAllToMoveList() {
    for (const item of this.cell?.items ?? []) this.addToMoveList(item)
  }

  async runGroupMove(): Promise<void> {
    if (!this.cell || this.moveList.length === 0) return
    if (!this.target) return this.fail('Укажите ячейку-получателя')
    const source = place(this.cell.cell)
    const target = place(this.target)
    const run = await this.runRows(this.moveList, QUANTITY_FIX_LIST, (entry) => ({ ...entry, kind: 'move', cell: source, to: target }))
    if (!run) return
    const { done, failed } = run
    if (done.length > 0) this.remember({ kind: 'group', entries: done, source, target })
    if (failed) {
      const moved = done.length > 0 ? `Перенесено: ${done.map((d) => `«${d.name}»`).join(', ')}. ` : ''
      return this.fail(`${moved}Не перенесено «${failed.name}»: ${failed.text}`)
    }
    this.say(this.last?.text ?? '', false, 'success')
  }

  // ---- undo

  get canUndo(): boolean {
    return this.last !== null && !this.last.undone
  }

  /**
   * Sends the inverse of the last action. Each entry of a multi or group
   * action leaves the action once its inverse succeeded, so a second press
   * after a partial failure only sends what is still to undo.
   */
  async undo(): Promise<void> {
    const last = this.last
    if (!last || last.undone) return
    const a = last.action
    this.busy = true
    try {
      if (a.kind === 'multi') {
        const back = a.mode === 'put' ? 'take' : 'put'
        while (a.entries.length > 0) {
          await this.send({ ...(a.entries[0] as MultiEntry), kind: back, cell: a.cell })
          a.entries.shift()
        }
      } else if (a.kind === 'group') {
        while (a.entries.length > 0) {
          await this.send({ ...(a.entries[0] as MultiEntry), kind: 'move', cell: a.target, to: a.source })
          a.entries.shift()
        }
      } else {
        await this.send(inverse(a))
      }
    } catch (e) {
      return this.fail(failureText('placement', e))
    } finally {
      this.busy = false
    }
    last.undone = true
    last.text = `Отменено: ${last.text}`
    this.say(last.text, false, 'success')
  }

  // ---- the desk cell

  makeDesk(): DeskCell | null {
    if (!this.cell) return null
    const c = this.cell.cell
    this.desk = { id: c.id, name: c.name, path: c.path, zoneName: c.zoneName }
    return this.desk
  }

  clearDesk() {
    this.desk = null
  }

  // ---- the new product

  openNewProduct(barcode = '') {
    this.newProduct = { form: emptyForm(), barcode }
  }

  /** Saves the new product with the scanned barcode; a quantity above zero goes into the open cell. */
  async saveNewProduct(form: NewProductForm): Promise<boolean> {
    const draft = this.newProduct
    if (!draft) return false
    const name = form.name.trim()
    if (name === '') return this.failed('Введите название товара')
    const price = parsePrice(form.price)
    if (!price.ok) return this.failed(price.text)
    const q = parseNewQuantity(form.quantity)
    if (!q.ok) return this.failed(q.text)
    let product: Product
    try {
      const save: { name: string; price: number | null; comment: string; barcode?: string } = { name, price: price.value ?? null, comment: form.comment.trim() }
      if (draft.barcode.trim() !== '') save.barcode = draft.barcode.trim()
      product = (await this.deps.commands.productSave(save)).product
    } catch (e) {
      return this.failed(failureText('saveProduct', e))
    }
    this.newProduct = null
    if (q.value > 0 && this.cell) {
      const action: SingleAction = { ...entryOf({ ...product, productId: product.id }), kind: 'put', quantity: q.value, cell: place(this.cell.cell) }
      await this.runSingle(action)
    } else {
      this.say(`Товар «${product.name}» создан без размещения: в ячейку положено 0`, false, 'success')
    }
    if (form.printLabel && this.deps.printLabel) {
      try {
        await this.deps.printLabel(product.id)
      } catch (e) {
        this.fail(failureText('printLabels', e))
      }
    }
    return true
  }

  private failed(text: string): false {
    this.fail(text)
    return false
  }
}

/**
 * The cell answered for a code is that cell's own code. A service may answer a
 * product's barcode with the cell holding it; a product found by the same code
 * then wins, or a product could never be scanned into another cell.
 */
const ownCode = (c: CellContents, candidates: string[]) => c.cell.barcode !== null && candidates.some((k) => fold(k) === fold(c.cell.barcode ?? ''))

const entryOf = (i: Pick<CellItem, 'productId' | 'name' | 'internalBarcode' | 'price'>) => ({
  productId: i.productId,
  name: i.name,
  internalBarcode: i.internalBarcode,
  price: i.price,
})

function inverse(a: SingleAction): SingleAction {
  if (a.kind === 'put') return { ...a, kind: 'take' }
  if (a.kind === 'take') return { ...a, kind: 'put' }
  return { ...a, cell: a.to ?? a.cell, to: a.cell }
}
