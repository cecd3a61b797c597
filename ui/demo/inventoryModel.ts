/**
 * The inventory sessions of the in-memory backend: sessions per account,
 * scans kept once per scan uid, photos, the register of product names, and
 * the records the commands answer with. Handlers are in ./inventory.
 */
import type { Payload } from '../core/envelope'
import type { MemoryBackend } from './backend'
import { accountDocuments } from './documents'
import { partsStoreOf } from './partsstore'
import { fullPath } from './partsstoreModel'

export type ScanSource = 'scanner' | 'camera' | 'manual'
export type RegistryState = 'queued' | 'named' | 'not_found' | 'failed'

export interface Match { kind: 'product' | 'cell' | 'none'; id: number | string | null; name: string | null }
export interface RegistryInfo { state: RegistryState; gtin: string; name: string; brand: string }

export interface InventoryScan {
  id: number
  sessionId: number
  accountId: string
  scanUid: string
  unitNo: string
  code: string
  codeNorm: string
  source: ScanSource
  qty: number
  scannedAt: string
  receivedAt: string
  userId: string
  userName: string
  deviceId: string
  note: string
  cellId: number | null
  match: Match
  registry: RegistryInfo | null
}

export interface InventorySession {
  id: number
  accountId: string
  name: string
  comment: string
  status: 'open' | 'closed'
  startedAt: string
  startedByUserId: string
  closedAt: string | null
  scans: InventoryScan[]
  nextUnit: number
}

export interface InventoryPhoto {
  id: string
  accountId: string
  /** the unit it belongs to; null until it is moved onto one */
  scanUid: string | null
  type: string
  bytes: Uint8Array
  createdAt: string
}

/** Photo ids handed out in one batch, redeemed by uploads to the batch's address. */
export interface PhotoBatch { accountId: string; ids: Set<string>; expiresAt: number }

/** A file made by an export or an archive request, built when it is fetched. */
export type InventoryFile =
  | { kind: 'xlsx'; accountId: string; fileName: string; rows: (string | number)[][]; expiresAt: number }
  | { kind: 'zip'; accountId: string; fileName: string; entries: Array<{ path: string; photoId: string }>; expiresAt: number }

/** What the test-mode control has switched on: an outage of the commands, slow answers, refused scans. */
export interface InventoryFaults {
  /** commands answered as `mode` says until `until` (ms; Infinity until lifted) */
  outage: { mode: 'fail' | 'hang' | 'lost-reply' | 'slow'; until: number; commands: Set<string> | null; refusal: Payload; ms: number } | null
  /** scans with these codes come back in `rejected` */
  rejectCodes: Set<string>
  /** a batch holding one of these codes is refused as a whole with `bad-request` */
  poisonCodes: Set<string>
  /** whether that refusal names the scans at fault (under `wrong`) */
  namePoisoned: boolean
  scanLimit: number
  photoLimit: number
  uploadDisabled: boolean
  registryConfigured: boolean
  registryQueueLimit: number
  archiveMaxBytes: number
}

export interface InventoryState {
  sessions: Map<number, InventorySession>
  /** "<account>:<scanUid>" → the scan */
  byUid: Map<string, InventoryScan>
  /** "<account>:<scanUid>" of deleted scans: sent again, they stay deleted */
  deleted: Set<string>
  photos: Map<string, InventoryPhoto>
  batches: Map<string, PhotoBatch>
  files: Map<string, InventoryFile>
  /** the register: GTIN → name and brand */
  register: Map<string, { name: string; brand: string }>
  seeded: Set<string>
  faults: InventoryFaults
  /** the origin export and archive links start with ("" for relative links) */
  fileOrigin: string
  nextSession: number
  nextScan: number
  nextPhoto: number
  nextFile: number
}

export const REGISTER_SAMPLE: ReadonlyArray<[gtin: string, name: string, brand: string]> = [
  ['04607001234562', 'Кроссовки мужские беговые', 'Stride'],
  ['04607001234579', 'Куртка детская демисезонная', 'Лесовичок'],
  ['04680012345671', 'Шампунь для волос 400 мл', 'Чистый лист'],
  ['04680012345688', 'Духи женские 50 мл', 'Аромат Севера'],
]

export function defaultFaults(): InventoryFaults {
  return {
    outage: null, rejectCodes: new Set(), poisonCodes: new Set(), namePoisoned: false, scanLimit: 100_000, photoLimit: 10_000,
    uploadDisabled: false, registryConfigured: true, registryQueueLimit: 10_000, archiveMaxBytes: 500 * 1024 * 1024,
  }
}

export const defaultRegister = () => new Map(REGISTER_SAMPLE.map(([gtin, name, brand]) => [gtin, { name, brand }]))

export function inventoryState(b: MemoryBackend): InventoryState {
  let s = b.state.get('inventory') as InventoryState | undefined
  if (!s) {
    s = {
      sessions: new Map(), byUid: new Map(), deleted: new Set(), photos: new Map(), batches: new Map(), files: new Map(),
      register: defaultRegister(),
      seeded: new Set(), faults: defaultFaults(), fileOrigin: '', nextSession: 1, nextScan: 1, nextPhoto: 1, nextFile: 1,
    }
    b.state.set('inventory', s)
  }
  return s
}

export const uidKey = (accountId: string, scanUid: string) => `${accountId}:${scanUid}`
export const UUID_V4 = /^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$/i
export const MAX_CODE_LENGTH = 255

/** The code the session counts by: trimmed, without the group separators marking codes carry. */
export const normaliseCode = (code: string) => code.trim().replace(/[\x00-\x1f]/g, '')

