/**
 * Completion of a picked document: pages arrive in order, numbered from 1;
 * the backend keeps them and acts on the page marked `final`.
 */
import type { Payload } from '../core/envelope'
import type { Handler, MemoryBackend } from './backend'

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
  return stage ? { accepted: true, stage } : { accepted: true }
}

export const completionHandlers: Readonly<Record<string, Handler>> = { completeDocument }
