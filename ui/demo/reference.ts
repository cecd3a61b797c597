/**
 * The product reference of the in-memory backend, served in pages by
 * `assortmentSync` as the server does: a full run pages through every
 * product, an incremental one (`since`) through the products changed after
 * that time plus the ids deleted since. Pages follow the change order, so a
 * product changed while a run pages through moves to the end and still comes
 * in that run. A generator adds large catalogues (EAN-13 barcodes with real
 * check digits, some with a leading zero, some products marked), and products
 * can be changed or deleted between runs.
 */
import type { Payload } from '../core/envelope'
import type { Handler, HandlerContext, MemoryBackend } from './backend'
import { accountDocuments, ean13, type DemoProduct } from './documents'

export const SYNC_PAGE_MAX = 1000
export const CATALOGUE_MAX = 300_000
const GENERATED_PREFIX = 'gen-'

interface Catalogue {
  /** product id → the time (ms) of its last change; products never changed have none */
  stamps: Map<string, number>
  /** deleted product id → when */
  removed: Map<string, number>
  /** when the catalogue was first served: the change time of the products never changed */
  base: number
  /** ids in change order, rebuilt after a change */
  order: string[] | null
}

interface ReferenceState {
  catalogues: Map<string, Catalogue>
  /** every change time handed out is after every time a page was answered with */
  clock: number
}

function referenceState(b: MemoryBackend): ReferenceState {
  let s = b.state.get('reference') as ReferenceState | undefined
  if (!s) {
    s = { catalogues: new Map(), clock: 0 }
    b.state.set('reference', s)
  }
  return s
}

function catalogueOf(b: MemoryBackend, accountId: string): Catalogue {
  const s = referenceState(b)
  let c = s.catalogues.get(accountId)
  if (!c) {
    const base = b.now()
    s.clock = Math.max(s.clock, base)
    c = { stamps: new Map(), removed: new Map(), base, order: null }
    s.catalogues.set(accountId, c)
  }
  return c
}

/** A change time later than any time already answered. */
function nextStamp(b: MemoryBackend): number {
  const s = referenceState(b)
  s.clock = Math.max(b.now(), s.clock + 1)
  return s.clock
}

const stampOf = (c: Catalogue, id: string) => c.stamps.get(id) ?? c.base

function ordered(c: Catalogue, products: ReadonlyMap<string, DemoProduct>): string[] {
  c.order ??= [...products.keys()].sort((x, y) => stampOf(c, x) - stampOf(c, y) || (x < y ? -1 : x > y ? 1 : 0))
  return c.order
}

const iso = (ms: number) => new Date(ms).toISOString()

function record(p: DemoProduct, stamp: number): Payload {
  return { assortmentId: p.id, name: p.name, code: p.code, article: p.article, barcodes: [...p.barcodes], markable: p.markable, updatedAt: iso(stamp) }
}

/** The cursor of the next page: when the run began, its `since` and the last product sent. */
interface Cursor {
  t: number
  since: number | null
  stamp: number
  id: string
}

const encodeCursor = (c: Cursor) => `${c.t}|${c.since ?? ''}|${c.stamp}|${c.id}`

function decodeCursor(text: string): Cursor | null {
  const [t, since, stamp, ...id] = text.split('|')
  const n = (v: string | undefined) => (v !== undefined && v !== '' && Number.isFinite(Number(v)) ? Number(v) : null)
  const tn = n(t)
  const sn = n(stamp)
  if (tn === null || sn === null || id.length === 0) return null
  return { t: tn, since: n(since), stamp: sn, id: id.join('|') }
}

const assortmentSync: Handler = (ctx: HandlerContext, p) => {
  const me = ctx.backend.signedIn(ctx.conn)
  if (!me) return { error: 'session not authorized' }
  if (me.account.features.assortmentSearch !== true) return { error: 'Справочник товаров выключен', errorCode: 'assortment-off' }
  const docs = accountDocuments(ctx.backend, me.account.uid)
  if (!docs) return { error: 'session not authorized' }
  const c = catalogueOf(ctx.backend, me.account.uid)
  const limit = typeof p.limit === 'number' && p.limit >= 1 ? Math.min(SYNC_PAGE_MAX, Math.floor(p.limit)) : SYNC_PAGE_MAX
  let cursor: Cursor | null = null
  if (typeof p.cursor === 'string' && p.cursor !== '') {
    cursor = decodeCursor(p.cursor)
    if (!cursor) return { error: 'Неверный курсор', errorCode: 'invalid' }
  }
  let since: number | null = cursor ? cursor.since : null
  if (!cursor && typeof p.since === 'string' && p.since !== '') {
    since = Date.parse(p.since)
    if (!Number.isFinite(since)) return { error: 'Неверное время since', errorCode: 'invalid' }
  }
  // Never earlier than a change already handed out, or the next run would bring it again.
  const t = cursor?.t ?? Math.max(ctx.now, referenceState(ctx.backend).clock)
  const state = referenceState(ctx.backend)
  state.clock = Math.max(state.clock, t)

  const ids = ordered(c, docs.products)
  // The first product after the cursor (or after `since`): a binary search over the change order.
  const after = (id: string) => {
    const s = stampOf(c, id)
    if (cursor) return s > cursor.stamp || (s === cursor.stamp && id > cursor.id)
    return since === null || s > since
  }
  let lo = 0
  let hi = ids.length
  while (lo < hi) {
    const mid = (lo + hi) >>> 1
    if (after(ids[mid]!)) hi = mid
    else lo = mid + 1
  }
  const slice = ids.slice(lo, lo + limit)
  const items = slice.map((id) => record(docs.products.get(id)!, stampOf(c, id)))
  const deleted = !cursor && since !== null ? [...c.removed].filter(([, at]) => at > since).map(([id]) => id) : []
  const answer: Payload = { items, deleted, serverTime: iso(t) }
  if (lo + limit < ids.length) {
    const last = slice[slice.length - 1]!
    answer.cursor = encodeCursor({ t, since, stamp: stampOf(c, last), id: last })
  }
  return answer
}

