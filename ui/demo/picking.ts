/**
 * Picking commands of the in-memory backend: the product reference lookup
 * (`barcodeCheck`), position edits (`documentPositionQuantity`,
 * `documentPositionDelete`) and the marking check (`checkMarks`). Marks are
 * judged by the first letter of their serial, so that every status can be
 * shown and tested with codes made on purpose (see `MARK_STATUS_BY_LETTER`).
 */
import type { Payload } from '../core/envelope'
import type { Handler, HandlerContext, MemoryBackend } from './backend'
import { GS } from '../documents/scanner/symbology'
import { parseGs1 } from '../marking/gs1'
import { accountDocuments, type DemoDocument, type DemoProduct } from './documents'

const NOT_AUTHORIZED = 'session not authorized'

interface PickingState {
  /** "<documentId>:<productId>" → the quantity ordered before the first edit */
  ordered: Map<string, number>
}

function pickingState(b: MemoryBackend): PickingState {
  let s = b.state.get('picking') as PickingState | undefined
  if (!s) {
    s = { ordered: new Map() }
    b.state.set('picking', s)
  }
  return s
}

const text = (v: unknown) => (typeof v === 'string' ? v.trim() : '')
const withoutZeros = (s: string) => s.replace(/^0+/, '') || s

function signedIn(ctx: HandlerContext) {
  const me = ctx.backend.signedIn(ctx.conn)
  if (!me) return undefined
  const docs = accountDocuments(ctx.backend, me.account.uid)
  return docs ? { ...me, docs } : undefined
}

/** A product of the account by barcode (as is or without leading zeros) or by code. */
export function findProduct(products: ReadonlyMap<string, DemoProduct>, code: string): DemoProduct | undefined {
  const bare = withoutZeros(code)
  for (const p of products.values()) {
    if (p.barcodes.some((b) => b === code || withoutZeros(b) === bare) || p.code === code) return p
  }
  return undefined
}

const barcodeCheck: Handler = (ctx, p) => {
  const me = signedIn(ctx)
  if (!me) return { found: false, error: NOT_AUTHORIZED }
  const barcode = text(p.barcode)
  if (!barcode) return { found: false, error: 'barcode is required', errorCode: 'invalid' }
  const product = findProduct(me.docs.products, barcode)
  return product ? { found: true, name: product.name, article: product.article } : { found: false, name: '', article: '' }
}

/** Who may change a document's contents: with roles the permission "editQuantity", without them the bought option. */
function mayEdit(me: NonNullable<ReturnType<typeof signedIn>>): boolean {
  return me.account.features.roles === true ? me.user.permissions.includes('editQuantity') : me.account.options.editQuantity === true
}

type Found = { ok: true; doc: DemoDocument; at: number } | { ok: false; refusal: Payload }

function findPosition(me: NonNullable<ReturnType<typeof signedIn>>, p: Payload): Found {
  const refuse = (error: string, errorCode: string): Found => ({ ok: false, refusal: { error, errorCode } })
  if (!mayEdit(me)) return refuse('forbidden', 'forbidden')
  const doc = me.docs.byId.get(text(p.documentId))
  if (!doc) return refuse('Документ не найден', 'not-found')
  if (/(?<!\d)\d{6,14}-\d{4}-\d{1,2}(?!\d)/.test(doc.number)) return refuse('unsupported', 'unsupported')
  const at = doc.positions.findIndex((x) => x.productId === text(p.positionId))
  if (at < 0) return refuse('Позиция не найдена', 'not-found')
  return { ok: true, doc, at }
}

const documentPositionQuantity: Handler = (ctx, p) => {
  const me = signedIn(ctx)
  if (!me) return { error: NOT_AUTHORIZED }
  const found = findPosition(me, p)
  if (!found.ok) return found.refusal
  const quantity = typeof p.quantity === 'number' ? p.quantity : Number.NaN
  if (!Number.isFinite(quantity) || quantity <= 0 || quantity > 1_000_000)
    return { error: 'Количество должно быть положительным числом', errorCode: 'invalid' }
  const position = found.doc.positions[found.at]!
  const key = `${found.doc.id}:${position.productId}`
  const state = pickingState(ctx.backend)
  const ordered = state.ordered.get(key) ?? position.quantity
  if (quantity > ordered && p.confirmOver !== true)
    return { error: 'Количество больше заказанного', errorCode: 'confirm-required', ordered, quantity }
  state.ordered.set(key, ordered)
  position.quantity = quantity
  return { ok: true, positionId: position.productId, quantity }
}

const documentPositionDelete: Handler = (ctx, p) => {
  const me = signedIn(ctx)
  if (!me) return { error: NOT_AUTHORIZED }
  const found = findPosition(me, p)
  if (!found.ok) return found.refusal
  const [gone] = found.doc.positions.splice(found.at, 1)
  return { ok: true, positionId: gone!.productId }
}

