/**
 * Warehouse documents of the sample accounts: lists of the five types in
 * pages, the contents of one document in pages, the search by number, and
 * the change of a document's check state (which the service host's control
 * endpoint drives in tests). The data are generated from a fixed seed, so
 * every run and every client sees the same documents.
 */
import type { Payload } from '../core/envelope'
import type { Handler, MemoryBackend } from './backend'
import { applyRoleCompletion, checkItemFields, checkListFields, emptyCheck, type DemoCheck, type DemoStage } from './checkState'
import { completionState } from './completion'
import type { SeedAccount } from './seed'

export const DOCUMENT_PAGE_SIZE = 100
export const CONTENTS_PAGE_SIZE = 50
/** how many documents of each type an account with MoySklad has (shipments are enough to page through) */
export const DOCUMENT_COUNTS: Readonly<Record<string, number>> = {
  shipment: 1200,
  order: 60,
  receiving: 24,
  transfer: 12,
  customer_return: 8,
}
/** documents of each type that exist in MoySklad but in a status outside the ones chosen for picking */
const OUTSIDE_PER_TYPE = 3

export interface DemoProduct {
  id: string
  name: string
  code: string
  barcodes: string[]
  article: string
  markable: boolean
  cell: string
  cellStock: number
  warehouseStock: number
}

export interface DemoPosition {
  productId: string
  quantity: number
}

export interface DemoDocument {
  id: string
  type: string
  number: string
  moment: string
  counterparty: string
  warehouse: string
  status: 'pending' | 'in_progress' | 'completed'
  positions: DemoPosition[]
  searchCodes?: string[]
  /** "wb": an order that stands for a Wildberries assembly task, whose id is `postingNumber` */
  marketplace?: string
  postingNumber?: string
  collector?: { id: string; name: string }
  /** the two-person check, once one has touched the document (start, release, completion with a role) */
  check?: DemoCheck
  /** false: in MoySklad, but in a status outside the list */
  inFilter: boolean
  stateName: string
}

interface AccountDocuments {
  products: Map<string, DemoProduct>
  byType: Map<string, DemoDocument[]>
  byId: Map<string, DemoDocument>
}

// ---- the generator

function hashSeed(text: string): number {
  let h = 2166136261
  for (let i = 0; i < text.length; i++) {
    h ^= text.charCodeAt(i)
    h = Math.imul(h, 16777619)
  }
  return h >>> 0
}

/** mulberry32: small, fast and good enough for sample data. */
function random(seed: number): () => number {
  let a = seed
  return () => {
    a = (a + 0x6d2b79f5) | 0
    let t = Math.imul(a ^ (a >>> 15), 1 | a)
    t = (t + Math.imul(t ^ (t >>> 7), 61 | t)) ^ t
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296
  }
}

const pick = <T>(rnd: () => number, list: readonly T[]): T => list[Math.floor(rnd() * list.length)]!

/** An EAN-13 code: the 12 digits given and their check digit. */
export function ean13(body12: string): string {
  let sum = 0
  for (let i = 0; i < 12; i++) sum += Number(body12[i]) * (i % 2 === 0 ? 1 : 3)
  return body12 + String((10 - (sum % 10)) % 10)
}

