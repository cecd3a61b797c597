/** A queued completion delivered later: its marks go to the history and its draft is dropped. */
import { queueSentHooks } from '../../core/sendQueueStore'
import { deleteDraft } from '../picking/draft'
import { recordSentMarks } from './markHistory'

queueSentHooks.add((entry) => {
  recordSentMarks(entry.markIdentities)
  deleteDraft(entry.documentId)
})
