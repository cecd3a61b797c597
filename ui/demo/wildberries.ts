/**
 * A Wildberries seller as the server sees it: the account's shops (tokens),
 * their assembly tasks (one task per unit of goods), supplies, and the label
 * links on the file host. Tests may make the marketplace limit requests
 * (`retryAfter`) or a shop stop answering through the control routes.
 */
import type { Payload } from '../core/envelope'
import type { Handler, HandlerContext, MemoryBackend } from './backend'
import { accountDocuments, ean13 } from './documents'
import { DEMO_ACCOUNT_ID } from './seed'

export interface WbShopRecord {
  sellerId: string
  title: string
  organizationName: string
  inn: string
  sellerName: string
  tradeMark: string
  sandbox: boolean
  tokenExpiresAt: string
  enabled: boolean
  /** the printer registered for this shop, named in label answers */
  printerId?: string
}

export interface WbTaskRecord {
  id: number
  rid: string
  article: string
  barcode: string
  /** "new", "confirm", "complete" or "cancel" */
  supplierStatus: string
  supplyId: string
  priceKopecks: number
  createdAt: string
  sellerId: string
  /** the two numbers printed large on the task sticker */
  partA: string
  partB: string
}

export interface WbSupplyRecord {
  id: string
  sellerId: string
  createdAt: string
}

interface RateLimit {
  /** the commands it applies to; empty: every Wildberries command */
  commands: string[]
  retryAfter: unknown
  times: number
}

export interface WbAccountState {
  shops: WbShopRecord[]
  tasks: WbTaskRecord[]
  supplies: WbSupplyRecord[]
  /** shops that do not answer the task list */
  down: Set<string>
  limits: RateLimit[]
  nextTaskId: number
  nextSupply: number
}

/** Where label links point: the file host's origin, set by the service host; relative links without it. */
const FILE_ORIGIN_KEY = 'wb:fileOrigin'

export function setWbFileOrigin(b: MemoryBackend, origin: string): void {
  b.state.set(FILE_ORIGIN_KEY, origin.replace(/\/+$/, ''))
}

/** A link to `path` on the file host (the Ozon labels live there too). */
export function fileLink(b: MemoryBackend, path: string): string {
  const origin = b.state.get(FILE_ORIGIN_KEY)
  return `${typeof origin === 'string' ? origin : ''}${path}`
}

const GOODS: ReadonlyArray<[article: string, priceKopecks: number]> = [
  ['LS-1234', 189_900],
  ['LS-2071-GRN', 64_950],
  ['KF-0457-RED', 129_000],
  ['KF-0457-BLU', 129_000],
  ['LS-3310', 2_499_000],
  ['KF-1188', 34_990],
  ['LS-0042-XL', 459_000],
  ['KF-2603', 99_900],
]

const ISO_BASE = /*#__PURE__*/ Date.UTC(2026, 11, 10, 6, 15)

function seedShops(accountId: string): WbShopRecord[] {
  if (accountId !== 'acc-lesnaya' && accountId !== DEMO_ACCOUNT_ID) return []
  return [
    {
      sellerId: '4021117',
      title: 'Лесная — основной',
      organizationName: 'ООО «Лесная торговля»',
      inn: '7701234567',
      sellerName: 'ООО «Лесная торговля»',
      tradeMark: 'Lesnaya',
      sandbox: false,
      tokenExpiresAt: '2027-05-30T00:00:00Z',
      enabled: true,
    },
    {
      sellerId: '4021988',
      title: '',
      organizationName: 'ИП Смирнова А. В.',
      inn: '771234567890',
      sellerName: 'ИП Смирнова А. В.',
      tradeMark: 'Kids Forest',
      sandbox: false,
      tokenExpiresAt: '2026-11-01T00:00:00Z',
      enabled: true,
    },
  ]
}

