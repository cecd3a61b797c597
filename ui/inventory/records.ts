/** Inventory records as the service sends them, read into safe shapes. */
export interface RegistryCounters { queued: number; named: number; notFound: number; failed: number }
export interface Counters {
  scans: number; units: number; codes: number; repeats: number; photos: number; named: number; unnamed: number
  registry: RegistryCounters
}
export interface Session {
  id: number; name: string; comment: string; status: 'open' | 'closed'
  startedAt: string; startedByUserId: number | null; closedAt: string | null; counters: Counters
}

const obj = (v: unknown): Record<string, unknown> => (v && typeof v === 'object' && !Array.isArray(v) ? (v as Record<string, unknown>) : {})
const whole = (v: unknown): number => (typeof v === 'number' && Number.isFinite(v) && v >= 0 ? Math.floor(v) : 0)
const text = (v: unknown): string => (typeof v === 'string' ? v : '')

export function normaliseCounters(raw: unknown): Counters {
  const c = obj(raw)
  const r = obj(c.registry)
  return {
    scans: whole(c.scans), units: whole(c.units), codes: whole(c.codes), repeats: whole(c.repeats),
    photos: whole(c.photos), named: whole(c.named), unnamed: whole(c.unnamed),
    registry: { queued: whole(r.queued), named: whole(r.named), notFound: whole(r.notFound ?? r.not_found), failed: whole(r.failed) },
  }
}

/** A session, or null when the record has no positive id. */
export function normaliseSession(raw: unknown): Session | null {
  const s = obj(raw)
  const id = typeof s.id === 'number' && Number.isFinite(s.id) && s.id > 0 ? s.id : null
  if (id === null) return null
  return {
    id,
    name: text(s.name).trim() || `Инвентаризация ${id}`,
    comment: text(s.comment),
    status: s.status === 'closed' ? 'closed' : 'open',
    startedAt: text(s.startedAt),
    startedByUserId: typeof s.startedByUserId === 'number' ? s.startedByUserId : null,
    closedAt: typeof s.closedAt === 'string' && s.closedAt !== '' ? s.closedAt : null,
    counters: normaliseCounters(s.counters),
  }
}

/** Quantity of a scan: a whole number ≥ 1 (1 when absent or not positive). */
export const normaliseQty = (v: unknown): number => (typeof v === 'number' && Number.isFinite(v) && v >= 1 ? Math.floor(v) : 1)

export type ScanSource = 'scanner' | 'camera' | 'manual'
export const normaliseSource = (v: unknown): ScanSource => (v === 'camera' || v === 'manual' ? v : 'scanner')

export interface ScanMatch { kind: 'product' | 'cell' | 'none'; id: number | string | null; name: string | null }
export interface ScanRegistry { state: string; gtin?: string; name?: string; brand?: string }
export interface Scan {
  id: number | null; scanUid: string; unitNo?: string; code: string; codeNorm: string; source: ScanSource; qty: number
  scannedAt: string; receivedAt: string | null; userId: string; userName: string; deviceId: string; deviceName?: string
  note: string; cellId: number | null; match: ScanMatch; registry: ScanRegistry | null; photos: number
  pending: boolean; rejected: boolean; error?: string
  /** deleted on the device, the service's confirmation still awaited */
  deleting?: boolean
}

const idText = (v: unknown): string => (typeof v === 'string' ? v : typeof v === 'number' && Number.isFinite(v) ? String(v) : '')

export function normaliseRegistry(raw: unknown): ScanRegistry | null {
  if (!raw || typeof raw !== 'object') return null
  const r = obj(raw)
  const out: ScanRegistry = { state: text(r.state) }
  for (const k of ['gtin', 'name', 'brand'] as const) if (text(r[k]) !== '') out[k] = text(r[k])
  return out
}

/** A scan as the service sends it, or null without `scanUid`. */
export function normaliseScan(raw: unknown): Scan | null {
  const s = obj(raw)
  if (typeof s.scanUid !== 'string' || s.scanUid === '') return null
  const code = text(s.code)
  const m = obj(s.match)
  const scan: Scan = {
    id: typeof s.id === 'number' && Number.isFinite(s.id) ? s.id : null,
    scanUid: s.scanUid,
    code,
    codeNorm: text(s.codeNorm) || code.trim(),
    source: normaliseSource(s.source),
    qty: normaliseQty(s.qty),
    scannedAt: text(s.scannedAt),
    receivedAt: typeof s.receivedAt === 'string' && s.receivedAt !== '' ? s.receivedAt : null,
    userId: idText(s.userId),
    userName: text(s.userName),
    deviceId: idText(s.deviceId),
    note: text(s.note),
    cellId: typeof s.cellId === 'number' ? s.cellId : null,
    match: {
      kind: m.kind === 'product' || m.kind === 'cell' ? m.kind : 'none',
      id: typeof m.id === 'number' || typeof m.id === 'string' ? m.id : null,
      name: typeof m.name === 'string' && m.name !== '' ? m.name : null,
    },
    registry: normaliseRegistry(s.registry),
    photos: whole(s.photos),
    pending: s.pending === true,
    rejected: s.rejected === true,
  }
  if (typeof s.unitNo === 'string' && s.unitNo !== '') scan.unitNo = s.unitNo
  if (typeof s.deviceName === 'string' && s.deviceName !== '') scan.deviceName = s.deviceName
  if (typeof s.error === 'string' && s.error !== '') scan.error = s.error
  return scan
}

/** The name a scan's code has: the catalogue's, else the register's. */
export const scanName = (s: Pick<Scan, 'match' | 'registry'>): string => s.match.name ?? s.registry?.name ?? ''
