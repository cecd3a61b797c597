/**
 * What the server said about each completed document beyond accepting it
 * (stage, scenario run, marking withdrawal), kept for this run of the page
 * for the roles, scenario and marking screens.
 */
import { reactive } from 'vue'
import type { CompletionOutcome } from './completionPages'

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