/** Eight tasks over the two shops: new ones, one in assembly, one in a supply, one cancelled. */
function seedTasks(accountId: string, shops: WbShopRecord[], supplies: WbSupplyRecord[]): WbTaskRecord[] {
  if (shops.length === 0) return []
  const base = accountId === DEMO_ACCOUNT_ID ? 3_900_000_000 : 3_100_000_000
  const statuses = ['new', 'new', 'new', 'confirm', 'confirm', 'new', 'cancel', 'new']
  const supply: WbSupplyRecord = { id: 'WB-GI-10450001', sellerId: shops[0]!.sellerId, createdAt: new Date(ISO_BASE).toISOString() }
  supplies.push(supply)
  return GOODS.map(([article, priceKopecks], i) => {
    const shop = shops[i % 2 === 0 || shops.length === 1 ? 0 : 1]!
    const id = base + 1_207 * (i + 1)
    return {
      id,
      rid: i === 5 ? '' : String(10_000_000_000_000 + 37_421 * (i + 3)),
      article,
      barcode: ean13(`2040${String(51_234_560 + i * 17).padStart(8, '0')}`),
      supplierStatus: statuses[i]!,
      supplyId: i === 4 ? supply.id : '',
      priceKopecks,
      createdAt: new Date(ISO_BASE + i * 41 * 60_000).toISOString(),
      sellerId: shop.sellerId,
      partA: String(id).slice(0, -4).slice(-6),
      partB: String(id).slice(-4),
    }
  })
}

export function wbState(b: MemoryBackend, accountId: string): WbAccountState {
  const key = `wb:${accountId}`
  let s = b.state.get(key) as WbAccountState | undefined
  if (!s) {
    const shops = seedShops(accountId)
    const supplies: WbSupplyRecord[] = []
    s = { shops, tasks: seedTasks(accountId, shops, supplies), supplies, down: new Set(), limits: [], nextTaskId: 1, nextSupply: 2 }
    b.state.set(key, s)
  }
  return s
}

/** Every account's state that exists so far (the file host looks labels up across them). */
function allStates(b: MemoryBackend): WbAccountState[] {
  return [...b.state.entries()].filter(([k]) => k.startsWith('wb:') && k !== FILE_ORIGIN_KEY).map(([, v]) => v as WbAccountState)
}

export function findWbTask(b: MemoryBackend, id: number): WbTaskRecord | undefined {
  for (const s of allStates(b)) {
    const t = s.tasks.find((x) => x.id === id)
    if (t) return t
  }
  return undefined
}

export function findWbSupply(b: MemoryBackend, id: string): WbSupplyRecord | undefined {
  for (const s of allStates(b)) {
    const found = s.supplies.find((x) => x.id === id)
    if (found) return found
  }
  return undefined
}

/** The next `times` answers of `commands` (all Wildberries commands when empty) are rate-limited. */
export function limitWb(b: MemoryBackend, accountId: string, limit: { commands?: string[]; retryAfter?: unknown; times?: number }): void {
  wbState(b, accountId).limits.push({
    commands: limit.commands ?? [],
    retryAfter: limit.retryAfter,
    times: Math.max(1, Math.floor(Number(limit.times) || 1)),
  })
}

/** A new assembly task for a shop, as a buyer's order makes one. */
export function addWbTask(b: MemoryBackend, accountId: string, fields: Partial<WbTaskRecord> = {}): WbTaskRecord {
  const s = wbState(b, accountId)
  const shop = s.shops.find((x) => x.sellerId === fields.sellerId) ?? s.shops[0]
  if (!shop) throw new Error('the account has no Wildberries shop')
  const n = s.nextTaskId++
  const id = fields.id ?? 3_500_000_000 + n * 311
  const [article, priceKopecks] = GOODS[n % GOODS.length]!
  const task: WbTaskRecord = {
    id,
    rid: `${20_000_000_000_000 + n * 7_919}`,
    article,
    barcode: ean13(`2040${String(61_000_000 + n * 13).padStart(8, '0')}`),
    supplierStatus: 'new',
    supplyId: '',
    priceKopecks,
    createdAt: new Date().toISOString(),
    sellerId: shop.sellerId,
    partA: String(id).slice(0, -4).slice(-6),
    partB: String(id).slice(-4),
    ...fields,
  }
  s.tasks.unshift(task)
  return task
}

