/**
 * The two local records about withdrawal: the outcome of the last completed
 * document ("zv_withdraw_outcome") and the server's last notice
 * ("zv_withdraw_notice"). Each keeps only the latest entry.
 */
import type { CompletionOutcome } from '../core/completionPages'
import { readLocal, writeLocal } from '../core/localStore'
import type { WithdrawNotice, WithdrawOutcome } from './withdrawTexts'

export const OUTCOME_KEY = 'zv_withdraw_outcome'
export const NOTICE_KEY = 'zv_withdraw_notice'

export interface CompletedDocument {
  documentId: string
  number: string
  type: string
  /** marks sent with it */
  marks: number
  /** the picker's answer to the withdrawal question, when asked */
  answer?: boolean
  /** false while it waits in the send queue */
  sent: boolean
  outcome?: CompletionOutcome
}

/** The record a completion leaves: its details, and what the server said about withdrawal. */
export function outcomeRecord(c: CompletedDocument, at: number): WithdrawOutcome {
  const queued = c.outcome?.withdrawQueued
  const note = c.outcome?.withdrawNote
  const record: WithdrawOutcome = { at, number: c.number, type: c.type, marks: c.marks, sent: c.sent }
  if (c.answer !== undefined) record.answer = c.answer
  if (queued !== undefined) record.queued = queued
  if (note) record.note = note
  return record
}

export function keepOutcome(c: CompletedDocument, at = Date.now()): void {
  writeLocal(OUTCOME_KEY, outcomeRecord(c, at))
}

export function lastOutcome(): WithdrawOutcome | undefined {
  const v = readLocal<WithdrawOutcome>(OUTCOME_KEY)
  return v && typeof v === 'object' && typeof v.number === 'string' ? v : undefined
}

export function keepNotice(n: WithdrawNotice): void {
  writeLocal(NOTICE_KEY, n)
}

export function lastNotice(): WithdrawNotice | undefined {
  const v = readLocal<WithdrawNotice>(NOTICE_KEY)
  return v && typeof v === 'object' && typeof v.state === 'string' ? v : undefined
}
