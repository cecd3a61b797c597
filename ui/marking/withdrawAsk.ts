/**
 * The app's one set of withdrawal questions: listening while the channel is
 * connected, answering through the channel, and the records the settings
 * rows read.
 */
import { writeAppLog } from '../core/appLog'
import { documentCompletedHooks } from '../core/completionOutcomes'
import { onPush, request } from '../core/session'
import { readCompletedMarks } from '../documents/completedMarks'
import { CONFIRM_TIMEOUT_MS, createWithdrawQuestions, type WithdrawQuestions } from './withdrawQuestions'
import { keepNotice, keepOutcome } from './withdrawRecords'

let questions: WithdrawQuestions | null = null

/** The number of a document completed on this device. */
function completedNumber(documentId: string): string | undefined {
  return readCompletedMarks()[documentId]?.doc?.number || undefined
}

export function withdrawQuestions(): WithdrawQuestions {
  questions ??= createWithdrawQuestions({
    confirm: (p) => request('czWithdrawConfirm', p, { timeoutMs: CONFIRM_TIMEOUT_MS }),
    keepNotice,
    numberOf: completedNumber,
    log: (line) => {
      console.info(line)
      writeAppLog(line)
    },
  })
  return questions
}

/** Starts the listeners (they hold on every later connection) and the outcome record of completions. */
export function startWithdrawal(): void {
  const q = withdrawQuestions()
  onPush('czWithdrawAsk.push', (p) => q.onAsk(p))
  onPush('czWithdrawNotice.push', (p) => q.onNotice(p))
  documentCompletedHooks.add(({ entry, sent, outcome }) => {
    const c = {
      documentId: entry.documentId,
      number: entry.documentNumber,
      type: entry.documentType,
      marks: entry.markIdentities.length,
      sent,
      ...(entry.withdraw !== undefined ? { answer: entry.withdraw } : {}),
      ...(outcome ? { outcome } : {}),
    }
    keepOutcome(c)
  })
}