// ---- the handlers

const WB_COMMANDS = new Set([
  'wbOrders',
  'wbOrderDetail',
  'wbOrderConfirm',
  'wbOrderToSupply',
  'wbSticker',
  'wbSupplyQr',
  'wbProductLabel',
])

function refused(errorCode: string, error: string, extra: Payload = {}): Payload {
  return { error, errorCode, ...extra }
}

/** The rate-limit answer when one is due for `command`. */
function takeLimit(s: WbAccountState, command: string): Payload | undefined {
  const at = s.limits.findIndex((l) => l.commands.length === 0 || l.commands.includes(command))
  if (at < 0) return undefined
  const limit = s.limits[at]!
  if (--limit.times <= 0) s.limits.splice(at, 1)
  const answer = refused('wb-rate-limited', 'wb: too many requests')
  if (limit.retryAfter !== undefined && limit.retryAfter !== null) answer.retryAfter = limit.retryAfter as Payload[string]
  return answer
}

function withState(command: string, run: (s: WbAccountState, p: Payload, ctx: HandlerContext) => Payload): Handler {
  return (ctx, p) => {
    const me = ctx.backend.signedIn(ctx.conn)
    if (!me) return refused('unauthorized', 'session not found')
    const s = wbState(ctx.backend, me.account.uid)
    if (WB_COMMANDS.has(command)) {
      const limited = takeLimit(s, command)
      if (limited) return limited
    }
    return run(s, p, ctx)
  }
}

const text = (v: unknown) => (typeof v === 'string' ? v.trim() : typeof v === 'number' ? String(v) : '')

function shopName(s: WbAccountState, sellerId: string): string {
  const shop = s.shops.find((x) => x.sellerId === sellerId)
  return shop ? shop.title || shop.organizationName || shop.sellerId : sellerId
}

function taskOut(s: WbAccountState, t: WbTaskRecord): Payload {
  return {
    id: t.id,
    rid: t.rid,
    article: t.article,
    barcode: t.barcode,
    supplierStatus: t.supplierStatus,
    supplyId: t.supplyId,
    priceKopecks: t.priceKopecks,
    createdAt: t.createdAt,
    shop: shopName(s, t.sellerId),
    sellerId: t.sellerId,
  }
}

/** The task of `orderId` (of `sellerId` when given), or the marketplace's refusal. */
function taskOf(s: WbAccountState, p: Payload): WbTaskRecord | Payload {
  if (s.shops.length === 0) return refused('wb-no-token', 'wb: no shop token')
  const id = Number(p.orderId)
  const sellerId = text(p.sellerId)
  const t = s.tasks.find((x) => x.id === id && (sellerId === '' || x.sellerId === sellerId))
  return t ?? refused('wb-order-not-found', 'wb: order not found')
}

const isTask = (v: WbTaskRecord | Payload): v is WbTaskRecord => typeof (v as WbTaskRecord).partA === 'string'

const wbOrders = /*#__PURE__*/ withState('wbOrders', (s) => {
  const live = s.shops.filter((x) => x.enabled)
  if (live.length === 0) return { items: [], shops: [], configured: false }
  const answering = new Set(live.filter((x) => !s.down.has(x.sellerId)).map((x) => x.sellerId))
  const shopErrors = live.filter((x) => s.down.has(x.sellerId)).map((x) => ({ shop: x.title || x.organizationName, sellerId: x.sellerId }))
  const items = s.tasks.filter((t) => answering.has(t.sellerId) && t.supplierStatus !== 'complete').map((t) => taskOut(s, t))
  const answer: Payload = {
    items,
    shops: live.map((x) => ({ sellerId: x.sellerId, title: x.title, organizationName: x.organizationName })),
    configured: true,
  }
  if (shopErrors.length > 0) Object.assign(answer, { partial: true, shopErrors })
  return answer
})

