/**
 * Shortfalls and disputes of the two-person check: which positions need an
 * entry, what the reason input offers, the collector's default reason, the
 * checker's "Да, причина та" / "Нет, причина другая" and "Сколько нашли", and
 * what a completion item carries. Pure.
 */
import type { ShortfallEntry } from '../documents/picking/draft'
import type { PositionRecord, Shortfall } from '../documents/records'
import type { RolesSettings } from './rolesSettings'
import type { WorkRole } from './roleState'

export type { ShortfallEntry }

export const REASON_TEXT_MAX = 80
export const COMMENT_MAX = 200
export const DEFAULT_REASON_NAME = 'не нашёл'

export const SHORTFALL_TEXTS = {
  reason: 'Причина',
  optional: ' (по желанию)',
  reasonFree: 'Причина недобора',
  comment: 'Комментарий',
  confirm: 'Да, причина та',
  confirmed: '✓ Причина та',
  dispute: 'Нет, причина другая',
  found: 'Сколько нашли',
  byMarks: 'Количество считается по маркам — отсканируйте их.',
  cardTitle: 'Причина недобора',
  cardDisputed: ' · спор',
  cardConfirmed: ' · принята',
  reasonNeeded: 'Укажите причину: без нее документ не завершится.',
} as const

type ShortPosition = Pick<PositionRecord, 'checked' | 'required' | 'orderedQuantity' | 'collectedQuantity' | 'collectorShortfall'>

/** The ordered quantity: `orderedQuantity`, else `required`. */
export function orderedOf(p: Pick<PositionRecord, 'required' | 'orderedQuantity'>): number {
  return p.orderedQuantity ?? p.required
}

/** The collector left this position short: counted less than ordered, or gave a shortfall. */
export function collectorWasShort(p: ShortPosition): boolean {
  return (p.collectedQuantity !== undefined && p.collectedQuantity < orderedOf(p)) || p.collectorShortfall !== undefined
}

/** A position needs a shortfall entry: the collector counted less than required; the checker when the collector was short or he found some but not all. */
export function needsShortfall(p: ShortPosition, role: WorkRole): boolean {
  if (role === 'collector') return p.checked < p.required
  return collectorWasShort(p) || (p.checked > 0 && p.checked < orderedOf(p))
}

const foldYo = (s: string) => s.trim().toLocaleLowerCase('ru').replace(/ё/g, 'е')

/**
 * The reason a collector who skips reasons gets: the configured one that reads
 * "не нашёл" (case, outer blanks and ё/е aside), else the first configured
 * one, else none.
 */
export function defaultReason(reasons: readonly string[]): string {
  const wanted = foldYo(DEFAULT_REASON_NAME)
  return reasons.find((r) => foldYo(r) === wanted) ?? reasons[0] ?? ''
}

/** Every short position without a reason gets the default reason (a collector who skips reasons). */
export function withDefaultReasons(
  entries: Readonly<Record<string, ShortfallEntry>>,
  shortKeys: readonly string[],
  reasons: readonly string[],
): Record<string, ShortfallEntry> {
  const out: Record<string, ShortfallEntry> = {}
  for (const [k, e] of Object.entries(entries)) out[k] = { ...e }
  const reason = defaultReason(reasons)
  if (!reason) return out
  for (const key of shortKeys) {
    const e = out[key]
    if (!e) out[key] = { reason, comment: '' }
    else if (!e.reason.trim()) e.reason = reason
  }
  return out
}

export type ReasonInput =
  | { kind: 'select'; label: string; options: string[] }
  | { kind: 'text'; label: string; max: number }
  | { kind: 'none' }

/** What the reason input offers; a chosen reason that is no longer in the list stays offered first. */
export function reasonInput(settings: RolesSettings, role: WorkRole, collectorSkips: boolean, chosen = ''): ReasonInput {
  if (role === 'collector' && collectorSkips) return { kind: 'none' }
  const list = settings.shortfallReasons
  if (list.length > 0) {
    const options = chosen && !list.includes(chosen) ? [chosen, ...list] : [...list]
    return { kind: 'select', label: SHORTFALL_TEXTS.reason + (settings.shortfallReasonRequired ? '' : SHORTFALL_TEXTS.optional), options }
  }
  if (settings.shortfallReasonRequired) return { kind: 'text', label: SHORTFALL_TEXTS.reasonFree, max: REASON_TEXT_MAX }
  return { kind: 'none' }
}

