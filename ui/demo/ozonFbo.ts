/**
 * Ozon FBO supplies as the server sees them: supplies of the account's first
 * Ozon shop with their content, stage, cargo places and label links on the
 * file host (naming the shop's printer when it has one). Content changes and cargo places are checked as Ozon checks them.
 * Tests may make the next answers of a command refused (a rate limit among
 * them), delay the cargo labels, or add a supply, through the control routes.
 */
import type { Payload } from '../core/envelope'
import type { FboItem } from '../marketplaces/ozon/fbo/fboRecords'
import type { Handler, HandlerContext, MemoryBackend } from './backend'
import { ean13 } from './documents'
import { ozonState, type OzonShopRecord } from './ozon'
import { fileLink } from './wildberries'

/** A content row: the same record the client reads. */
export type FboItemRecord = FboItem

export interface FboCargoRecord {
  key: string
  type: 'BOX' | 'PALLET'
  items: Array<{ barcode: string; offerId: string; quantity: number; quant: number; expiresAt?: string }>
}

export interface FboSupplyRecord {
  supplyId: string
  orderId: string
  orderNumber: string
  bundleId: string
  /** "assembly", "ready", "shipped", "transit", "acceptance", "done" or "cancelled" */
  stage: string
  /** Ozon's own state when it says more than the stage (REJECTED_AT_SUPPLY_WAREHOUSE) */
  state: string
  warehouse: string
  address: string
  createdAt: string
  stateUpdatedAt: string
  dataFillingDeadline: string
  overdueReason: string
  markingRequired: boolean
  markingPossible: boolean
  expiryRequired: boolean
  /** Ozon allows the content to change */
  contentOpen: boolean
  contentReasons: string[]
  items: FboItemRecord[]
  cargoes: FboCargoRecord[]
  /** cargo label requests still answered "label-not-ready" */
  labelDelay: number
}

interface Fault {
  command: string
  answer: Payload
  times: number
}

export interface FboAccountState {
  /** the shop the supplies belong to ('' when the account had no Ozon shop) */
  clientId: string
  supplies: FboSupplyRecord[]
  faults: Fault[]
  nextSupply: number
}

/** Ozon sends at most this many content rows. */
export const FBO_ROWS_SENT = 500
export const FBO_CARGO_LIMIT = { BOX: 30, PALLET: 40 } as const

const STATE_TEXT: Readonly<Record<string, string>> = {
  assembly: 'Заполнение данных',
  ready: 'Готова к отгрузке',
  shipped: 'Отгружена на склад',
  transit: 'В пути',
  acceptance: 'Приемка на складе',
  done: 'Завершена',
  cancelled: 'Отменена',
}

const GOODS: ReadonlyArray<[name: string, offerId: string]> = [
  ['Кружка керамическая 350 мл, синяя', 'MUG-350-BLU'],
  ['Кабель USB-C, 1 м', 'CBL-USBC-1'],
  ['Носки спортивные, 3 пары', 'SCK-3P-3942'],
  ['Зарядное устройство 33 Вт', 'CHG-33W'],
  ['Футболка хлопковая, белая, M', 'TS-WHT-M'],
  ['Кроссовки беговые, р. 42', 'SNK-RUN-42'],
]

const barcodeOf = (n: number) => ean13(`46070${String(3_100_000 + n * 7).padStart(7, '0')}`)

function goods(n: number, quantity: number, from = 0): FboItemRecord {
  const [name, offerId] = GOODS[(n + from) % GOODS.length]!
  return { sku: String(1_480_000_000 + n + from), name, offerId, barcode: barcodeOf(n + from), quantity, quant: 1 }
}

const BASE = /*#__PURE__*/ Date.UTC(2026, 11, 10, 6, 0)
const iso = (hoursBefore: number) => new Date(BASE - hoursBefore * 3_600_000).toISOString()

function supply(n: number, fields: Partial<FboSupplyRecord>): FboSupplyRecord {
  return {
    supplyId: String(61_840_000 + n * 13),
    orderId: String(29_170_000 + n * 7),
    orderNumber: `2000${String(1_187_400 + n * 11)}`,
    bundleId: `b${(0x5f3a10 + n * 977).toString(16)}-fbo`,
    stage: 'assembly',
    state: '',
    warehouse: 'Хоругвино РФЦ',
    address: 'Московская обл., Солнечногорский р-н, д. Хоругвино, 1',
    createdAt: iso(n * 20),
    stateUpdatedAt: iso(n * 20 - 3),
    dataFillingDeadline: new Date(BASE + (4 - n) * 86_400_000).toISOString(),
    overdueReason: '',
    markingRequired: false,
    markingPossible: false,
    expiryRequired: false,
    contentOpen: true,
    contentReasons: [],
    items: [],
    cargoes: [],
    labelDelay: 0,
    ...fields,
  }
}

