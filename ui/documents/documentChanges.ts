/**
 * `documentChanged.push`: a document was marked checked (or returned to work)
 * in MoySklad. The status follows at once; a document returned to work loses
 * its completed-here mark; screens react to `lastRemoteChange`.
 */
import type { Payload } from '../core/envelope'
import { onPush } from '../core/session'
import { unmarkCompleted } from './completedMarks'
import { useDocumentStore, type RemoteChange } from './documentStore'
import type { DocumentRecord } from './records'

const text = (v: unknown) => (typeof v === 'string' ? v : '')

export function applyDocumentChanged(p: Payload, now = Date.now()): RemoteChange | undefined {
  const documentId = text(p.documentId)
  if (!documentId) return undefined
  const checkState = text(p.checkState)
  if (checkState !== 'checked') unmarkCompleted(documentId)
  const status = checkState === 'checked' ? 'completed' : 'pending'
  const store = useDocumentStore()
  const follow = (d: DocumentRecord) => {
    d.status = status
    // With roles the stage follows too: checked is done, anything else is back to new.
    if (d.stage !== undefined) d.stage = checkState === 'checked' ? 'checked' : 'new'
  }
  for (const d of store.documents) if (d.id === documentId) follow(d)
  if (store.currentDocument?.id === documentId) follow(store.currentDocument)
  const change: RemoteChange = { documentId, type: text(p.type) || text(p.msType), checkState, at: now }
  store.setLastRemoteChange(change)
  return change
}

/** Listens on this channel and every later one; returns the removal. */
export function listenDocumentChanges(): () => void {
  return onPush('documentChanged.push', (p) => applyDocumentChanged(p))
}
