/**
 * An Ozon seller as the server sees it: the account's shops (Client-Id and
 * Api-Key), its FBS postings, each standing as a shipment document of the
 * account (source "ozon") that is picked like any other, and the posting
 * labels on the file host. A label may be "not ready" for a number of
 * requests, or answered as pending and announced later with
 * `labelReady.push`; commands may be rate-limited; a label bound to a shop
 * printer of another computer goes through the print relay. Tests drive it
 * through the control functions at the end.
 */
import type { Payload } from '../core/envelope'
import type { Handler, HandlerContext, MemoryBackend } from './backend'
import { accountDocuments, signedInDocs, type DemoDocument } from './documents'
import { relayLabel } from './remotePrint'
import { DEMO_ACCOUNT_ID } from './seed'
import { fileLink } from './wildberries'

export interface OzonShopRecord {
  clientId: string
  title: string
  apiKey: string
  enabled: boolean
  /** the registered printer label answers name (a shop printer), with its label */
  printerId?: string
  printerLabel?: string
}

export interface OzonPostingRecord {
  postingNumber: string
  clientId: string
  /** the Ozon status: awaiting_packaging, awaiting_deliver, cancelled, … */
  status: string
  documentId: string
  /** label requests so far */
  labelAsked: number
  /** the first this many label requests answer "label-not-ready" */
  notReady: number
  /** label requests answer pending until `labelReady` announces the label */
  pending: boolean
  ready: boolean
}

interface RateLimit {
  commands: string[]
  retryAfter: unknown
  times: number
}

export interface OzonAccountState {
  shops: OzonShopRecord[]
  postings: OzonPostingRecord[]
  limits: RateLimit[]
  /** the posting list answers stale (Ozon limits the shop; the server keeps its last list) */
  stale: boolean
  loadedAt: number
  nextPosting: number
  /** the account option: marks Ozon calls possible (not mandatory) go into the posting too */
  possibleMarks: boolean
}

const OZON_COMMANDS = new Set(['ozonPostings', 'ozonShip', 'ozonLabel', 'ozonProductLabel'])
/** seconds the client waits between "label-not-ready" answers */
const NOT_READY_RETRY_S = 1

function seedShops(accountId: string): OzonShopRecord[] {
  if (accountId !== 'acc-master' && accountId !== DEMO_ACCOUNT_ID) return []
  return [
    { clientId: '1048576', title: 'Мастерская на Ozon', apiKey: 'seeded-key-1', enabled: true },
    { clientId: '2097152', title: '', apiKey: 'seeded-key-2', enabled: true },
  ]
}

/** A posting number: the shop's order number, the shipment's four digits and the posting's index. */
function postingNumber(n: number): string {
  return `${String(87_650_000 + n * 131).padStart(8, '0')}-${String(1000 + n).slice(-4)}-1`
}

/** The shipment document a posting stands as: a few of the account's goods. */
function postingDocument(b: MemoryBackend, accountId: string, number: string, n: number, clientId: string): DemoDocument {
  const docs = accountDocuments(b, accountId)
  if (!docs) throw new Error(`no account ${accountId}`)
  // Goods without marking: a posting is picked by its barcodes alone.
  const ids = [...docs.products.values()].filter((x) => !x.markable).map((x) => x.id)
  const size = 1 + (n % 3)
  const positions = Array.from({ length: size }, (_, k) => ({ productId: ids[(n * 5 + k * 11) % ids.length]!, quantity: 1 + ((n + k) % 2) }))
  const doc: DemoDocument = {
    id: `ozon:${clientId}:${number}`,
    type: 'shipment',
    number,
    moment: new Date(b.now() - n * 37 * 60_000).toISOString().slice(0, 19).replace('T', ' '),
    counterparty: 'Ozon',
    warehouse: 'Основной склад',
    status: 'pending',
    positions,
    inFilter: true,
    stateName: 'Новый',
  }
  docs.byId.set(doc.id, doc)
  return doc
}