function seedSupplies(): FboSupplyRecord[] {
  const box = (key: string, lines: FboItemRecord[]): FboCargoRecord => ({
    key, type: 'BOX', items: lines.map((i) => ({ barcode: i.barcode, offerId: i.offerId, quantity: i.quantity, quant: i.quant })),
  })
  const ready = [goods(3, 6), goods(4, 4)]
  const transit = [goods(5, 12), goods(0, 8)]
  return [
    // Assembly: three goods to scan, no cargo places yet.
    supply(1, { items: [goods(0, 3), goods(1, 2), goods(2, 1)], markingPossible: true }),
    // Ready: two boxes hold everything; the content can no longer change.
    supply(2, { stage: 'ready', items: ready, cargoes: [box('box-1', [ready[0]!]), box('box-2', [ready[1]!])], contentOpen: false, contentReasons: ['слот на складе уже забронирован'] }),
    // Assembly with 600 rows: Ozon sends the first 500.
    supply(3, { items: Array.from({ length: 600 }, (_, i) => ({ ...goods(i, 1 + (i % 3)), sku: String(1_490_000_000 + i), offerId: `BULK-${String(i + 1).padStart(3, '0')}` })) }),
    supply(4, { stage: 'transit', items: transit, cargoes: [{ ...box('pallet-1', transit), type: 'PALLET' }], contentOpen: false, expiryRequired: true }),
    supply(5, { stage: 'cancelled', state: 'REJECTED_AT_SUPPLY_WAREHOUSE', items: [goods(2, 5)], contentOpen: false, overdueReason: 'Поставка не приехала в выбранный слот' }),
    // A draft Ozon has not sent content for.
    supply(6, { bundleId: '', items: [] }),
  ]
}

export function fboState(b: MemoryBackend, accountId: string): FboAccountState {
  const key = `ozonFbo:${accountId}`
  let s = b.state.get(key) as FboAccountState | undefined
  if (!s) {
    const shop = ozonState(b, accountId).shops[0]
    s = { clientId: shop?.clientId ?? '', supplies: shop ? seedSupplies() : [], faults: [], nextSupply: 20 }
    b.state.set(key, s)
  }
  return s
}

/** The supplies' shop while it is connected and on. */
function liveShop(b: MemoryBackend, accountId: string, s: FboAccountState): OzonShopRecord | undefined {
  return ozonState(b, accountId).shops.find((x) => x.clientId === s.clientId && x.enabled)
}

/** The shop's printer, named in label answers as in the posting labels. */
function printerFields(shop: OzonShopRecord): Payload {
  if (!shop.printerId) return {}
  return shop.printerLabel ? { printerId: shop.printerId, printerLabel: shop.printerLabel } : { printerId: shop.printerId }
}

/** Every account's FBO state so far (the file host looks supplies up across them). */
function allStates(b: MemoryBackend): FboAccountState[] {
  return [...b.state.entries()].filter(([k]) => k.startsWith('ozonFbo:')).map(([, v]) => v as FboAccountState)
}

export function findFboSupply(b: MemoryBackend, supplyId: string): FboSupplyRecord | undefined {
  for (const s of allStates(b)) {
    const found = s.supplies.find((x) => x.supplyId === supplyId)
    if (found) return found
  }
  return undefined
}

/** The next `times` answers of `command` are `answer` (a refusal, a rate limit). */
export function failFbo(b: MemoryBackend, accountId: string, command: string, answer: Payload, times = 1): void {
  fboState(b, accountId).faults.push({ command, answer, times: Math.max(1, Math.floor(times) || 1) })
}

/** A new supply in assembly with `items` (three sample goods when absent). */
export function addFboSupply(b: MemoryBackend, accountId: string, fields: Partial<FboSupplyRecord> = {}): FboSupplyRecord {
  const s = fboState(b, accountId)
  const n = s.nextSupply++
  const made = supply(n, { createdAt: new Date(b.now()).toISOString(), items: [goods(n, 2), goods(n + 1, 1)], ...fields })
  s.supplies.unshift(made)
  return made
}