const GOODS: ReadonlyArray<{ name: string; variants: readonly string[]; markable: boolean }> = [
  { name: 'Футболка хлопковая', variants: ['белая, M', 'белая, L', 'черная, M', 'черная, XL', 'серая, S'], markable: true },
  { name: 'Кроссовки беговые', variants: ['р. 40', 'р. 41', 'р. 42', 'р. 43', 'р. 44'], markable: true },
  { name: 'Носки спортивные', variants: ['3 пары, 39–42', '3 пары, 43–46', '5 пар, 39–42'], markable: true },
  { name: 'Кружка керамическая', variants: ['350 мл, синяя', '350 мл, белая', '450 мл, зеленая'], markable: false },
  { name: 'Кабель USB-C', variants: ['1 м', '2 м', 'в оплетке, 1 м'], markable: false },
  { name: 'Зарядное устройство', variants: ['20 Вт', '33 Вт', '65 Вт GaN'], markable: false },
  { name: 'Шампунь восстанавливающий', variants: ['250 мл', '400 мл', '1 л'], markable: true },
  { name: 'Крем для рук', variants: ['50 мл', '75 мл'], markable: true },
  { name: 'Вода питьевая', variants: ['0,5 л', '1,5 л', '5 л'], markable: true },
  { name: 'Кофе в зернах', variants: ['250 г', '1 кг'], markable: false },
  { name: 'Чай черный листовой', variants: ['100 г', '200 г'], markable: false },
  { name: 'Шины летние', variants: ['195/65 R15', '205/55 R16', '215/60 R17'], markable: true },
  { name: 'Фильтр масляный', variants: ['W 712/75', 'W 914/2', 'OC 90'], markable: false },
  { name: 'Свеча зажигания', variants: ['BKR6E', 'FR7DC', 'ILZKR7B11'], markable: false },
  { name: 'Лампа светодиодная', variants: ['E27, 10 Вт', 'E14, 7 Вт', 'GU10, 5 Вт'], markable: false },
  { name: 'Батарейки AA', variants: ['4 шт.', '8 шт.', '24 шт.'], markable: false },
  { name: 'Тетрадь в клетку', variants: ['48 л.', '96 л.'], markable: false },
  { name: 'Ручка шариковая', variants: ['синяя', 'черная', 'набор 10 шт.'], markable: false },
  { name: 'Пакет упаковочный', variants: ['30×40', '40×50', '50×60'], markable: false },
  { name: 'Скотч упаковочный', variants: ['48 мм × 66 м', '72 мм × 66 м'], markable: false },
  { name: 'Духи женские', variants: ['30 мл', '50 мл'], markable: true },
  { name: 'Пуховик мужской', variants: ['M', 'L', 'XL'], markable: true },
  { name: 'Перчатки рабочие', variants: ['х/б', 'нитриловые'], markable: false },
  { name: 'Молоко ультрапастеризованное', variants: ['3,2%, 1 л', '2,5%, 1 л'], markable: true },
  { name: 'Рюкзак городской', variants: ['20 л, серый', '25 л, черный'], markable: false },
  { name: 'Велосипедная камера', variants: ['26"', '27,5"', '29"'], markable: true },
  { name: 'Набор отверток', variants: ['6 предметов', '12 предметов'], markable: false },
  { name: 'Масло моторное 5W-30', variants: ['1 л', '4 л'], markable: true },
  { name: 'Полотенце махровое', variants: ['50×90', '70×140'], markable: true },
  { name: 'Наушники беспроводные', variants: ['белые', 'черные'], markable: false },
  { name: 'Чехол для телефона', variants: ['прозрачный', 'черный матовый', 'книжка'], markable: false },
  { name: 'Игрушка мягкая', variants: ['медведь 30 см', 'заяц 25 см'], markable: false },
  { name: 'Детское пюре', variants: ['яблоко, 100 г', 'груша, 100 г'], markable: false },
  { name: 'Кабель HDMI', variants: ['1,5 м', '3 м'], markable: false },
  { name: 'Салфетки влажные', variants: ['72 шт.', '120 шт.'], markable: false },
  { name: 'Бумага для принтера А4', variants: ['500 л.'], markable: false },
  { name: 'Термокружка', variants: ['400 мл', '500 мл'], markable: false },
  { name: 'Зонт складной', variants: ['черный', 'в клетку'], markable: false },
  { name: 'Ремень кожаный', variants: ['110 см', '120 см'], markable: true },
  { name: 'Сумка поясная', variants: ['черная'], markable: false },
  { name: 'Шапка вязаная', variants: ['серая', 'синяя', 'бордовая'], markable: true },
  { name: 'Кепка бейсболка', variants: ['белая', 'черная'], markable: true },
  { name: 'Аккумулятор автомобильный', variants: ['60 А·ч', '75 А·ч'], markable: false },
  { name: 'Щетки стеклоочистителя', variants: ['450 мм', '550 мм', '650 мм'], markable: false },
  { name: 'Антифриз G12', variants: ['1 кг', '5 кг'], markable: false },
  { name: 'Брюки рабочие', variants: ['48', '50', '52', '54'], markable: true },
]

const COUNTERPARTIES = [
  'ООО «Ромашка»',
  'ИП Кузнецов Алексей Викторович',
  'ООО «Северный ветер»',
  'АО «ТехноСнаб»',
  'ООО «Вектор»',
  'ИП Смирнова Ольга Петровна',
  'ООО «Автодеталь-Юг»',
  'ООО «Маркет Плюс»',
  'ООО «Лесная поляна»',
  'ИП Федоров Иван Сергеевич',
  'ООО «Глобус Трейд»',
  'Розничный покупатель',
  'ООО «Сибирский тракт»',
  'ООО «Домашний уют»',
  'АО «Волга-Логистик»',
  'ООО «Бриз»',
  'ИП Морозова Анна Игоревна',
  'ООО «Запчасти на Мира»',
]
const WAREHOUSES = ['Основной склад', 'Склад на Лесной', 'Шоурум на Садовой']
const OUTSIDE_STATES = ['Отменен', 'Черновик', 'Ждет оплаты']
const COLLECTORS = [
  { id: 'u-igor', name: 'Игорь Петров' },
  { id: 'u-anna', name: 'Анна Смирнова' },
]

