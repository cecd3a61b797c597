/**
 * Completion of a picked document: pages arrive in order, numbered from 1;
 * the backend keeps them and acts on the page marked `final`.
 */
import type { Payload } from '../core/envelope'
import type { Handler, MemoryBackend } from './backend'
import { withdrawalAfterCompletion } from './withdrawal'

export interface CompletedDocument {
  accountId: string
  documentId: string
  type: string
  items: unknown[]
  timeline: unknown
  withdraw?: boolean
  role?: string
  boxes?: number
  answers?: unknown
  completedAt: number
  userId: string
  /** the result's own id and the device that sent it: a resend carries both again */
  completionId?: string
  deviceId?: string
  /** who finished it in a role, as the device said */
  by?: { id: string; name: string }
}

interface Pending {
  nextPage: number
  items: unknown[]
}

interface CompletionState {
  pending: Map<string, Pending>
  done: CompletedDocument[]
}

export function completionState(b: MemoryBackend): CompletionState {
  let s = b.state.get('completion') as CompletionState | undefined
  if (!s) {
    s = { pending: new Map(), done: [] }
    b.state.set('completion', s)
  }
  return s
}

const completeDocument: Handler = ({ backend, conn, now }, p: Payload) => {
  const me = backend.signedIn(conn)
  if (!me) return { accepted: false, error: 'session not authorized' }
  const documentId = typeof p.documentId === 'string' ? p.documentId : ''
  const page = typeof p.page === 'number' && Number.isInteger(p.page) ? p.page : 0
  if (!documentId || page < 1 || !Array.isArray(p.items))
    return { accepted: false, error: 'documentId, page and items are required' }
  const state = completionState(backend)
  const key = `${me.account.uid}:${documentId}`
  if (page === 1) state.pending.set(key, { nextPage: 1, items: [] })
  const pending = state.pending.get(key)
  if (!pending || page !== pending.nextPage)
    return { accepted: false, error: `page ${page} out of order, expected ${pending?.nextPage ?? 1}` }
  pending.items.push(...p.items)
  pending.nextPage += 1
  if (p.final !== true) return { accepted: true }
  state.pending.delete(key)
  const role = typeof p.role === 'string' ? p.role : undefined
  const completionId = typeof p.completionId === 'string' && p.completionId ? p.completionId : undefined
  const deviceId = typeof p.deviceId === 'string' && p.deviceId ? p.deviceId : undefined
  const stage = role === 'checker' ? 'checked' : role === 'collector' ? 'collected' : undefined
  // A result sent again after its answer was lost is the same completion: kept once.
  const same = state.done.find((d) => d.accountId === me.account.uid && d.documentId === documentId && isResend(d, { completionId, deviceId, role, userId: me.user.userId, items: pending.items }))
  if (same) return { accepted: true, ...(stage ? { stage } : {}) }
  state.done.push({
    accountId: me.account.uid,
    documentId,
    type: typeof p.type === 'string' ? p.type : '',
    items: pending.items,
    timeline: p.timeline ?? null,
    withdraw: typeof p.withdraw === 'boolean' ? p.withdraw : undefined,
    role,
    boxes: typeof p.boxes === 'number' ? p.boxes : undefined,
    answers: p.answers,
    completedAt: now,
    userId: me.user.userId,
    ...(completionId ? { completionId } : {}),
    ...(deviceId ? { deviceId } : {}),
    ...(byOf(p.by) ? { by: byOf(p.by) } : {}),
  })
  const withdrawal = withdrawalAfterCompletion(backend, {
    accountId: me.account.uid,
    userId: me.user.userId,
    documentId,
    type: typeof p.type === 'string' ? p.type : '',
    items: pending.items,
    withdraw: typeof p.withdraw === 'boolean' ? p.withdraw : undefined,
    features: me.account.features,
  })
  return { accepted: true, ...(stage ? { stage } : {}), ...withdrawal }
}

function byOf(v: unknown): { id: string; name: string } | undefined {
  if (typeof v !== 'object' || v === null) return undefined
  const o = v as Record<string, unknown>
  const id = typeof o.id === 'string' ? o.id : ''
  const name = typeof o.name === 'string' ? o.name : ''
  return id || name ? { id, name } : undefined
}

interface Incoming {
  completionId?: string
  deviceId?: string
  role?: string
  userId: string
  items: unknown[]
}

/**
 * A resend of a result already kept: the same device and the same completion
 * id. A result without an id (an older client) is a resend only when the same
 * employee sent the same items in the same role — a checker who agrees with
 * the collector sends the same counts, and that is the next stage, not a copy.
 */
export function isResend(done: Pick<CompletedDocument, 'completionId' | 'deviceId' | 'role' | 'userId' | 'items'>, c: Incoming): boolean {
  if (c.completionId || done.completionId) return c.completionId === done.completionId && c.deviceId === done.deviceId
  return done.userId === c.userId && done.role === c.role && JSON.stringify(done.items) === JSON.stringify(c.items)
}

/** The final page of a result already kept (a resend): answered as before whatever the stage is now. */
export function keptResult(b: MemoryBackend, accountId: string, userId: string, p: Payload): boolean {
  const documentId = typeof p.documentId === 'string' ? p.documentId : ''
  const completionId = typeof p.completionId === 'string' && p.completionId ? p.completionId : undefined
  const deviceId = typeof p.deviceId === 'string' && p.deviceId ? p.deviceId : undefined
  const role = typeof p.role === 'string' ? p.role : undefined
  const pending = completionState(b).pending.get(`${accountId}:${documentId}`)
  const before = p.page === 1 ? [] : (pending?.items ?? [])
  const items = [...before, ...(Array.isArray(p.items) ? p.items : [])]
  return completionState(b).done.some(
    (d) => d.accountId === accountId && d.documentId === documentId && isResend(d, { completionId, deviceId, role, userId, items }),
  )
}

/** Completion questions: none unless a document was given some (demo documents, tests). */
const finishQuestions: Handler = ({ backend, conn }, p: Payload) => {
  if (!backend.signedIn(conn)) return { error: 'session not authorized', errorCode: 'forbidden' }
  const documentId = typeof p.documentId === 'string' ? p.documentId : ''
  const questions = (backend.state.get('finishQuestions') as Map<string, unknown[]> | undefined)?.get(documentId) ?? []
  return { questions }
}

/** Gives a document completion questions (demo data and tests). */
export function setFinishQuestions(b: MemoryBackend, documentId: string, questions: unknown[]): void {
  let map = b.state.get('finishQuestions') as Map<string, unknown[]> | undefined
  if (!map) {
    map = new Map()
    b.state.set('finishQuestions', map)
  }
  map.set(documentId, questions)
}

export const completionHandlers: Readonly<Record<string, Handler>> = { completeDocument, finishQuestions }