/** Reasons must be given on this screen: required, and not a collector who skips them. */
export function reasonsRequired(settings: RolesSettings, role: WorkRole, collectorSkips: boolean): boolean {
  return settings.shortfallReasonRequired && !(role === 'collector' && collectorSkips)
}

const hasText = (e: Pick<Shortfall, 'reason' | 'comment'> | undefined) => !!e && (e.reason.trim() !== '' || e.comment.trim() !== '')

/** The checker's starting entry: his own earlier dispute, else the collector's reason and comment. */
export function checkerPrefill(p: Pick<PositionRecord, 'checkerShortfall' | 'collectorShortfall'>): ShortfallEntry {
  const own = p.checkerShortfall
  if (own && (own.disputed === true || hasText(own))) {
    const e: ShortfallEntry = { reason: own.reason, comment: own.comment }
    if (own.disputed) e.disputed = true
    return e
  }
  const c = p.collectorShortfall
  return { reason: c?.reason ?? '', comment: c?.comment ?? '' }
}

/** "Да, причина та": possible only while the entry has a reason or a comment. */
export function confirmReason(e: ShortfallEntry): ShortfallEntry | null {
  if (!hasText(e)) return null
  const { disputed: _gone, ...rest } = e
  return { ...rest, confirmed: true }
}

/** "Нет, причина другая": a dispute; reason and comment start empty. */
export function disputeReason(): ShortfallEntry {
  return { reason: '', comment: '', disputed: true }
}

/** "Сколько нашли": digits with up to three decimals, 0 … ordered; the count, or the message. */
export function parseFoundCount(text: string, ordered: number): { ok: true; count: number } | { ok: false; error: string } {
  const t = text.trim().replace(',', '.')
  const n = /^\d+(\.\d{1,3})?$/.test(t) ? Number(t) : NaN
  if (!Number.isFinite(n) || n < 0 || n > ordered) return { ok: false, error: `Сколько нашли — число от 0 до ${ordered}` }
  return { ok: true, count: n }
}

/** A dispute the server already holds is carried into this completion when the checker has not touched the position. */
export function carriedDispute(p: Pick<PositionRecord, 'checkerShortfall'>, local: ShortfallEntry | undefined): ShortfallEntry | undefined {
  if (local) return local
  const s = p.checkerShortfall
  return s?.disputed ? { reason: s.reason, comment: s.comment, disputed: true } : undefined
}

export interface RoleItemFields {
  ordered: number
  shortfall?: { reason: string; comment: string; disputed?: true; confirmed?: true }
  disputed?: true
}

/**
 * What a completion item carries with a role: the ordered quantity, and either
 * the shortfall (short, with a reason or a comment) or a bare dispute. A
 * checker's "Да, причина та" travels as `confirmed`: agreeing with the
 * collector is a result of its own, not a copy of his.
 */
export function roleItemFields(counted: number, ordered: number, entry: ShortfallEntry | undefined): RoleItemFields {
  const out: RoleItemFields = { ordered }
  if (!entry) return out
  const reason = entry.reason.trim()
  const comment = entry.comment.trim()
  if (counted < ordered && (reason || comment)) {
    out.shortfall = { reason, comment }
    if (entry.disputed) out.shortfall.disputed = true
    else if (entry.confirmed) out.shortfall.confirmed = true
  } else if (entry.disputed) out.disputed = true
  return out
}

/** The card's title of a shortfall entry: "Причина недобора" + " · спор" / " · принята". */
export function shortfallCardTitle(e: ShortfallEntry | undefined): string {
  return SHORTFALL_TEXTS.cardTitle + (e?.disputed ? SHORTFALL_TEXTS.cardDisputed : e?.confirmed ? SHORTFALL_TEXTS.cardConfirmed : '')
}