/**
 * How the stand-in judges a mark: by the first letter of its serial. A serial
 * starting with anything else is in circulation on the account's balance.
 */
export const MARK_STATUS_BY_LETTER: Readonly<Record<string, Payload | null>> = {
  E: { ok: false, status: 'EMITTED' },
  A: { ok: false, status: 'APPLIED' },
  W: { ok: false, status: 'WITHDRAWN' },
  R: { ok: false, status: 'RETIRED' },
  D: { ok: false, status: 'DISAGGREGATED' },
  U: { ok: false, message: 'КИ не найден' },
  X: { ok: false, status: 'REJECTED', message: 'Код нельзя отгружать: товар в розыске' },
  I: { status: 'INTRODUCED', ownedByUs: true },
  F: { ok: true, status: 'IN_CIRCULATION', ownedByUs: false, ownerInn: '7701234567' },
  Q: { status: 'QUARANTINE' },
  // No answer at all: the client's 15 s wait turns it into "not checked".
  N: null,
}

function serialOf(code: string): string {
  return parseGs1(code).serial || code.slice(14)
}

const checkMarks: Handler = (ctx, p) => {
  const me = signedIn(ctx)
  if (!me) return { results: [], error: NOT_AUTHORIZED }
  const codes = Array.isArray(p.codes) ? p.codes.filter((c): c is string => typeof c === 'string' && c !== '') : []
  if (codes.length === 0) return null
  const results: Payload[] = []
  for (const code of codes) {
    const letter = serialOf(code).charAt(0).toUpperCase()
    const rule = letter in MARK_STATUS_BY_LETTER ? MARK_STATUS_BY_LETTER[letter] : { ok: true, status: 'IN_CIRCULATION', ownedByUs: true }
    if (rule === null) continue
    results.push({ code, ...rule })
  }
  return results.length ? { results } : null
}

export const pickingHandlers: Readonly<Record<string, Handler>> = {
  barcodeCheck,
  documentPositionQuantity,
  documentPositionDelete,
  checkMarks,
}

// ---- sample marks and a large document

/** A marking code of a product ("01" + 14-digit GTIN + "21" + serial, GS, 91 + key, GS, 92 + crypto). */
export function sampleMark(product: Pick<DemoProduct, 'barcodes'>, serial: string, tail: 'full' | 'none' | 'no-gs' = 'full'): string {
  const gtin = (product.barcodes[0] ?? '').padStart(14, '0')
  const crypto = 'Zm9vYmFyYmF6cXV4cXV1eHh5enp5MTIzNDU2Nzg5MGFiY2Q='.slice(0, 44)
  const head = `01${gtin}21${serial}`
  if (tail === 'none') return head
  if (tail === 'no-gs') return `${head}91EE0792${crypto}`
  return `${head}${GS}91EE07${GS}92${crypto}`
}

function ean13(body12: string): string {
  let sum = 0
  for (let i = 0; i < 12; i++) sum += Number(body12[i]) * (i % 2 === 0 ? 1 : 3)
  return body12 + String((10 - (sum % 10)) % 10)
}

/**
 * Adds a shipment of `size` distinct products (with barcodes "29…", in-store
 * numbers) to an account: the picking benchmark and tests open it.
 */
export function seedLargeDocument(b: MemoryBackend, accountId: string, size: number, id = `${accountId}-large-${size}`): DemoDocument {
  const docs = accountDocuments(b, accountId)
  if (!docs) throw new Error(`no account ${accountId}`)
  const existing = docs.byId.get(id)
  if (existing) return existing
  const positions: DemoDocument['positions'] = []
  for (let i = 1; i <= size; i++) {
    const productId = `large-${String(i).padStart(5, '0')}`
    if (!docs.products.has(productId))
      docs.products.set(productId, {
        id: productId,
        name: `Товар для сборки №${i}`,
        code: `L${i}`,
        barcodes: [ean13(`29${String(i).padStart(10, '0')}`)],
        article: `L-${i}`,
        markable: false,
        cell: `${String.fromCharCode(65 + (i % 6))}-${String(1 + (i % 12)).padStart(2, '0')}-${String(1 + (i % 5)).padStart(2, '0')}`,
        cellStock: 5,
        warehouseStock: 10,
      })
    positions.push({ productId, quantity: 1_000 })
  }
  const doc: DemoDocument = {
    id,
    type: 'shipment',
    number: String(900_000 + size),
    moment: new Date(b.now()).toISOString().slice(0, 19).replace('T', ' '),
    counterparty: 'ООО «Большой заказ»',
    warehouse: 'Основной склад',
    status: 'pending',
    positions,
    inFilter: true,
    stateName: 'Новый',
  }
  docs.byId.set(id, doc)
  docs.byType.set('shipment', [doc, ...(docs.byType.get('shipment') ?? [])])
  return doc
}

/** The barcode of the i-th product (1-based) of a large document. */
export function largeDocumentBarcode(i: number): string {
  return ean13(`29${String(i).padStart(10, '0')}`)
}