function catalogue(rnd: () => number): Map<string, DemoProduct> {
  const products = new Map<string, DemoProduct>()
  let n = 0
  for (const good of GOODS) {
    for (const variant of good.variants) {
      n += 1
      const id = `prod-${String(n).padStart(4, '0')}`
      const body = `46${String(Math.floor(rnd() * 1e10)).padStart(10, '0')}`
      const barcodes = [ean13(body)]
      if (rnd() < 0.15) barcodes.push(ean13(`20${String(Math.floor(rnd() * 1e10)).padStart(10, '0')}`))
      const row = String.fromCharCode(65 + Math.floor(rnd() * 6))
      const cell = rnd() < 0.9 ? `${row}-${String(1 + Math.floor(rnd() * 12)).padStart(2, '0')}-${String(1 + Math.floor(rnd() * 5)).padStart(2, '0')}` : ''
      const cellStock = Math.floor(rnd() * 60)
      products.set(id, {
        id,
        name: `${good.name}, ${variant}`,
        code: String(10000 + n),
        barcodes,
        article: `ART-${String(n * 37).padStart(5, '0')}`,
        markable: good.markable,
        cell,
        cellStock,
        warehouseStock: cellStock + Math.floor(rnd() * 40),
      })
    }
  }
  return products
}

/** "YYYY-MM-DD hh:mm:ss" of a UTC time. */
function momentText(ms: number): string {
  return new Date(ms).toISOString().slice(0, 19).replace('T', ' ')
}

function generate(account: SeedAccount, now: number): AccountDocuments {
  const rnd = random(hashSeed(account.uid))
  const products = catalogue(rnd)
  const ids = [...products.keys()]
  const byType = new Map<string, DemoDocument[]>()
  const byId = new Map<string, DemoDocument>()
  // Accounts without MoySklad keep their own shipments only.
  const types = account.moysklad ? Object.keys(DOCUMENT_COUNTS) : ['shipment']
  const hour = 60 * 60 * 1000
  for (const type of types) {
    const count = DOCUMENT_COUNTS[type]!
    const list: DemoDocument[] = []
    let at = Math.floor(now / hour) * hour - hour
    for (let i = 0; i < count + OUTSIDE_PER_TYPE; i++) {
      const outside = i >= count
      at -= Math.floor((0.3 + rnd() * 3) * hour)
      // The 120-position document is the fifth newest shipment.
      const size = type === 'shipment' && i === 4 ? 120 : 1 + Math.floor(rnd() * rnd() * 12)
      const start = Math.floor(rnd() * ids.length)
      const positions: DemoPosition[] = []
      for (let k = 0; k < size; k++) {
        positions.push({ productId: ids[(start + k * 7) % ids.length]!, quantity: 1 + Math.floor(rnd() * rnd() * 6) })
      }
      // The large shipment has one product on two lines, as real orders do: line 2 (1 item) and line 118 (3 items).
      if (size === 120) {
        positions[1]!.quantity = 1
        positions[117] = { productId: positions[1]!.productId, quantity: 3 }
      }
      const roll = rnd()
      const status = outside ? 'pending' : roll < 0.06 ? 'completed' : roll < 0.16 ? 'in_progress' : 'pending'
      const seq = count + OUTSIDE_PER_TYPE - i
      const number = type === 'shipment' ? String(1000 + seq) : String(seq).padStart(5, '0')
      const doc: DemoDocument = {
        id: `${account.uid}-${type}-${seq}`,
        type,
        number,
        moment: momentText(at),
        counterparty: pick(rnd, COUNTERPARTIES),
        warehouse: pick(rnd, WAREHOUSES),
        status,
        positions,
        inFilter: !outside,
        stateName: outside ? pick(rnd, OUTSIDE_STATES) : status === 'completed' ? 'Отгружен' : 'Новый',
      }
      if (type === 'order' && rnd() < 0.5) {
        const task = String(Math.floor(10_000_000 + rnd() * 89_999_999))
        Object.assign(doc, { searchCodes: [`WB-${task}`], marketplace: 'wb', postingNumber: task })
      }
      if (status === 'in_progress') doc.collector = pick(rnd, COLLECTORS)
      list.push(doc)
      byId.set(doc.id, doc)
    }
    byType.set(type, list)
  }
  return { products, byType, byId }
}