function newPosting(b: MemoryBackend, accountId: string, s: OzonAccountState, clientId: string, status: string): OzonPostingRecord {
  const n = s.nextPosting++
  const number = postingNumber(n)
  const doc = postingDocument(b, accountId, number, n, clientId)
  const posting: OzonPostingRecord = { postingNumber: number, clientId, status, documentId: doc.id, labelAsked: 0, notReady: 0, pending: false, ready: false }
  s.postings.push(posting)
  return posting
}

export function ozonState(b: MemoryBackend, accountId: string): OzonAccountState {
  const key = `ozon:${accountId}`
  let s = b.state.get(key) as OzonAccountState | undefined
  if (!s) {
    s = { shops: seedShops(accountId), postings: [], limits: [], stale: false, loadedAt: b.now(), nextPosting: 1, possibleMarks: true }
    b.state.set(key, s)
    const [first, second] = s.shops
    if (first && second) {
      for (const status of ['awaiting_packaging', 'awaiting_packaging', 'awaiting_deliver', 'cancelled']) newPosting(b, accountId, s, first.clientId, status)
      newPosting(b, accountId, s, second.clientId, 'awaiting_packaging')
    }
  }
  return s
}

/** Every account's Ozon state so far (the file host looks postings up across them). */
function allStates(b: MemoryBackend): OzonAccountState[] {
  return [...b.state.entries()].filter(([k]) => k.startsWith('ozon:')).map(([, v]) => v as OzonAccountState)
}

export function findOzonPosting(b: MemoryBackend, number: string): OzonPostingRecord | undefined {
  for (const s of allStates(b)) {
    const found = s.postings.find((p) => p.postingNumber === number)
    if (found) return found
  }
  return undefined
}

// ---- the handlers

const text = (v: unknown) => (typeof v === 'string' ? v.trim() : typeof v === 'number' ? String(v) : '')

function refused(errorCode: string, error: string, extra: Payload = {}): Payload {
  return { errorCode, error, ...extra }
}

function takeLimit(s: OzonAccountState, command: string): Payload | undefined {
  const at = s.limits.findIndex((l) => l.commands.length === 0 || l.commands.includes(command))
  if (at < 0) return undefined
  const limit = s.limits[at]!
  if (--limit.times <= 0) s.limits.splice(at, 1)
  const answer = refused('ozon-rate-limited', 'Ozon: 429 Too Many Requests')
  if (limit.retryAfter !== undefined && limit.retryAfter !== null) answer.retryAfter = limit.retryAfter as Payload[string]
  return answer
}

function withState(command: string, run: (s: OzonAccountState, p: Payload, ctx: HandlerContext, accountId: string) => Payload | null): Handler {
  return (ctx, p) => {
    const me = ctx.backend.signedIn(ctx.conn)
    if (!me) return refused('unauthorized', 'session not found')
    const s = ozonState(ctx.backend, me.account.uid)
    if (OZON_COMMANDS.has(command)) {
      const limited = takeLimit(s, command)
      if (limited) return limited
    }
    return run(s, p, ctx, me.account.uid)
  }
}

const liveShops = (s: OzonAccountState) => s.shops.filter((x) => x.enabled)
const postingLink = (b: MemoryBackend, p: OzonPostingRecord) => fileLink(b, `/labels/ozon/posting-${p.postingNumber}.pdf`)
const labelReadyNow = (p: OzonPostingRecord) => p.ready || (!p.pending && p.labelAsked > p.notReady)

function shopOf(s: OzonAccountState, clientId: string): OzonShopRecord | undefined {
  return s.shops.find((x) => x.clientId === clientId)
}

function printerFields(shop: OzonShopRecord | undefined): Payload {
  if (!shop?.printerId) return {}
  return shop.printerLabel ? { printerId: shop.printerId, printerLabel: shop.printerLabel } : { printerId: shop.printerId }
}