export const referenceHandlers: Readonly<Record<string, Handler>> = { assortmentSync }

// ---- changes between runs (the control endpoint and the tests drive them)

function productsOf(b: MemoryBackend, accountId: string) {
  const docs = accountDocuments(b, accountId)
  if (!docs) throw new Error(`no account ${accountId}`)
  return docs
}

export interface ProductChange {
  name?: string
  code?: string
  article?: string
  barcodes?: string[]
  markable?: boolean
}

/** Changes a product of the account; the next run brings the new version. */
export function changeProduct(b: MemoryBackend, accountId: string, productId: string, change: ProductChange): DemoProduct {
  const docs = productsOf(b, accountId)
  const product = docs.products.get(productId)
  if (!product) throw new Error(`no product ${productId}`)
  if (typeof change.name === 'string') product.name = change.name
  if (typeof change.code === 'string') product.code = change.code
  if (typeof change.article === 'string') product.article = change.article
  if (Array.isArray(change.barcodes)) product.barcodes = change.barcodes.filter((x): x is string => typeof x === 'string')
  if (typeof change.markable === 'boolean') product.markable = change.markable
  const c = catalogueOf(b, accountId)
  c.stamps.set(productId, nextStamp(b))
  c.order = null
  return product
}

/** Deletes a product of the account; one that a document still lists is refused. */
export function deleteProduct(b: MemoryBackend, accountId: string, productId: string): void {
  const docs = productsOf(b, accountId)
  if (!docs.products.has(productId)) throw new Error(`no product ${productId}`)
  for (const doc of docs.byId.values()) {
    if (doc.positions.some((x) => x.productId === productId)) throw new Error(`product ${productId} is in document ${doc.number}`)
  }
  removeProducts(b, accountId, [productId])
}

function removeProducts(b: MemoryBackend, accountId: string, ids: readonly string[]): void {
  if (ids.length === 0) return
  const docs = productsOf(b, accountId)
  const c = catalogueOf(b, accountId)
  const at = nextStamp(b)
  for (const id of ids) {
    docs.products.delete(id)
    c.stamps.delete(id)
    c.removed.set(id, at)
  }
  c.order = null
}

const GENERATED_GOODS = [
  ['Футболка', true],
  ['Кроссовки', true],
  ['Шампунь', true],
  ['Вода питьевая', true],
  ['Кабель', false],
  ['Кружка', false],
  ['Лампа', false],
  ['Фильтр', false],
  ['Тетрадь', false],
  ['Батарейки', false],
] as const

/** A generated product's barcode: EAN-13 with its check digit; every tenth starts with a zero. */
export function generatedBarcode(n: number): string {
  return n % 10 === 3 ? ean13(`046${String(n).padStart(9, '0')}`) : ean13(`460${String(n).padStart(9, '0')}`)
}

function generatedProduct(n: number): DemoProduct {
  const [kind, markable] = GENERATED_GOODS[n % GENERATED_GOODS.length]!
  return {
    id: `${GENERATED_PREFIX}${String(n).padStart(6, '0')}`,
    name: `${kind} из каталога №${n}`,
    code: String(500_000 + n),
    barcodes: [generatedBarcode(n)],
    article: `GEN-${n}`,
    // Marked goods of a marked kind, about two in three of them.
    markable: markable && n % 3 !== 0,
    cell: '',
    cellStock: 0,
    warehouseStock: 0,
  }
}

/**
 * Makes the account's generated catalogue exactly `size` products ("gen-000001"…):
 * missing ones are added (as changed now), those beyond `size` deleted.
 * Answers the first `sample` generated products.
 */
export function seedCatalogue(b: MemoryBackend, accountId: string, size: number, sample = 5): DemoProduct[] {
  if (!Number.isInteger(size) || size < 0 || size > CATALOGUE_MAX) throw new Error(`size must be 0…${CATALOGUE_MAX}`)
  const docs = productsOf(b, accountId)
  const c = catalogueOf(b, accountId)
  const at = nextStamp(b)
  for (let n = 1; n <= size; n++) {
    const p = generatedProduct(n)
    if (docs.products.has(p.id)) continue
    docs.products.set(p.id, p)
    c.stamps.set(p.id, at)
    c.removed.delete(p.id)
  }
  const extra = [...docs.products.keys()].filter((id) => id.startsWith(GENERATED_PREFIX) && Number(id.slice(GENERATED_PREFIX.length)) > size)
  removeProducts(b, accountId, extra)
  c.order = null
  const out: DemoProduct[] = []
  for (let n = 1; n <= Math.min(size, sample); n++) out.push(docs.products.get(generatedProduct(n).id)!)
  return out
}
