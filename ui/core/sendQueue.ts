/**
 * The send queue: completed documents that could not be delivered, kept in
 * "zv_send_queue" (one entry per document) until they are sent. Entries older
 * than 30 days are dropped whenever the queue is read.
 */
import { DAY_MS, readLocal, writeLocal } from './localStore'
import { RefusalError } from './requests'

export const SEND_QUEUE_KEY = 'zv_send_queue'
export const QUEUE_MAX_AGE_MS = 30 * DAY_MS
export const QUEUE_SAVE_FAILED = '[sendQueue] не удалось сохранить очередь:'

/** Refusals the picker can act on: such an entry is never retried. */
export const KNOWN_REFUSAL_CODES: ReadonlySet<string> = new Set([
  'taken',
  'wrong-stage',
  'own-document',
  'forbidden',
  'start-required',
  'boxes-required',
  'reason-required',
  'role-not-assigned',
  'answers-invalid',
])

export interface QueuedCompletion {
  /** "<documentId>-<ms>" */
  id: string
  documentId: string
  documentType: string
  documentNumber: string
  /** completion lines exactly as `completeDocument` sends them */
  items: unknown[]
  timeline: Record<string, unknown>
  withdraw?: boolean
  role?: 'collector' | 'checker'
  boxes?: number
  answers?: Record<string, unknown>
  /** one finished result: a resend of it carries the same id, so the server keeps it once */
  completionId?: string
  /** the device that finished it (with `completionId`, what tells a resend from a new result) */
  deviceId?: string
  /** the employee who finished it in a role (the checker of a check) */
  by?: { id: string; name: string }
  /** "<gtin>:<serial>" of the marks sent */
  markIdentities: string[]
  queuedAt: number
  attempts: number
  lastError?: string
  /** refused with a known code; never retried */
  refused?: boolean
}

export type NewQueuedCompletion = Omit<QueuedCompletion, 'id' | 'queuedAt' | 'attempts' | 'lastError' | 'refused'>

function normalise(raw: unknown): QueuedCompletion | undefined {
  if (typeof raw !== 'object' || raw === null) return undefined
  const e = raw as Record<string, unknown>
  if (typeof e.id !== 'string' || typeof e.documentId !== 'string' || e.documentId === '' || typeof e.queuedAt !== 'number')
    return undefined
  const out: QueuedCompletion = {
    id: e.id,
    documentId: e.documentId,
    documentType: typeof e.documentType === 'string' ? e.documentType : '',
    documentNumber: typeof e.documentNumber === 'string' ? e.documentNumber : '',
    items: Array.isArray(e.items) ? e.items : [],
    timeline: typeof e.timeline === 'object' && e.timeline !== null ? (e.timeline as Record<string, unknown>) : {},
    markIdentities: Array.isArray(e.markIdentities) ? e.markIdentities.filter((m): m is string => typeof m === 'string') : [],
    queuedAt: e.queuedAt,
    attempts: typeof e.attempts === 'number' ? e.attempts : 0,
  }
  if (typeof e.withdraw === 'boolean') out.withdraw = e.withdraw
  if (e.role === 'collector' || e.role === 'checker') out.role = e.role
  if (typeof e.boxes === 'number') out.boxes = e.boxes
  if (typeof e.answers === 'object' && e.answers !== null) out.answers = e.answers as Record<string, unknown>
  if (typeof e.completionId === 'string' && e.completionId) out.completionId = e.completionId
  if (typeof e.deviceId === 'string' && e.deviceId) out.deviceId = e.deviceId
  if (typeof e.by === 'object' && e.by !== null) {
    const by = e.by as Record<string, unknown>
    out.by = { id: typeof by.id === 'string' ? by.id : '', name: typeof by.name === 'string' ? by.name : '' }
  }
  if (typeof e.lastError === 'string') out.lastError = e.lastError
  if (e.refused === true) out.refused = true
  return out
}

/** The queue in order; expired and unreadable entries are dropped (and the drop is written back). */
export function readQueue(now = Date.now()): QueuedCompletion[] {
  const raw = readLocal<unknown>(SEND_QUEUE_KEY)
  if (!Array.isArray(raw)) return []
  const entries = raw.map(normalise).filter((e): e is QueuedCompletion => e !== undefined)
  const fresh = entries.filter((e) => now - e.queuedAt <= QUEUE_MAX_AGE_MS)
  if (fresh.length !== raw.length) writeLocal(SEND_QUEUE_KEY, fresh)
  return fresh
}

function save(entries: QueuedCompletion[]): boolean {
  if (writeLocal(SEND_QUEUE_KEY, entries)) return true
  console.warn(QUEUE_SAVE_FAILED, 'хранилище переполнено или недоступно')
  return false
}

/** Puts a completion into the queue, replacing the document's earlier entry; false when it could not be stored. */
export function enqueueCompletion(entry: NewQueuedCompletion, now = Date.now()): boolean {
  const rest = readQueue(now).filter((e) => e.documentId !== entry.documentId)
  return save([...rest, { ...entry, id: `${entry.documentId}-${now}`, queuedAt: now, attempts: 0 }])
}

export function removeQueued(id: string, now = Date.now()): boolean {
  return save(readQueue(now).filter((e) => e.id !== id))
}

export function clearQueue(): boolean {
  return save([])
}

function update(id: string, patch: Partial<QueuedCompletion>, now: number): void {
  save(readQueue(now).map((e) => (e.id === id ? { ...e, ...patch } : e)))
}

export interface FlushResult {
  sent: number
  failed: number
}

export interface FlushDeps {
  /** sends one entry with `completeDocument`; resolves what the server answered */
  send(entry: QueuedCompletion): Promise<unknown>
  /** after a successful send: withdrawal outcome, mark history, scan state */
  onSent?(entry: QueuedCompletion, answer: unknown): void
  now?: () => number
}

let flushing = false

/**
 * Sends the queue in order. A refusal with a known code marks the entry and
 * goes on; any other failure counts an attempt and stops, so later entries
 * keep their order. Only one flush runs at a time.
 */
export async function flushQueue(deps: FlushDeps): Promise<FlushResult> {
  if (flushing) return { sent: 0, failed: 0 }
  flushing = true
  const now = deps.now ?? (() => Date.now())
  let sent = 0
  let failed = 0
  try {
    for (const entry of readQueue(now())) {
      if (entry.refused) continue
      let answer: unknown
      try {
        answer = await deps.send(entry)
      } catch (err) {
        failed += 1
        const message = err instanceof Error ? err.message : String(err)
        if (err instanceof RefusalError && err.info.code !== undefined && KNOWN_REFUSAL_CODES.has(err.info.code)) {
          update(entry.id, { refused: true, lastError: err.info.message ?? message }, now())
          continue
        }
        update(entry.id, { attempts: entry.attempts + 1, lastError: message }, now())
        break
      }
      removeQueued(entry.id, now())
      sent += 1
      try {
        deps.onSent?.(entry, answer)
      } catch (err) {
        console.error('[sendQueue] после отправки:', err)
      }
    }
  } finally {
    flushing = false
  }
  return { sent, failed }
}

export function isFlushing(): boolean {
  return flushing
}