const ozonPostings = /*#__PURE__*/ withState('ozonPostings', (s, _p, ctx) => {
  const live = new Set(liveShops(s).map((x) => x.clientId))
  if (live.size === 0) return { postings: [], configured: false }
  const postings = s.postings
    .filter((p) => live.has(p.clientId))
    .map((p) => ({ postingNumber: p.postingNumber, status: p.status, labelUrl: p.ready ? postingLink(ctx.backend, p) : '' }))
  const answer: Payload = { postings, configured: true, loadedAt: new Date(s.stale ? s.loadedAt : ctx.now).toISOString() }
  if (s.stale) answer.stale = true
  else s.loadedAt = ctx.now
  return answer
})

function postingByDocument(s: OzonAccountState, documentId: string): OzonPostingRecord | undefined {
  return s.postings.find((p) => p.documentId === documentId)
}

const ozonShip = /*#__PURE__*/ withState('ozonShip', (s, p) => {
  if (liveShops(s).length === 0) return refused('no-integration', 'Магазин Ozon не подключен')
  const posting = postingByDocument(s, text(p.documentId))
  if (!posting) return refused('bad-request', 'Отправление не найдено')
  if (posting.status !== 'awaiting_packaging') return refused('wrong-status', `Ozon: posting is in status ${posting.status}`)
  posting.status = 'awaiting_deliver'
  return {}
})

const ozonLabel = /*#__PURE__*/ withState('ozonLabel', (s, p, ctx) => {
  if (liveShops(s).length === 0) return refused('no-integration', 'Магазин Ozon не подключен')
  const posting = s.postings.find((x) => x.postingNumber === text(p.postingNumber))
  if (!posting || posting.status === 'cancelled') return refused('posting-not-found', '')
  posting.labelAsked += 1
  if (posting.pending && !posting.ready) return { pending: true }
  if (!labelReadyNow(posting)) return refused('label-not-ready', '', { retryAfterSec: NOT_READY_RETRY_S })
  posting.ready = true
  return { labelUrl: postingLink(ctx.backend, posting), ...printerFields(shopOf(s, posting.clientId)) }
})

const ozonProductLabel = /*#__PURE__*/ withState('ozonProductLabel', (s, p, ctx, accountId) => {
  const posting = postingByDocument(s, text(p.documentId))
  if (!posting) return refused('bad-request', 'Отправление не найдено')
  const product = accountDocuments(ctx.backend, accountId)?.products.get(text(p.sku))
  if (!product) return refused('product-not-found', '')
  const barcode = product.barcodes.find((c) => /^\d{13}$/.test(c))
  if (!barcode) return refused('no-barcode', '')
  const link = fileLink(ctx.backend, `/labels/ozon/product-${barcode}.pdf?name=${encodeURIComponent(product.name)}`)
  return { labelUrl: link, ...printerFields(shopOf(s, posting.clientId)) }
})

/**
 * `printOzonLabel` of a posting's document: its label relayed to the account's registered printer.
 * Any other document keeps the relay's own answer (a sample label).
 */
function relayPostingLabel(inner: Handler): Handler {
  return (ctx, p) => {
    const me = ctx.backend.signedIn(ctx.conn)
    const documentId = text(p.documentId)
    const posting = me ? postingByDocument(ozonState(ctx.backend, me.account.uid), documentId) : undefined
    if (!posting) return inner(ctx, p)
    const copies = typeof p.copies === 'number' ? p.copies : 1
    const sku = typeof p.sku === 'number' && Number.isFinite(p.sku) ? p.sku : null
    posting.ready = true
    return relayLabel(ctx, 'printOzonLabel', { labelUrl: postingLink(ctx.backend, posting), documentId, sku, copies, requestId: text(p.requestId) })
  }
}