const wbOrderDetail = /*#__PURE__*/ withState('wbOrderDetail', (s, p) => {
  const t = taskOf(s, p)
  return isTask(t) ? taskOut(s, t) : t
})

const wbOrderConfirm = /*#__PURE__*/ withState('wbOrderConfirm', (s, p) => {
  const t = taskOf(s, p)
  if (!isTask(t)) return t
  if (t.supplierStatus !== 'new') return refused('wb-order-conflict', 'wb: the task is not new any more')
  t.supplierStatus = 'confirm'
  return { id: t.id, supplierStatus: t.supplierStatus }
})

const wbOrderToSupply = /*#__PURE__*/ withState('wbOrderToSupply', (s, p, ctx) => {
  const t = taskOf(s, p)
  if (!isTask(t)) return t
  if (t.supplierStatus !== 'confirm') return refused('wb-order-conflict', 'wb: only a task in assembly joins a supply')
  const wanted = text(p.supplyId)
  let supply = s.supplies.find((x) => x.sellerId === t.sellerId && (wanted === '' || x.id === wanted))
  let created = false
  if (!supply) {
    supply = { id: `WB-GI-${10_450_000 + s.nextSupply++}`, sellerId: t.sellerId, createdAt: new Date(ctx.now).toISOString() }
    s.supplies.push(supply)
    created = true
  }
  t.supplyId = supply.id
  return { id: t.id, supplierStatus: t.supplierStatus, supplyId: supply.id, created }
})

function labelAnswer(b: MemoryBackend, s: WbAccountState, sellerId: string, path: string): Payload {
  const printerId = s.shops.find((x) => x.sellerId === sellerId)?.printerId
  return printerId ? { labelUrl: fileLink(b, path), printerId } : { labelUrl: fileLink(b, path) }
}

/**
 * The assembly task an order document stands for (its `postingNumber` is the task id): taken into assembly
 * and put into the shop's supply the first time the picking screen asks for its sticker.
 */
function documentTask(b: MemoryBackend, s: WbAccountState, accountId: string, documentId: string): WbTaskRecord | Payload {
  const doc = accountDocuments(b, accountId)?.byId.get(documentId)
  const id = Number(doc?.postingNumber)
  if (!doc || doc.marketplace !== 'wb' || !Number.isSafeInteger(id) || id <= 0) return refused('wb-order-not-found', 'wb: the document is no Wildberries task')
  const known = s.tasks.find((t) => t.id === id)
  if (known) return known
  const shop = s.shops[0]
  if (!shop) return refused('wb-no-token', 'wb: no shop')
  const supply = s.supplies.find((x) => x.sellerId === shop.sellerId) ?? { id: `WB-GI-${10_450_000 + s.nextSupply++}`, sellerId: shop.sellerId, createdAt: new Date(b.now()).toISOString() }
  if (!s.supplies.includes(supply)) s.supplies.push(supply)
  const [article, priceKopecks] = GOODS[id % GOODS.length]!
  const task: WbTaskRecord = {
    id,
    rid: `${10_000_000_000_000 + id}`,
    article,
    barcode: ean13(`2040${String(id).slice(-8).padStart(8, '0')}`),
    supplierStatus: 'confirm',
    supplyId: supply.id,
    priceKopecks,
    createdAt: new Date(b.now()).toISOString(),
    sellerId: shop.sellerId,
    partA: String(id).slice(0, -4).slice(-6),
    partB: String(id).slice(-4),
  }
  s.tasks.push(task)
  return task
}

