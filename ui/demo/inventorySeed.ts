/**
 * Sample inventory for accounts with the parts store: one finished session
 * counted on two devices, with store products, marking codes the register
 * named or did not find, an unknown code, a repeat, a note and a photo, so
 * that the list, the counters, the filters and both downloads have something
 * to show in a local run.
 */
import type { MemoryBackend } from './backend'
import { accountDocuments } from './documents'
import { partsStoreOf } from './partsstore'
import { matchCode, normaliseCode, REGISTER_SAMPLE, uidKey, type InventoryScan, type InventorySession, type InventoryState } from './inventoryModel'

/** A 1×1 PNG: the sample photo. */
const SAMPLE_PNG = 'iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg=='
const DAY_MS = 24 * 60 * 60 * 1000

const sampleUid = (accountId: string, n: number) => {
  let h = 0
  for (const ch of accountId) h = (h * 31 + ch.charCodeAt(0)) >>> 0
  return `5e1d0000-${(h & 0xffff).toString(16).padStart(4, '0')}-4000-8000-${n.toString(16).padStart(12, '0')}`
}

const bytesOf = (base64: string) => Uint8Array.from(atob(base64), (ch) => ch.charCodeAt(0))

export function seedInventory(b: MemoryBackend, st: InventoryState, accountId: string): void {
  if (st.seeded.has(accountId)) return
  st.seeded.add(accountId)
  const account = b.accounts.get(accountId)
  if (account?.features.radio !== true) return
  const [admin] = account.users
  if (!admin) return
  const store = partsStoreOf(b, accountId)
  const storeCodes = [...store.products.values()].map((p) => p.internalBarcode)
  const catalogueCode = [...(accountDocuments(b, accountId)?.products.values() ?? [])].find((p) => p.barcodes.length > 0)?.barcodes[0]
  const [named1, named2] = REGISTER_SAMPLE
  const codes: Array<[code: string, note?: string]> = [
    ...storeCodes.map((c): [string] => [c]),
    [storeCodes[0] ?? 'BOLT-1'],
    [`01${named1![0]}21AbCdEf1234567\u001d93AbCd`],
    [`01${named2![0]}21XyZ9876543210\u001d93WxYz`, 'упаковка надорвана'],
    ['0104600000000008215unknownmark'],
    ['ПАКЕТ-БЕЗ-КОДА', '=проверить на складе'],
    ...(catalogueCode ? [[catalogueCode] as [string]] : []),
  ]
  const id = st.nextSession++
  const start = b.now() - 2 * DAY_MS
  const session: InventorySession = {
    id, accountId, name: 'Инвентаризация перед маркировкой', comment: 'Стеллажи 1 и 2', status: 'closed',
    startedAt: new Date(start).toISOString(), startedByUserId: admin.userId, closedAt: new Date(start + 2 * 60 * 60 * 1000).toISOString(),
    scans: [], nextUnit: 1,
  }
  codes.forEach(([code, note], i) => {
    const codeNorm = normaliseCode(code)
    const scan: InventoryScan = {
      id: st.nextScan++, sessionId: id, accountId, scanUid: sampleUid(accountId, i + 1), unitNo: String(session.nextUnit++), code, codeNorm,
      source: i % 4 === 3 ? 'camera' : 'scanner', qty: 1, scannedAt: new Date(start + (i + 1) * 60_000).toISOString(),
      receivedAt: new Date(start + (i + 1) * 60_000 + 1500).toISOString(), userId: admin.userId,
      userName: `${admin.firstName} ${admin.lastName}`, deviceId: i % 2 === 0 ? 'sample-scanner-1' : 'sample-scanner-2', note: note ?? '',
      cellId: null, match: matchCode(b, accountId, codeNorm), registry: null,
    }
    const gtin = /^01(\d{14})/.exec(codeNorm)?.[1]
    if (gtin && scan.match.name === null) {
      const found = st.register.get(gtin)
      scan.registry = found ? { state: 'named', gtin, ...found } : { state: 'not_found', gtin, name: '', brand: '' }
    }
    session.scans.push(scan)
    st.byUid.set(uidKey(accountId, scan.scanUid), scan)
  })
  const withPhoto = session.scans.find((x) => x.registry?.state === 'named') ?? session.scans[0]
  if (withPhoto) {
    const photoId = `ph-${st.nextPhoto++}-sample`
    st.photos.set(photoId, { id: photoId, accountId, scanUid: withPhoto.scanUid, type: 'image/png', bytes: bytesOf(SAMPLE_PNG), createdAt: session.closedAt! })
  }
  st.sessions.set(id, session)
}
