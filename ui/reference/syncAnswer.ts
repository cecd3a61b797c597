/**
 * The product records of the reference copy and the `assortmentSync` answer,
 * normalised once where they come off the channel: records without an id are
 * dropped, absent texts become "", barcodes are the non-empty trimmed texts.
 */
import type { Payload } from '../core/envelope'

/** A product as the server sends it. */
export interface AssortmentRecord {
  assortmentId: string
  name: string
  code: string
  article: string
  barcodes: string[]
  markable: boolean
  /** the server's change time, as text */
  updatedAt: string
}

/** A product as the copy keeps it: stamped with the start time (ms) of the run that last wrote it. */
export interface AssortmentItem extends AssortmentRecord {
  syncedAt: number
}

export interface SyncAnswer {
  items: AssortmentRecord[]
  deleted: string[]
  cursor?: string
  serverTime?: string
  error?: string
  errorCode?: string
  retryAfterSec?: number
  message?: string
}

const text = (v: unknown): string => (typeof v === 'string' ? v.trim() : typeof v === 'number' && Number.isFinite(v) ? String(v) : '')

export function normaliseRecord(raw: unknown): AssortmentRecord | null {
  if (typeof raw !== 'object' || raw === null) return null
  const r = raw as Payload
  const assortmentId = text(r.assortmentId)
  if (!assortmentId) return null
  const barcodes = Array.isArray(r.barcodes) ? [...new Set(r.barcodes.map(text).filter((b) => b !== ''))] : []
  return {
    assortmentId,
    name: typeof r.name === 'string' ? r.name : '',
    code: text(r.code),
    article: text(r.article),
    barcodes,
    markable: r.markable === true,
    updatedAt: text(r.updatedAt),
  }
}

/** The products of a page as they came, for normalising a slice at a time. */
export function rawItems(p: Payload): readonly unknown[] {
  return Array.isArray(p.items) ? p.items : []
}

/** Normalises raw products onto `into`, stamped with the run that writes them. */
export function normaliseItems(raw: readonly unknown[], syncedAt: number, into: AssortmentItem[]): void {
  for (const r of raw) {
    const item = normaliseRecord(r)
    if (item) into.push({ ...item, syncedAt })
  }
}

/** The answer of one `assortmentSync` page. An `error` of `true` counts as an error without a text. */
export function normaliseSyncAnswer(p: Payload): SyncAnswer {
  const answer = normaliseSyncHead(p)
  for (const raw of rawItems(p)) {
    const r = normaliseRecord(raw)
    if (r) answer.items.push(r)
  }
  return answer
}

/** Everything of a page's answer but its products (`items` left empty). */
export function normaliseSyncHead(p: Payload): SyncAnswer {
  const items: AssortmentRecord[] = []
  const deleted = Array.isArray(p.deleted) ? p.deleted.map(text).filter((id) => id !== '') : []
  const answer: SyncAnswer = { items, deleted }
  const cursor = text(p.cursor)
  if (cursor) answer.cursor = cursor
  const serverTime = text(p.serverTime)
  if (serverTime) answer.serverTime = serverTime
  if (typeof p.error === 'string' && p.error.trim()) answer.error = p.error.trim()
  else if (p.error === true) answer.error = ''
  const errorCode = text(p.errorCode)
  if (errorCode) answer.errorCode = errorCode
  if (typeof p.retryAfterSec === 'number' && Number.isFinite(p.retryAfterSec)) answer.retryAfterSec = p.retryAfterSec
  if (typeof p.message === 'string' && p.message.trim()) answer.message = p.message.trim()
  return answer
}