const wbSticker = /*#__PURE__*/ withState('wbSticker', (s, p, ctx) => {
  if (p.documentId !== undefined && p.orderId === undefined) {
    const me = ctx.backend.signedIn(ctx.conn)
    const t = me ? documentTask(ctx.backend, s, me.account.uid, text(p.documentId)) : refused('unauthorized', 'session not found')
    if (!isTask(t)) return t
    return labelAnswer(ctx.backend, s, t.sellerId, `/labels/wb/sticker-${t.id}.pdf`)
  }
  const t = taskOf(s, p)
  if (!isTask(t)) return t
  if (t.supplyId === '') return refused('wb-order-bad-request', 'wb: the sticker exists once the task is in a supply')
  return labelAnswer(ctx.backend, s, t.sellerId, `/labels/wb/sticker-${t.id}.pdf`)
})

const wbSupplyQr = /*#__PURE__*/ withState('wbSupplyQr', (s, p, ctx) => {
  const id = text(p.supplyId)
  const supply = s.supplies.find((x) => x.id === id && (text(p.sellerId) === '' || x.sellerId === text(p.sellerId)))
  if (!supply) return refused('wb-order-not-found', 'wb: supply not found')
  return labelAnswer(ctx.backend, s, supply.sellerId, `/labels/wb/supply-${encodeURIComponent(supply.id)}.pdf`)
})

const wbProductLabel = /*#__PURE__*/ withState('wbProductLabel', (_s, p, ctx) => {
  const barcode = text(p.barcode)
  if (!/^\d{13}$/.test(barcode)) return refused('wb-order-bad-request', 'wb: the barcode is no EAN-13')
  const article = encodeURIComponent(text(p.article))
  return { labelUrl: fileLink(ctx.backend, `/labels/wb/product-${barcode}.pdf?article=${article}`) }
})

// ---- shops (tokens)

interface TokenFacts {
  sellerId: string
  sellerName: string
  tradeMark: string
  sandbox: boolean
  tokenExpiresAt: string
}

function base64UrlJson(part: string): Record<string, unknown> | undefined {
  try {
    const b64 = part.replace(/-/g, '+').replace(/_/g, '/')
    const bytes = Uint8Array.from(atob(b64 + '='.repeat((4 - (b64.length % 4)) % 4)), (c) => c.charCodeAt(0))
    const value: unknown = JSON.parse(new TextDecoder().decode(bytes))
    return typeof value === 'object' && value !== null ? (value as Record<string, unknown>) : undefined
  } catch {
    return undefined
  }
}

/** What the marketplace says about a token: its seller, or why it is refused. */
function readSellerToken(token: string, now: number): TokenFacts | Payload {
  const parts = token.split('.')
  if (parts.length !== 3 || parts.some((x) => x === '')) return { valid: false, error: 'wb: токен не читается' }
  const claims = base64UrlJson(parts[1]!) ?? {}
  if (claims.revoked === true) return { valid: false, error: 'wb: Wildberries отклонил токен' }
  let hash = 0
  for (const ch of token) hash = (hash * 31 + ch.charCodeAt(0)) >>> 0
  const sellerId = typeof claims.sid === 'string' && claims.sid ? claims.sid : String(4_100_000 + (hash % 800_000))
  const exp = typeof claims.exp === 'number' ? claims.exp * 1000 : now + 180 * 86_400_000
  return {
    sellerId,
    sellerName: typeof claims.name === 'string' ? claims.name : `Продавец ${sellerId}`,
    tradeMark: typeof claims.mark === 'string' ? claims.mark : '',
    sandbox: claims.sandbox === true,
    tokenExpiresAt: new Date(exp).toISOString(),
  }
}

const isFacts = (v: TokenFacts | Payload): v is TokenFacts => typeof (v as TokenFacts).sellerId === 'string'

function shopOut(x: WbShopRecord, now: number): Payload {
  return { ...x, tokenExpired: Date.parse(x.tokenExpiresAt) <= now } as unknown as Payload
}

const wbCredentialsList = /*#__PURE__*/ withState('wbCredentialsList', (s, _p, ctx) => ({ shops: s.shops.map((x) => shopOut(x, ctx.now)) }))

