/**
 * What may follow a sent completion on the document screen before it returns
 * to the list (a scenario run, for one). Other parts add theirs at install;
 * the first that wants the sent completion takes the screen, and it leaves
 * for the list when that part is done.
 */
import type { Component } from 'vue'
import type { CompletionOutcome } from '../../core/completionPages'

export interface SentCompletion {
  documentId: string
  documentType: string
  outcome: CompletionOutcome
}

export interface CompletionFollowUp {
  /** whether there is something to show for this completion */
  wants(sent: SentCompletion): boolean
  /** shown with the prop `sent`; emits `leave` when the screen may return to the list */
  component: Component
}

const followUps: CompletionFollowUp[] = []

export function addCompletionFollowUp(f: CompletionFollowUp): () => void {
  followUps.push(f)
  return () => {
    const i = followUps.indexOf(f)
    if (i >= 0) followUps.splice(i, 1)
  }
}

export function followUpFor(sent: SentCompletion): CompletionFollowUp | undefined {
  return followUps.find((f) => f.wants(sent))
}