// ---- state

interface DocumentsState {
  accounts: Map<string, AccountDocuments>
  /** completions already applied (a document returned to work later stays returned) */
  applied: WeakSet<object>
}

function documentsState(b: MemoryBackend): DocumentsState {
  let s = b.state.get('documents') as DocumentsState | undefined
  if (!s) {
    s = { accounts: new Map(), applied: new WeakSet() }
    b.state.set('documents', s)
  }
  return s
}

/** The documents of an account (generated on first use). */
export function accountDocuments(b: MemoryBackend, accountId: string): AccountDocuments | undefined {
  const state = documentsState(b)
  let docs = state.accounts.get(accountId)
  if (!docs) {
    const account = b.accounts.get(accountId)
    if (!account) return undefined
    docs = generate(account, b.now())
    state.accounts.set(accountId, docs)
  }
  return docs
}

/** Documents completed through `completeDocument` are completed from then on. */
function applyCompletions(b: MemoryBackend, accountId: string, docs: AccountDocuments): void {
  const applied = documentsState(b).applied
  for (const done of completionState(b).done) {
    if (done.accountId !== accountId || applied.has(done)) continue
    applied.add(done)
    const doc = docs.byId.get(done.documentId)
    if (!doc) continue
    doc.status = 'completed'
    if (done.role === 'collector' || done.role === 'checker') {
      const user = b.user(done.userId)?.user
      const who = { id: done.userId, name: user ? `${user.firstName} ${user.lastName}` : '' }
      applyRoleCompletion(checkOf(doc), done, who)
    }
  }
}

export function stageOf(doc: DemoDocument): DemoStage {
  if (doc.check) return doc.check.stage
  return doc.status === 'completed' ? 'collected' : doc.status === 'in_progress' ? 'collecting' : 'new'
}

/** The document's check, started from what its status says when nothing has touched it yet. */
export function checkOf(doc: DemoDocument): DemoCheck {
  if (!doc.check) {
    doc.check = emptyCheck(stageOf(doc))
    if (doc.collector) doc.check.collector = { ...doc.collector }
  }
  return doc.check
}

function listRecord(doc: DemoDocument, withStages: boolean): Payload {
  const r: Payload = {
    id: doc.id,
    type: doc.type,
    number: doc.number,
    date: doc.moment,
    moment: doc.moment,
    counterparty: doc.counterparty,
    warehouse: doc.warehouse,
    status: doc.status,
    totalPositions: doc.positions.length,
    checkedPositions: doc.status === 'completed' ? doc.positions.length : doc.status === 'in_progress' ? Math.floor(doc.positions.length / 2) : 0,
  }
  if (doc.searchCodes) r.searchCodes = [...doc.searchCodes]
  if (doc.marketplace) Object.assign(r, { marketplace: doc.marketplace, postingNumber: doc.postingNumber ?? '' })
  if (withStages && doc.check) Object.assign(r, checkListFields(doc.check))
  else if (withStages) {
    r.stage = stageOf(doc)
    if (doc.collector) r.collector = { ...doc.collector }
    if (doc.status === 'completed') r.collectedAt = doc.moment
  }
  return r
}

/** The signed-in user of the request and his account's documents (completions applied). */
export function signedInDocs(ctx: Parameters<Handler>[0]) {
  const me = ctx.backend.signedIn(ctx.conn)
  if (!me) return undefined
  const docs = accountDocuments(ctx.backend, me.account.uid)
  if (!docs) return undefined
  applyCompletions(ctx.backend, me.account.uid, docs)
  return { me, docs }
}

const text = (v: unknown) => (typeof v === 'string' ? v : '')
const withoutZeros = (s: string) => s.replace(/^0+/, '') || '0'

// ---- handlers