// ---- what the supply says about itself

const laidOut = (x: FboSupplyRecord, barcode: string) =>
  x.cargoes.reduce((sum, c) => sum + c.items.filter((i) => i.barcode === barcode).reduce((n, i) => n + i.quantity, 0), 0)
const fullyLaidOut = (x: FboSupplyRecord) => x.items.length > 0 && x.items.every((i) => laidOut(x, i.barcode) >= i.quantity)

function blockers(x: FboSupplyRecord): string[] {
  if (x.stage !== 'assembly' && x.stage !== 'ready') return []
  const out: string[] = []
  if (x.items.length === 0) out.push('Ozon еще не передал состав поставки')
  else if (x.cargoes.length === 0) out.push('Укажите грузоместа и разложите по ним товары')
  else if (!fullyLaidOut(x)) out.push('Разложите по грузоместам все товары')
  if (x.stage === 'assembly') out.push('Распечатайте этикетки грузомест и наклейте их')
  return out
}

const total = (x: FboSupplyRecord) => x.items.reduce((s, i) => s + i.quantity, 0)

function rowOut(shop: OzonShopRecord, x: FboSupplyRecord): Payload {
  return {
    supplyId: x.supplyId,
    orderId: x.orderId,
    orderNumber: x.orderNumber,
    bundleId: x.bundleId,
    state: x.state || x.stage,
    stateText: STATE_TEXT[x.stage] ?? '',
    warehouse: x.warehouse,
    createdAt: x.createdAt,
    cargoCount: x.cargoes.length,
    storeTitle: shop.title || `Магазин ${shop.clientId}`,
    clientId: shop.clientId,
  }
}

function contentOut(x: FboSupplyRecord): Payload {
  return { itemsCount: x.items.length, itemsShown: Math.min(FBO_ROWS_SENT, x.items.length), itemsTotal: total(x) }
}

function pageOut(shop: OzonShopRecord, x: FboSupplyRecord): Payload {
  const boxes = x.cargoes.filter((c) => c.type === 'BOX')
  const pallets = x.cargoes.filter((c) => c.type === 'PALLET')
  const places = (list: FboCargoRecord[]) => list.map((c) => ({ key: c.key, items: c.items.map((i) => ({ barcode: i.barcode, offerId: i.offerId, quantity: i.quantity })) }))
  const open = x.stage === 'assembly' || x.stage === 'ready'
  return {
    ...rowOut(shop, x),
    stage: x.stage,
    blockers: blockers(x),
    markingRequired: x.markingRequired,
    markingPossible: x.markingPossible,
    stateUpdatedAt: x.stateUpdatedAt,
    dataFillingDeadline: x.dataFillingDeadline,
    overdueReason: x.overdueReason,
    address: x.address,
    items: x.items.slice(0, FBO_ROWS_SENT).map((i) => ({ ...i })),
    ...contentOut(x),
    canEditContent: x.contentOpen && x.stage === 'assembly',
    contentReasons: x.contentOpen ? [] : [...x.contentReasons],
    cargoes: { count: x.cargoes.length, boxes: places(boxes), pallets: places(pallets) },
    rules: {
      packageUnits: { filled: x.cargoes.length, total: x.cargoes.length },
      distribution: { percent: x.items.length === 0 ? 0 : Math.round((100 * x.items.filter((i) => laidOut(x, i.barcode) >= i.quantity).length) / x.items.length) },
      editDeadline: { satisfied: open },
      expireDates: { required: x.expiryRequired },
    },
  }
}

// ---- the handlers

const text = (v: unknown) => (typeof v === 'string' ? v.trim() : typeof v === 'number' && Number.isFinite(v) ? String(v) : '')
const refused = (errorCode: string, error: string): Payload => ({ errorCode, error })

function takeFault(s: FboAccountState, command: string): Payload | undefined {
  const at = s.faults.findIndex((f) => f.command === command)
  if (at < 0) return undefined
  const fault = s.faults[at]!
  if (--fault.times <= 0) s.faults.splice(at, 1)
  return { ...fault.answer }
}

type Run = (s: FboAccountState, p: Payload, ctx: HandlerContext & { shop: OzonShopRecord }) => Payload

