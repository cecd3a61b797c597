/**
 * Drafts of documents the automatic release took from this device
 * ("zv_auto_released": document id → time). Such a draft stays, so a picker
 * coming back after a long pause finds his counts; it goes once another
 * employee has started the document.
 */
import { readLocal, writeLocal } from '../core/localStore'
import { DRAFT_MAX_AGE_MS } from '../documents/picking/draft'
import type { DocumentRecord } from '../documents/records'
import { ownDocument } from './access'
import { documentStage } from './stages'

export const AUTO_RELEASED_KEY = 'zv_auto_released'

function read(now: number): Record<string, number> {
  const raw = readLocal<unknown>(AUTO_RELEASED_KEY)
  const out: Record<string, number> = {}
  if (typeof raw === 'object' && raw !== null && !Array.isArray(raw))
    for (const [id, at] of Object.entries(raw)) if (typeof at === 'number' && now - at <= DRAFT_MAX_AGE_MS) out[id] = at
  return out
}

export function rememberAutoRelease(documentId: string, now = Date.now()): void {
  writeLocal(AUTO_RELEASED_KEY, { ...read(now), [documentId]: now })
}

export function autoReleased(documentId: string, now = Date.now()): boolean {
  return documentId in read(now)
}

/**
 * Looks at the documents the server lists: a draft kept after an automatic
 * release is dropped once someone else collects the document, or anyone has
 * collected or checked it; when this employee has started it again, the
 * draft is his and the entry goes.
 */
export function settleReleasedDrafts(
  docs: ReadonlyArray<Pick<DocumentRecord, 'id' | 'stage' | 'status' | 'collector'>>,
  selfId: string,
  dropDraft: (documentId: string) => void,
  now = Date.now(),
): string[] {
  const entries = read(now)
  const ids = Object.keys(entries)
  if (ids.length === 0) return []
  const dropped: string[] = []
  let changed = false
  for (const doc of docs) {
    if (!(doc.id in entries) || doc.stage === undefined) continue
    const stage = documentStage(doc)
    if (stage === 'new') continue
    const own = ownDocument(doc, selfId)
    // Collected or checked by anyone (this employee on another device too): the old counts are history.
    const done = stage === 'collected' || stage === 'checked'
    if (own === false || done) {
      dropDraft(doc.id)
      dropped.push(doc.id)
    }
    if (own !== null || done) {
      delete entries[doc.id]
      changed = true
    }
  }
  if (changed) writeLocal(AUTO_RELEASED_KEY, entries)
  return dropped
}

/**
 * The server says the document was completed or returned to work
 * (`documentChanged.push`), by whomever: a draft kept after an automatic
 * release no longer describes it and goes.
 */
export function dropReleasedDraft(documentId: string, dropDraft: (documentId: string) => void, now = Date.now()): boolean {
  const entries = read(now)
  if (!(documentId in entries)) return false
  dropDraft(documentId)
  delete entries[documentId]
  writeLocal(AUTO_RELEASED_KEY, entries)
  return true
}
