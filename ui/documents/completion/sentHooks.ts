/**
 * A queued completion delivered later: its marks go to the history and its
 * draft is dropped; the queue's copy on disk follows. The copy itself starts
 * with the documents, before the first connection.
 */
import { queueSentHooks } from '../../core/sendQueueStore'
import { deleteDraft } from '../picking/draft'
import { persistQueue, startDurableQueue } from './durableQueue'
import { recordSentMarks } from './markHistory'

export function startQueuedCompletions(): () => void {
  startDurableQueue()
  return queueSentHooks.add((entry) => {
    recordSentMarks(entry.markIdentities)
    deleteDraft(entry.documentId)
    void persistQueue()
  })
}
