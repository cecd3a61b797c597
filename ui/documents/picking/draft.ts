/**
 * The draft of an open document ("zv_scan_state:<documentId>"): counts, marks
 * and shortfall entries, written after every change so that nothing counted
 * is lost when the screen closes or the application stops. Drafts older than
 * 30 days are deleted when read and purged at start-up.
 *
 * Entries are kept per line key (see barcodeIndex), marked by `byLine`. A draft
 * without it was written per product; `spreadOverLines` turns it into lines.
 */
import { KEY_PREFIX, readLocal, removeLocal, writeLocal } from '../../core/localStore'

export const DRAFT_PREFIX = 'scan_state:'
export const DRAFT_MAX_AGE_MS = 720 * 60 * 60 * 1000

export interface ShortfallEntry {
  reason: string
  comment: string
  disputed?: boolean
  confirmed?: boolean
}

export interface DraftCounts {
  checked: Record<string, number>
  marks: Record<string, string[]>
  shortfalls?: Record<string, ShortfallEntry>
}

export interface Draft extends DraftCounts {
  updatedAt: number
  /** keyed by line, not by product */
  byLine?: true
}

type Dict = Record<string, unknown>
const isDict = (v: unknown): v is Dict => typeof v === 'object' && v !== null && !Array.isArray(v)

function normaliseDraft(raw: unknown): Draft | undefined {
  if (!isDict(raw) || typeof raw.updatedAt !== 'number' || !Number.isFinite(raw.updatedAt)) return undefined
  const checked: Record<string, number> = {}
  if (isDict(raw.checked))
    for (const [id, n] of Object.entries(raw.checked)) if (typeof n === 'number' && Number.isFinite(n) && n > 0) checked[id] = n
  const marks: Record<string, string[]> = {}
  if (isDict(raw.marks))
    for (const [id, list] of Object.entries(raw.marks))
      if (Array.isArray(list)) {
        const codes = list.filter((c): c is string => typeof c === 'string' && c !== '')
        if (codes.length) marks[id] = codes
      }
  const draft: Draft = { checked, marks, updatedAt: raw.updatedAt }
  if (raw.byLine === true) draft.byLine = true
  if (isDict(raw.shortfalls)) {
    const entries: Record<string, ShortfallEntry> = {}
    for (const [id, e] of Object.entries(raw.shortfalls)) {
      if (!isDict(e)) continue
      const entry: ShortfallEntry = {
        reason: typeof e.reason === 'string' ? e.reason : '',
        comment: typeof e.comment === 'string' ? e.comment : '',
      }
      if (e.disputed === true) entry.disputed = true
      if (e.confirmed === true) entry.confirmed = true
      entries[id] = entry
    }
    if (Object.keys(entries).length) draft.shortfalls = entries
  }
  return draft
}

/** The draft of a document; an expired or unreadable one is removed and reads as absent. */
export function readDraft(documentId: string, now = Date.now()): Draft | undefined {
  const key = DRAFT_PREFIX + documentId
  const raw = readLocal<unknown>(key)
  if (raw === undefined) return undefined
  const draft = normaliseDraft(raw)
  if (!draft || now - draft.updatedAt > DRAFT_MAX_AGE_MS) {
    removeLocal(key)
    return undefined
  }
  return draft
}

/** Writes the draft; false when the storage refused it. */
export function writeDraft(
  documentId: string,
  state: { checked: Record<string, number>; marks: Record<string, string[]>; shortfalls?: Record<string, ShortfallEntry> },
  now = Date.now(),
): boolean {
  const value: Draft = { checked: state.checked, marks: state.marks, updatedAt: now, byLine: true }
  if (state.shortfalls && Object.keys(state.shortfalls).length) value.shortfalls = state.shortfalls
  return writeLocal(DRAFT_PREFIX + documentId, value)
}

export interface DraftLine {
  key: string
  required: number
}

/**
 * A draft written per product, for a document whose product may stand on
 * several lines: each product's count fills its lines in order up to what
 * they need, and what is left over stays on the first line — as scanning
 * would have counted it. Marks follow the counts line by line; a shortfall
 * entry goes to the first line that is still short. Products on one line
 * keep their entries as they are.
 */
export function spreadOverLines(draft: DraftCounts, linesOf: (assortmentId: string) => readonly DraftLine[] | undefined): DraftCounts {
  const out: DraftCounts = { checked: {}, marks: {} }
  const shortfalls: Record<string, ShortfallEntry> = {}
  const ids = new Set([...Object.keys(draft.checked), ...Object.keys(draft.marks), ...Object.keys(draft.shortfalls ?? {})])
  for (const id of ids) {
    const lines = linesOf(id) ?? []
    const total = draft.checked[id] ?? 0
    const codes = draft.marks[id] ?? []
    const entry = draft.shortfalls?.[id]
    if (lines.length <= 1) {
      if (total > 0) out.checked[id] = total
      if (codes.length) out.marks[id] = [...codes]
      if (entry) shortfalls[id] = { ...entry }
      continue
    }
    const counts = lines.map(() => 0)
    let left = total
    lines.forEach((l, i) => {
      const n = Math.min(Math.max(l.required, 0), left)
      counts[i] = n
      left -= n
    })
    counts[0]! += left
    let at = 0
    lines.forEach((l, i) => {
      const n = counts[i]!
      if (n > 0) out.checked[l.key] = n
      const share = i === lines.length - 1 ? codes.slice(at) : codes.slice(at, at + n)
      at += share.length
      if (share.length) out.marks[l.key] = share
    })
    // Codes beyond the counts (none in a sound draft) stay with the product's first line.
    if (at < codes.length) out.marks[lines[0]!.key] = [...(out.marks[lines[0]!.key] ?? []), ...codes.slice(at)]
    if (entry) {
      const short = lines.findIndex((l, i) => counts[i]! < l.required)
      shortfalls[lines[short < 0 ? 0 : short]!.key] = { ...entry }
    }
  }
  if (Object.keys(shortfalls).length) out.shortfalls = shortfalls
  return out
}

export function deleteDraft(documentId: string): void {
  removeLocal(DRAFT_PREFIX + documentId)
}

/** Removes every expired draft; answers how many went. */
export function purgeExpiredDrafts(now = Date.now()): number {
  let keys: string[] = []
  try {
    if (typeof localStorage === 'undefined') return 0
    for (let i = 0; i < localStorage.length; i++) {
      const k = localStorage.key(i)
      if (k?.startsWith(KEY_PREFIX + DRAFT_PREFIX)) keys.push(k)
    }
  } catch {
    keys = []
  }
  let removed = 0
  for (const k of keys) if (!readDraft(k.slice(KEY_PREFIX.length + DRAFT_PREFIX.length), now)) removed++
  return removed
}
