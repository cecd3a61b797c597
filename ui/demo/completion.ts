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
  // A result sent again after its answer was lost is the same completion: keep it once.
  const same = state.done.find(
    (d) => d.accountId === me.account.uid && d.documentId === documentId && JSON.stringify(d.items) === JSON.stringify(pending.items),
  )
  if (same) return role === 'checker' ? { accepted: true, stage: 'checked' } : role === 'collector' ? { accepted: true, stage: 'collected' } : { accepted: true }
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
  })
  const stage = role === 'checker' ? 'checked' : role === 'collector' ? 'collected' : undefined
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
