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
