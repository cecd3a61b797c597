/**
 * Whether a document stands for an Ozon posting: the picking screen words its
 * refusals for postings and never edits their contents. Opening a posting is
 * announced, so the Ozon label can be fetched ahead.
 */
import { createHooks } from '../../core/hooks'
import type { DocumentRecord } from '../records'

// 6–14 digits, a dash, 4 digits, a dash and 1–2 digits, not inside a longer run of digits.
const POSTING_NUMBER = /(?<!\d)\d{6,14}-\d{4}-\d{1,2}(?!\d)/

export function isOzonPosting(doc: { source?: string; number?: string }, knownPosting = false): boolean {
  if (doc.source === 'ozon' || knownPosting) return true
  return POSTING_NUMBER.test(doc.number ?? '')
}

/** Run when the picking screen has opened an Ozon posting (its contents loaded). */
export const postingOpenedHooks = /*#__PURE__*/ createHooks<[DocumentRecord]>('отправление Ozon')