function withState(command: string, run: Run): Handler {
  return (ctx, p) => {
    const me = ctx.backend.signedIn(ctx.conn)
    if (!me) return refused('unauthorized', 'session not found')
    const s = fboState(ctx.backend, me.account.uid)
    const fault = takeFault(s, command)
    if (fault) return fault
    const shop = liveShop(ctx.backend, me.account.uid, s)
    if (!shop) return command === 'ozonFboSupplies' ? { supplies: [], configured: false } : refused('no-integration', 'Магазин Ozon не подключен')
    return run(s, p, { ...ctx, shop })
  }
}

function supplyOf(s: FboAccountState, p: Payload): FboSupplyRecord | Payload {
  const clientId = text(p.clientId)
  if (clientId !== '' && clientId !== s.clientId) return refused('no-integration', `Магазина Ozon ${clientId} нет в аккаунте`)
  const found = s.supplies.find((x) => x.supplyId === text(p.supplyId))
  return found ?? refused('supply-not-found', 'Ozon не нашел такую поставку')
}
const isSupply = (v: FboSupplyRecord | Payload): v is FboSupplyRecord => typeof (v as FboSupplyRecord).stage === 'string'

const ozonFboSupplies = /*#__PURE__*/ withState('ozonFboSupplies', (s, _p, ctx) => ({ supplies: s.supplies.map((x) => rowOut(ctx.shop, x)), configured: true }))

const ozonFboSupply = /*#__PURE__*/ withState('ozonFboSupply', (s, p, ctx) => {
  const x = supplyOf(s, p)
  if (!isSupply(x)) return x
  if (text(p.orderId) !== x.orderId) return refused('supply-not-found', 'Ozon не нашел такую поставку в этой заявке')
  return pageOut(ctx.shop, x)
})

const ozonSupplyItems = /*#__PURE__*/ withState('ozonSupplyItems', (s, p) => {
  const x = supplyOf(s, p)
  if (!isSupply(x)) return x
  if (x.bundleId === '' || text(p.bundleId) !== x.bundleId) return refused('bad-request', 'Состав поставки не найден')
  if (x.items.length === 0) return refused('no-items', 'В поставке нет товаров')
  return { items: x.items.slice(0, FBO_ROWS_SENT).map(({ name, offerId, barcode, quantity }) => ({ name, offerId, barcode, quantity })), ...contentOut(x) }
})

const ozonSupplyLabel = /*#__PURE__*/ withState('ozonSupplyLabel', (s, p, ctx) => {
  const x = supplyOf(s, p)
  if (!isSupply(x)) return x
  if (x.cargoes.length === 0) return refused('no-cargoes', '')
  if (x.labelDelay > 0) {
    x.labelDelay--
    return { errorCode: 'label-not-ready', retryAfterSec: 3 }
  }
  return { labelUrl: fileLink(ctx.backend, `/labels/ozon/fbo/cargo-${x.supplyId}.pdf`), ...printerFields(ctx.shop) }
})

const ozonSupplyProductLabels = /*#__PURE__*/ withState('ozonSupplyProductLabels', (s, p, ctx) => {
  const x = supplyOf(s, p)
  if (!isSupply(x)) return x
  if (x.bundleId === '' || text(p.bundleId) !== x.bundleId) return refused('bad-request', '')
  if (x.items.length === 0) return refused('no-items', '')
  return { labelUrl: fileLink(ctx.backend, `/labels/ozon/fbo/products-${x.supplyId}.pdf`), ...printerFields(ctx.shop) }
})

const whole = (v: unknown, min: number): number | undefined => {
  const n = typeof v === 'number' ? v : typeof v === 'string' && /^\s*\d+\s*$/.test(v) ? Number(v) : NaN
  return Number.isSafeInteger(n) && n >= min ? n : undefined
}