const SANDBOX_WARNING = 'токен тестового контура: заказы в нем ненастоящие'

const wbCredentialsSave = /*#__PURE__*/ withState('wbCredentialsSave', (s, p, ctx) => {
  const token = text(p.token)
  if (/\s/.test(token)) return { saved: false, error: 'wb: в токене есть пробелы' }
  const facts = readSellerToken(token, ctx.now)
  if (!isFacts(facts)) return { saved: false, error: facts.error }
  const inn = text(p.inn)
  if (inn !== '' && !/^(\d{10}|\d{12})$/.test(inn)) return { saved: false, error: 'wb: в ИНН 10 или 12 цифр' }
  const before = s.shops.find((x) => x.sellerId === facts.sellerId)
  const shop: WbShopRecord = {
    ...facts,
    title: text(p.title) || before?.title || '',
    organizationName: text(p.organizationName) || before?.organizationName || '',
    inn: inn || before?.inn || '',
    enabled: true,
  }
  if (before) Object.assign(before, shop)
  else s.shops.push(shop)
  return facts.sandbox ? { saved: true, warning: SANDBOX_WARNING } : { saved: true }
})

const wbCredentialsCheck = /*#__PURE__*/ withState('wbCredentialsCheck', (s, p, ctx) => {
  const sellerId = text(p.sellerId)
  if (sellerId !== '') {
    const shop = s.shops.find((x) => x.sellerId === sellerId)
    if (!shop) return { valid: false, error: 'wb: магазин не найден' }
    const expired = Date.parse(shop.tokenExpiresAt) <= ctx.now
    return {
      valid: !expired,
      ...(expired ? { error: 'wb: срок токена прошел' } : {}),
      sellerName: shop.sellerName,
      tradeMark: shop.tradeMark,
      sandbox: shop.sandbox,
      tokenExpiresAt: shop.tokenExpiresAt,
    }
  }
  const facts = readSellerToken(text(p.token), ctx.now)
  if (!isFacts(facts)) return facts
  return { valid: true, ...facts, ...(facts.sandbox ? { warning: SANDBOX_WARNING } : {}) }
})

const wbCredentialsDelete = /*#__PURE__*/ withState('wbCredentialsDelete', (s, p) => {
  const at = s.shops.findIndex((x) => x.sellerId === text(p.sellerId))
  if (at < 0) return { deleted: false, error: 'wb: магазин не найден' }
  const [gone] = s.shops.splice(at, 1)
  s.tasks = s.tasks.filter((t) => t.sellerId !== gone!.sellerId)
  return { deleted: true }
})

const KNOWN_ORGANIZATIONS: Readonly<Record<string, string>> = {
  '7701234567': 'ООО «Лесная торговля»',
  '771234567890': 'ИП Смирнова А. В.',
}

/** The organisation registered under an INN (the shops form shows its name). */
const organizationByInn: Handler = (ctx, p) => {
  if (!ctx.backend.signedIn(ctx.conn)) return refused('unauthorized', 'session not found')
  const inn = text(p.inn)
  if (!/^(\d{10}|\d{12})$/.test(inn)) return { error: 'inn must have 10 or 12 digits' }
  const name = KNOWN_ORGANIZATIONS[inn] ?? (inn.length === 12 ? `ИП ${inn.slice(-4)}` : `ООО «Организация ${inn.slice(-4)}»`)
  return { organizationId: `org-${inn}`, name }
}

export const wildberriesHandlers: Readonly<Record<string, Handler>> = {
  wbOrders,
  wbOrderDetail,
  wbOrderConfirm,
  wbOrderToSupply,
  wbSticker,
  wbSupplyQr,
  wbProductLabel,
  wbCredentialsList,
  wbCredentialsSave,
  wbCredentialsCheck,
  wbCredentialsDelete,
  organizationByInn,
}