/** The posting documents in the shipment list asked with `source` "ozon". */
function ozonList(ctx: HandlerContext): Payload {
  const found = signedInDocs(ctx)
  if (!found) return { error: 'session not authorized' }
  const s = ozonState(ctx.backend, found.me.account.uid)
  const live = liveShops(s)
  if (live.length === 0) return { items: [], final: true, ozonConfigured: false }
  const titles = new Map(live.map((x) => [x.clientId, x.title]))
  const items: Payload[] = []
  for (const posting of s.postings) {
    const doc = found.docs.byId.get(posting.documentId)
    if (!doc || !titles.has(posting.clientId)) continue
    items.push({
      id: doc.id,
      type: 'shipment',
      number: doc.number,
      date: doc.moment,
      moment: doc.moment,
      counterparty: doc.counterparty,
      warehouse: doc.warehouse,
      status: doc.status === 'completed' ? 'completed' : 'pending',
      ozonStatus: posting.status,
      source: 'ozon',
      postingNumber: posting.postingNumber,
      clientId: posting.clientId,
      storeTitle: titles.get(posting.clientId) ?? '',
      totalPositions: doc.positions.length,
      checkedPositions: doc.status === 'completed' ? doc.positions.length : 0,
    })
  }
  const page: Payload = { items, final: true, offset: 0, total: items.length, ozonConfigured: true }
  if (s.stale) Object.assign(page, { stale: true, loadedAt: new Date(s.loadedAt).toISOString() })
  return page
}

// ---- shops (keys)

const ozonCredentialsList = /*#__PURE__*/ withState('ozonCredentialsList', (s) => ({
  shops: s.shops.map((x) => ({ clientId: x.clientId, title: x.title, enabled: x.enabled })),
}))

/** What Ozon says about a pair of keys: keys beginning with "bad" are refused. */
function keysRefusal(clientId: string, apiKey: string): string | null {
  if (!/^\d+$/.test(clientId)) return 'Ozon: Client-Id состоит из цифр'
  if (apiKey === '' || apiKey.toLowerCase().startsWith('bad')) return 'Ozon не принял ключи: Api-Key не подходит к Client-Id'
  return null
}

const ozonCredentialsSave = /*#__PURE__*/ withState('ozonCredentialsSave', (s, p) => {
  const clientId = text(p.clientId)
  const apiKey = text(p.apiKey)
  const refusal = keysRefusal(clientId, apiKey)
  if (refusal) return { saved: false, error: refusal }
  const before = shopOf(s, clientId)
  if (before) Object.assign(before, { apiKey, title: text(p.title) || before.title, enabled: true })
  else s.shops.push({ clientId, apiKey, title: text(p.title), enabled: true })
  return { saved: true }
})

const ozonCredentialsCheck = /*#__PURE__*/ withState('ozonCredentialsCheck', (s, p) => {
  const clientId = text(p.clientId)
  const saved = shopOf(s, clientId)
  const apiKey = text(p.apiKey) || saved?.apiKey || ''
  if (!saved && text(p.apiKey) === '') return { valid: false, error: 'Магазин не найден' }
  const refusal = keysRefusal(clientId, apiKey)
  return refusal ? { valid: false, error: refusal } : { valid: true }
})

const ozonCredentialsDelete = /*#__PURE__*/ withState('ozonCredentialsDelete', (s, p) => {
  const at = s.shops.findIndex((x) => x.clientId === text(p.clientId))
  if (at < 0) return { deleted: false, error: 'Магазин не найден' }
  s.shops.splice(at, 1)
  return { deleted: true }
})

export const ozonHandlers: Readonly<Record<string, Handler>> = {
  ozonPostings,
  ozonShip,
  ozonLabel,
  ozonProductLabel,
  ozonCredentialsList,
  ozonCredentialsSave,
  ozonCredentialsCheck,
  ozonCredentialsDelete,
}

const askedFor = (p: Payload, block: string) => Array.isArray(p.blocks) && p.blocks.includes(block)
const isRefusal = (answer: Payload | Payload[] | null): boolean => answer !== null && !Array.isArray(answer) && typeof answer.errorCode === 'string'

/**
 * The shipment list asked with `source` "ozon" answers the postings; every other list stays as it was.
 * A posting's label asked with `printOzonLabel` is relayed as itself.
 * The account settings gain the "ozon" block for accounts with Ozon shops; it is saved as the other
 * blocks are (by the administrator only).
 */