const ozonSupplyContent = /*#__PURE__*/ withState('ozonSupplyContent', (s, p, ctx) => {
  const x = supplyOf(s, p)
  if (!isSupply(x)) return x
  if (text(p.orderId) !== x.orderId) return refused('supply-not-found', 'Ozon не нашел такую поставку в этой заявке')
  if (!x.contentOpen || x.stage !== 'assembly') return refused('content-locked', x.contentReasons.join('; ') || 'Состав поставки уже нельзя изменить')
  if (x.items.length > FBO_ROWS_SENT) return refused('bad-request', 'В поставке больше 500 строк — состав меняют в кабинете Ozon')
  const lines = Array.isArray(p.items) ? p.items : []
  const next = new Map<string, number>()
  for (const line of lines) {
    const l = (typeof line === 'object' && line !== null ? line : {}) as Payload
    const sku = text(l.sku)
    const quantity = whole(l.quantity, 1)
    if (!x.items.some((i) => i.sku === sku) || quantity === undefined) return refused('bad-request', `Ozon не принял строку состава ${sku || '(без sku)'}`)
    next.set(sku, quantity)
  }
  if (next.size !== x.items.length) return refused('bad-request', 'В запросе не весь состав поставки')
  for (const item of x.items) item.quantity = next.get(item.sku)!
  x.stateUpdatedAt = new Date(ctx.now).toISOString()
  return { saved: true }
})

function readCargo(raw: unknown, x: FboSupplyRecord): FboCargoRecord | string {
  const c = (typeof raw === 'object' && raw !== null ? raw : {}) as Payload
  const type = c.type === 'BOX' || c.type === 'PALLET' ? c.type : undefined
  const key = text(c.key)
  if (!type || key === '') return 'у грузоместа нет ключа или типа'
  const items: FboCargoRecord['items'] = []
  for (const line of Array.isArray(c.items) ? c.items : []) {
    const l = (typeof line === 'object' && line !== null ? line : {}) as Payload
    const barcode = text(l.barcode)
    const quantity = whole(l.quantity, 1)
    if (!x.items.some((i) => i.barcode === barcode) || quantity === undefined) return `в грузоместе ${key} товар ${barcode || '(без штрихкода)'} не из поставки`
    const expiresAt = text(l.expiresAt)
    if (x.expiryRequired && !/^\d{4}-\d{2}-\d{2}T23:59:59Z$/.test(expiresAt)) return `в грузоместе ${key} у товара ${barcode} нет срока годности`
    items.push({ barcode, offerId: text(l.offerId), quantity, quant: whole(l.quant, 1) ?? 1, ...(expiresAt ? { expiresAt } : {}) })
  }
  if (items.length === 0) return `в грузоместе ${key} нет товаров`
  return { key, type, items }
}

const ozonCargoesCreate = /*#__PURE__*/ withState('ozonCargoesCreate', (s, p, ctx) => {
  const x = supplyOf(s, p)
  if (!isSupply(x)) return x
  if (x.stage !== 'assembly' && x.stage !== 'ready') return refused('cargoes-locked', 'Грузоместа уже не изменить — поставка ушла')
  const made: FboCargoRecord[] = []
  for (const raw of Array.isArray(p.cargoes) ? p.cargoes : []) {
    const c = readCargo(raw, x)
    if (typeof c === 'string') return refused('bad-request', `Ozon не принял грузоместа: ${c}`)
    made.push(c)
  }
  if (made.length === 0) return refused('bad-request', 'Ozon не принял грузоместа: их нет в запросе')
  const kept = p.deleteCurrent === false ? x.cargoes : []
  const all = [...kept, ...made]
  if (new Set(all.map((c) => c.key)).size !== all.length) return refused('bad-request', 'Ozon не принял грузоместа: ключи повторяются')
  for (const type of ['BOX', 'PALLET'] as const) {
    if (all.filter((c) => c.type === type).length > FBO_CARGO_LIMIT[type]) return refused('bad-request', 'Ozon не принял грузоместа: их больше, чем можно')
  }
  const next = { ...x, cargoes: all }
  const over = x.items.find((i) => laidOut(next, i.barcode) > x.items.filter((j) => j.barcode === i.barcode).reduce((n, j) => n + j.quantity, 0))
  if (over) return refused('bad-request', `Ozon не принял грузоместа: товара ${over.offerId} больше, чем в поставке`)
  x.cargoes = all
  x.stateUpdatedAt = new Date(ctx.now).toISOString()
  if (x.stage === 'assembly' && fullyLaidOut(x)) x.stage = 'ready'
  return { saved: true }
})

export const ozonFboHandlers: Readonly<Record<string, Handler>> = {
  ozonFboSupplies,
  ozonFboSupply,
  ozonSupplyItems,
  ozonSupplyLabel,
  ozonSupplyProductLabels,
  ozonSupplyContent,
  ozonCargoesCreate,
}