/** The GTIN a code carries: a marking code's (01 + 14 digits) or an EAN-8/13 or GTIN-14 itself. */
export function gtinOf(code: string): string | null {
  const mark = /^01(\d{14})/.exec(code)
  if (mark) return mark[1]!
  if (/^(\d{8}|\d{12,14})$/.test(code)) return code.padStart(14, '0')
  return null
}

type CatalogueIndex = Map<string, { id: string; name: string }>
const indexes = new WeakMap<object, { size: number; index: CatalogueIndex }>()

/**
 * Catalogue products by barcode and by the GTIN of each barcode; rebuilt when the catalogue grows or
 * shrinks (a barcode changed in place on a sample product is seen from the next rebuild).
 */
function catalogueIndex(products: Map<string, { id: string; name: string; barcodes: string[] }>): CatalogueIndex {
  const known = indexes.get(products)
  if (known && known.size === products.size) return known.index
  const index: CatalogueIndex = new Map()
  for (const p of products.values()) {
    for (const code of p.barcodes) {
      index.set(code, p)
      const gtin = gtinOf(code)
      if (gtin !== null && !index.has(gtin)) index.set(gtin, p)
    }
  }
  indexes.set(products, { size: products.size, index })
  return index
}

/** What a code is in the account: a parts-store cell or product, or a product of the catalogue. */
export function matchCode(b: MemoryBackend, accountId: string, codeNorm: string): Match {
  const store = partsStoreOf(b, accountId)
  for (const c of store.cells.values()) if (c.barcode === codeNorm) return { kind: 'cell', id: c.id, name: fullPath(store, c.id) }
  for (const p of store.products.values()) if (p.internalBarcode === codeNorm) return { kind: 'product', id: p.id, name: p.name }
  const products = accountDocuments(b, accountId)?.products
  if (!products) return { kind: 'none', id: null, name: null }
  const index = catalogueIndex(products)
  const gtin = gtinOf(codeNorm)
  const found = index.get(codeNorm) ?? (gtin === null ? undefined : index.get(gtin))
  if (found) return { kind: 'product', id: found.id, name: found.name }
  return { kind: 'none', id: null, name: null }
}

export const nameOf = (s: InventoryScan): string => s.match.name ?? (s.registry?.state === 'named' ? s.registry.name : '')

export function countersOf(st: InventoryState, session: InventorySession): Payload {
  const codes = new Set<string>()
  let units = 0
  let named = 0
  let photos = 0
  const registry = { queued: 0, named: 0, notFound: 0, failed: 0 }
  const counts = photoCounts(st, session.accountId)
  for (const s of session.scans) {
    codes.add(s.codeNorm)
    units += Math.max(1, s.qty)
    if (nameOf(s) !== '') named++
    photos += counts.get(s.scanUid) ?? 0
    if (s.registry?.state === 'queued') registry.queued++
    else if (s.registry?.state === 'named') registry.named++
    else if (s.registry?.state === 'not_found') registry.notFound++
    else if (s.registry?.state === 'failed') registry.failed++
  }
  const scans = session.scans.length
  return { scans, units, codes: codes.size, repeats: Math.max(0, scans - codes.size), photos, named, unnamed: scans - named, registry }
}

export function photosOf(st: InventoryState, accountId: string, scanUid: string): InventoryPhoto[] {
  return [...st.photos.values()].filter((p) => p.accountId === accountId && p.scanUid === scanUid)
}

/** Photos per scan uid of an account. */
export function photoCounts(st: InventoryState, accountId: string): Map<string, number> {
  const out = new Map<string, number>()
  for (const p of st.photos.values()) if (p.accountId === accountId && p.scanUid !== null) out.set(p.scanUid, (out.get(p.scanUid) ?? 0) + 1)
  return out
}

export const photoCount = (st: InventoryState, accountId: string, scanUid: string) => photosOf(st, accountId, scanUid).length

export function sessionRecord(st: InventoryState, s: InventorySession): Payload {
  return {
    id: s.id, name: s.name, comment: s.comment, status: s.status, startedAt: s.startedAt,
    startedByUserId: s.startedByUserId, closedAt: s.closedAt, counters: countersOf(st, s),
  }
}

function registryRecord(r: RegistryInfo | null): Payload | null {
  if (!r) return null
  const out: Payload = { state: r.state }
  if (r.gtin) out.gtin = r.gtin
  if (r.name) out.name = r.name
  if (r.brand) out.brand = r.brand
  return out
}

export function scanRecord(st: InventoryState, s: InventoryScan): Payload {
  return {
    id: s.id, scanUid: s.scanUid, unitNo: s.unitNo, code: s.code, codeNorm: s.codeNorm, source: s.source, qty: s.qty,
    scannedAt: s.scannedAt, receivedAt: s.receivedAt, userId: s.userId, userName: s.userName, deviceId: s.deviceId,
    note: s.note, cellId: s.cellId, match: { ...s.match }, registry: registryRecord(s.registry),
    photos: photoCount(st, s.accountId, s.scanUid), pending: false, rejected: false,
  }
}

/** The open session of an account, if one is. */
export function openSessionOf(st: InventoryState, accountId: string): InventorySession | undefined {
  for (const s of st.sessions.values()) if (s.accountId === accountId && s.status === 'open') return s
  return undefined
}

export function sessionsOf(st: InventoryState, accountId: string): InventorySession[] {
  return [...st.sessions.values()].filter((s) => s.accountId === accountId).sort((a, b) => b.id - a.id)
}
