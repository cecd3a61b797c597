/**
 * The picking screen's view of document contents: the device cache and the
 * contents request of the document list, behind the small interface the
 * session is built on (tests give it their own).
 */
import { readCachedContents } from '../dataCache'
import { EmptyAnswerError, fetchDocumentProducts, IncompleteContentsError } from '../documentRequests'
import type { ContentsSource } from './contentsLoading'

export function deviceContentsSource(): ContentsSource {
  return {
    cached(documentId) {
      const entry = readCachedContents(documentId)
      if (!entry) return null
      // The cache keeps positions as the server sent them; counting starts at zero.
      return { positions: entry.data.map((p) => ({ ...p, checked: 0, status: 'pending' as const })), cachedAt: entry.cachedAt }
    },
    fetch: (documentId, type) => fetchDocumentProducts(documentId, type),
    failureText: (err) => (err instanceof EmptyAnswerError || err instanceof IncompleteContentsError ? err.message : null),
  }
}
