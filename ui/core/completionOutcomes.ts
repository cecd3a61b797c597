/**
 * What the server said about each completed document beyond accepting it
 * (stage, scenario run, marking withdrawal), kept for this run of the page
 * for the roles, scenario and marking screens.
 */
import { reactive } from 'vue'
import type { CompletionOutcome } from './completionPages'
import { createHooks } from './hooks'
import type { NewQueuedCompletion } from './sendQueue'

/** A document this device completed: sent now (with the server's outcome), or put into the send queue. */
export interface DocumentCompleted {
  entry: Pick<NewQueuedCompletion, 'documentId' | 'documentType' | 'documentNumber' | 'markIdentities' | 'withdraw'>
  sent: boolean
  outcome?: CompletionOutcome
}

/** Run for every completion made here, and again when a queued one goes out (the marking records listen). */
export const documentCompletedHooks = /*#__PURE__*/ createHooks<[DocumentCompleted]>('завершение документа')

const outcomes = reactive(new Map<string, CompletionOutcome>())

export function keepCompletionOutcome(documentId: string, outcome: CompletionOutcome): void {
  outcomes.set(documentId, { ...outcome })
}

export function completionOutcomeOf(documentId: string): CompletionOutcome | undefined {
  return outcomes.get(documentId)
}

export function forgetCompletionOutcomes(): void {
  outcomes.clear()
}