export const ozonLayers: Readonly<Record<string, (inner: Handler) => Handler>> = {
  getDocumentList: (inner) => (ctx, p) => (p.source === 'ozon' ? ozonList(ctx) : inner(ctx, p)),
  printOzonLabel: relayPostingLabel,
  accountSettingsGet: (inner) => (ctx, p) => {
    const answer = inner(ctx, p)
    const me = ctx.backend.signedIn(ctx.conn)
    if (!me || !askedFor(p, 'ozon') || isRefusal(answer) || Array.isArray(answer) || answer === null) return answer
    const s = ozonState(ctx.backend, me.account.uid)
    return s.shops.length === 0 ? answer : { ...answer, ozon: { possibleMarks: s.possibleMarks, configured: liveShops(s).length > 0 } }
  },
  accountSettingsSet: (inner) => (ctx, p) => {
    const answer = inner(ctx, p)
    const me = ctx.backend.signedIn(ctx.conn)
    const ozon = p.ozon
    if (!me || typeof ozon !== 'object' || ozon === null || Array.isArray(ozon) || isRefusal(answer) || Array.isArray(answer) || answer === null) return answer
    const s = ozonState(ctx.backend, me.account.uid)
    const wanted = (ozon as Payload).possibleMarks
    if (typeof wanted === 'boolean') s.possibleMarks = wanted
    return { ...answer, ozon: { possibleMarks: s.possibleMarks, configured: liveShops(s).length > 0 } }
  },
}

// ---- control (tests)

/** The next `times` answers of `commands` (all Ozon commands when empty) are rate-limited. */
export function limitOzon(b: MemoryBackend, accountId: string, limit: { commands?: string[]; retryAfter?: unknown; times?: number }): void {
  ozonState(b, accountId).limits.push({
    commands: limit.commands ?? [],
    retryAfter: limit.retryAfter,
    times: Math.max(1, Math.floor(Number(limit.times) || 1)),
  })
}

/** A new FBS posting of a shop (the first one unless `clientId` says otherwise). */
export function addOzonPosting(b: MemoryBackend, accountId: string, fields: { clientId?: string; status?: string; notReady?: number; pending?: boolean } = {}): OzonPostingRecord {
  const s = ozonState(b, accountId)
  const shop = (fields.clientId ? shopOf(s, fields.clientId) : undefined) ?? s.shops[0]
  if (!shop) throw new Error('the account has no Ozon shop')
  const posting = newPosting(b, accountId, s, shop.clientId, fields.status ?? 'awaiting_packaging')
  posting.notReady = Math.max(0, Math.floor(Number(fields.notReady) || 0))
  posting.pending = fields.pending === true
  return posting
}

export function ozonPosting(b: MemoryBackend, accountId: string, number: string): OzonPostingRecord {
  const posting = ozonState(b, accountId).postings.find((p) => p.postingNumber === number)
  if (!posting) throw new Error(`no posting ${number}`)
  return posting
}

/** The posting's label is ready now: the account's devices are told with `labelReady.push`. Answers how many. */
export function announceOzonLabel(b: MemoryBackend, accountId: string, number: string): number {
  const posting = ozonPosting(b, accountId, number)
  posting.ready = true
  return b.pushWhere((c) => c.identity.kind === 'device' && c.identity.accountId === accountId, 'labelReady.push', {
    documentId: posting.documentId,
    postingNumber: posting.postingNumber,
    labelUrl: postingLink(b, posting),
  })
}

/** Label answers of the shop name this registered printer (none when `printerId` is empty). */
export function setOzonShopPrinter(b: MemoryBackend, accountId: string, clientId: string, printerId: string, printerLabel = ''): void {
  const shop = shopOf(ozonState(b, accountId), clientId)
  if (!shop) throw new Error(`no shop ${clientId}`)
  if (printerId) Object.assign(shop, { printerId, printerLabel: printerLabel || undefined })
  else {
    delete shop.printerId
    delete shop.printerLabel
  }
}
