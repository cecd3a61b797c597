/**
 * The two-person check of one sample document as the in-memory backend keeps
 * it: the stage, who collects and checks, when, what each of them counted,
 * their shortfall reasons, the checker's disputes and the box count. Pure.
 */
import type { Payload } from '../core/envelope'

export type DemoStage = 'new' | 'collecting' | 'collected' | 'checked'

export interface DemoPerson {
  id: string
  name: string
}

export interface DemoShortfall {
  reason: string
  comment: string
  disputed?: boolean
  /** the checker agreed with the collector's reason */
  confirmed?: boolean
}

export interface DemoCheck {
  stage: DemoStage
  collector?: DemoPerson
  checker?: DemoPerson
  startedAt?: string
  collectedAt?: string
  checkedAt?: string
  boxes?: number
  /** product id → what the collector counted */
  collected: Record<string, number>
  /** product id → what the checker counted */
  checked: Record<string, number>
  collectorShortfalls: Record<string, DemoShortfall>
  checkerShortfalls: Record<string, DemoShortfall>
}

export function emptyCheck(stage: DemoStage): DemoCheck {
  return { stage, collected: {}, checked: {}, collectorShortfalls: {}, checkerShortfalls: {} }
}

type Dict = Record<string, unknown>
const isDict = (v: unknown): v is Dict => typeof v === 'object' && v !== null && !Array.isArray(v)
const text = (v: unknown) => (typeof v === 'string' ? v : '')

/** A completion's items as counts and shortfalls per product. */
function readItems(items: readonly unknown[]): { counts: Record<string, number>; shortfalls: Record<string, DemoShortfall> } {
  const counts: Record<string, number> = {}
  const shortfalls: Record<string, DemoShortfall> = {}
  for (const raw of items) {
    if (!isDict(raw) || typeof raw.positionId !== 'string') continue
    const id = raw.positionId
    counts[id] = (counts[id] ?? 0) + (typeof raw.quantity === 'number' ? raw.quantity : 0)
    if (isDict(raw.shortfall)) {
      const s: DemoShortfall = { reason: text(raw.shortfall.reason), comment: text(raw.shortfall.comment) }
      if (raw.shortfall.disputed === true) s.disputed = true
      else if (raw.shortfall.confirmed === true) s.confirmed = true
      shortfalls[id] = s
    } else if (raw.disputed === true) shortfalls[id] = { reason: '', comment: '', disputed: true }
  }
  return { counts, shortfalls }
}

/** A completion with a role moves the check on: collected by the collector, checked by the checker. */
export function applyRoleCompletion(
  check: DemoCheck,
  c: { role?: string; items: readonly unknown[]; boxes?: number; completedAt: number },
  who: DemoPerson,
): void {
  const at = new Date(c.completedAt).toISOString()
  const { counts, shortfalls } = readItems(c.items)
  if (c.role === 'checker') {
    check.stage = 'checked'
    check.checker = who
    check.checkedAt = at
    check.checked = counts
    check.checkerShortfalls = shortfalls
    if (typeof c.boxes === 'number') check.boxes = c.boxes
  } else if (c.role === 'collector') {
    check.stage = 'collected'
    check.collector = who
    check.collectedAt = at
    check.startedAt ??= at
    check.collected = counts
    check.collectorShortfalls = shortfalls
  }
}

/** What a list record says about the check. */
export function checkListFields(check: DemoCheck): Payload {
  const r: Payload = { stage: check.stage }
  if (check.collector) r.collector = { ...check.collector }
  if (check.checker) r.checker = { ...check.checker }
  if (check.startedAt) r.startedAt = check.startedAt
  if (check.collectedAt) r.collectedAt = check.collectedAt
  const disputes = Object.values(check.checkerShortfalls).filter((s) => s.disputed)
  if (disputes.length) r.shortfalls = disputes.map((s) => ({ ...s, checker: check.checker ? { ...check.checker } : undefined }))
  return r
}

/** What a contents line says about the check of its product. */
export function checkItemFields(check: DemoCheck, productId: string): Payload {
  const r: Payload = {}
  if (check.stage === 'new' || check.stage === 'collecting') return r
  r.collectedQuantity = check.collected[productId] ?? 0
  const cs = check.collectorShortfalls[productId]
  if (cs) r.collectorShortfall = { ...cs }
  if (check.stage === 'checked') {
    r.checkedQuantity = check.checked[productId] ?? 0
    const ks = check.checkerShortfalls[productId]
    if (ks) r.checkerShortfall = { ...ks }
  }
  return r
}

/** Shortfalls of the last round: the checker's once checked, else the collector's. */
export function shortfallCount(check: DemoCheck): number {
  return Object.keys(check.stage === 'checked' ? check.checkerShortfalls : check.collectorShortfalls).length
}