const getDocumentList: Handler = (ctx, p) => {
  const found = signedInDocs(ctx)
  if (!found) return { error: 'session not authorized' }
  const type = text(p.type)
  if (!found.me.account.moysklad && type !== 'shipment') return { error: 'МойСклад не подключен', errorCode: 'ms-not-connected' }
  const withStages = found.me.account.features.roles === true
  const stages = Array.isArray(p.stage) ? p.stage.filter((s): s is string => typeof s === 'string') : []
  const listed = (found.docs.byType.get(type) ?? [])
    .filter((d) => d.inFilter && (stages.length === 0 || stages.includes(stageOf(d))))
    .sort((a, b) => (a.moment < b.moment ? 1 : a.moment > b.moment ? -1 : 0))
  const items = listed.map((d) => listRecord(d, withStages))
  if (p.pages !== true) return { items }
  const total = items.length
  const offset = typeof p.offset === 'number' && p.offset > 0 ? Math.floor(p.offset) : 0
  const maxPages = typeof p.maxPages === 'number' && p.maxPages > 0 ? Math.floor(p.maxPages) : Infinity
  const pages: Payload[] = []
  let at = offset
  do {
    const slice = items.slice(at, at + DOCUMENT_PAGE_SIZE)
    const next = at + slice.length
    const page: Payload = { items: slice, offset: at, total }
    if (next < total) page.nextOffset = next
    pages.push(page)
    at = next
  } while (at < total && pages.length < maxPages)
  pages[pages.length - 1]!.final = true
  for (const page of pages) if (page.final !== true) page.final = false
  return pages
}

const findDocument: Handler = (ctx, p) => {
  const found = signedInDocs(ctx)
  if (!found) return { error: 'session not authorized' }
  const type = text(p.type)
  const number = text(p.number).trim().toLowerCase()
  if (!number) return { items: [] }
  const withStages = found.me.account.features.roles === true
  const items = (found.docs.byType.get(type) ?? [])
    .filter((d) => withoutZeros(d.number.toLowerCase()) === withoutZeros(number) || (d.searchCodes ?? []).some((c) => c.toLowerCase() === number))
    .map((d) => ({ ...listRecord(d, withStages), inFilter: d.inFilter, stateName: d.stateName }))
  return { items }
}

const subscribeDocument: Handler = (ctx, p) => {
  const found = signedInDocs(ctx)
  const documentId = text(p.documentId)
  if (!found) return { documentId, error: 'session not authorized' }
  const doc = found.docs.byId.get(documentId)
  if (!doc) return { documentId, error: 'Документ не найден' }
  const items = doc.positions.map((pos) => {
    const product = found.docs.products.get(pos.productId)!
    const item: Payload = {
      id: product.id,
      name: product.name,
      code: product.code,
      barcodes: [...product.barcodes],
      quantity: pos.quantity,
      cell: product.cell,
      cells: product.cell ? [{ name: product.cell, stock: product.cellStock }] : [],
      warehouseStock: product.warehouseStock,
      markable: product.markable,
      article: product.article,
    }
    if (doc.check && found.me.account.features.roles === true) Object.assign(item, checkItemFields(doc.check, pos.productId))
    return item
  })
  const total = items.length
  const pages: Payload[] = []
  for (let at = 0; at < total || pages.length === 0; at += CONTENTS_PAGE_SIZE) {
    pages.push({ documentId, items: items.slice(at, at + CONTENTS_PAGE_SIZE), total, final: at + CONTENTS_PAGE_SIZE >= total })
  }
  if (found.me.account.features.roles === true) {
    pages[0]!.stage = stageOf(doc)
    const collector = doc.check ? doc.check.collector : doc.collector
    if (collector) pages[0]!.collector = { ...collector }
    if (doc.check?.checker) pages[0]!.checker = { ...doc.check.checker }
    if (doc.check?.startedAt) pages[0]!.startedAt = doc.check.startedAt
  }
  return pages
}

export const documentHandlers: Readonly<Record<string, Handler>> = { getDocumentList, findDocument, subscribeDocument }

/**
 * A document was checked in MoySklad ("checked") or returned to work (any
 * other state): its status follows, and the account's connections are told
 * with `documentChanged.push`. Answers how many connections were told.
 */
export function changeCheckState(b: MemoryBackend, documentId: string, checkState: string): { delivered: number; type: string } {
  for (const accountId of b.accounts.keys()) {
    const doc = accountDocuments(b, accountId)?.byId.get(documentId)
    if (!doc) continue
    doc.status = checkState === 'checked' ? 'completed' : 'pending'
    // MoySklad decides now: the document's stage follows its status again.
    delete doc.check
    const delivered = b.pushWhere(
      (c) => c.identity.kind === 'device' && c.identity.accountId === accountId,
      'documentChanged.push',
      { documentId, checkState, type: doc.type },
    )
    return { delivered, type: doc.type }
  }
  throw new Error(`no document ${documentId}`)
}
