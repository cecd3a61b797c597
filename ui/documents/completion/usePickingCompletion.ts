/** Completion bound to the picking screen: its counts, marks, timeline and draft. */
import type { Router } from 'vue-router'
import { useAccountStore } from '../../core/accountStore'
import { useAuthStore } from '../../core/authStore'
import { getOrCreateDeviceId } from '../../core/deviceId'
import { command, isDemoMode } from '../../core/session'
import { useSendQueueStore } from '../../core/sendQueueStore'
import { useSettingsStore } from '../../core/settings'
import { useSocketStore } from '../../core/socketStore'
import { markCompleted } from '../completedMarks'
import { feedback } from '../feedback/feedback'
import { deleteDraft } from '../picking/draft'
import { markIdentity } from '../picking/markingCode'
import type { PickingSession } from '../picking/pickingSession'
import type { DocumentRecord } from '../records'
import type { RoleDocument } from '../../roles/roleDocument'
import { createCompletion } from './completionController'
import type { SentCompletion } from './followUps'
import { persistQueue } from './durableQueue'
import { recordSentMarks } from './markHistory'

function withdrawFeatures(): { withdrawOnRetail: boolean; askPicker: boolean } {
  const features = (useAccountStore().description?.features ?? {}) as Record<string, unknown>
  return { withdrawOnRetail: features.czWithdrawRetail === true, askPicker: features.czWithdrawAsk === true }
}

export function usePickingCompletion(
  session: PickingSession,
  document: () => DocumentRecord,
  router: Router,
  leaving: () => void,
  roles: RoleDocument | null = null,
  followUp?: (sent: SentCompletion) => boolean,
) {
  const settings = useSettingsStore()
  const socket = useSocketStore()
  const queue = useSendQueueStore()
  const auth = useAuthStore()

  const allMarks = () => Object.values(session.marks).flat()

  return createCompletion(
    {
      document,
      items: () =>
        session.ordered.value.map((p) => ({
          positionId: p.assortmentId,
          quantity: p.checked,
          // A line never carries more codes than units: what goes out is what is withdrawn.
          marks: (session.marks[session.keyOf(p)] ?? []).slice(0, Math.max(0, Math.ceil(p.checked))),
          ...(roles?.on.value ? roles.itemFields(p) : {}),
        })),
      timeline: () => ({ ...session.timeline }),
      markIdentities: () => allMarks().map(markIdentity),
      withdrawContext: () => {
        const d = document()
        return {
          documentType: d.type,
          source: d.source,
          number: d.number,
          scannedMarks: allMarks().length,
          refusedReasons: Object.values(session.snapshot().refusedMarks),
          ...withdrawFeatures(),
        }
      },
      completed: (answer) => {
        roles?.completed(answer.stage)
        const d = document()
        recordSentMarks(allMarks().map(markIdentity))
        deleteDraft(d.id)
        leaving()
      },
      queued: () => {
        roles?.completed(undefined)
        leaving()
      },
      reviewLines: () =>
        session.ordered.value.map((p) => {
          const key = session.keyOf(p)
          return { key, name: p.name, counted: p.checked, required: p.required, marks: session.marks[key]?.length ?? 0, markable: p.markable === true }
        }),
      removeExcess: () => session.removeExcess(),
      roles: roles
        ? {
            role: () => (roles.on.value ? roles.role.value : null),
            needed: () => roles.finish.needed(),
            open: () => roles.finish.open(),
            submit: () => roles.finish.submit(),
            by: () => roles.self(),
          }
        : undefined,
    },
    {
      canAsk: () => socket.isConnected || isDemoMode(),
      offline: () => !socket.isConnected && !isDemoMode(),
      // Completion pages are never left in the client's buffer: offline, the document goes to the send queue at once.
      command: (name, payload, timeoutMs) => command(name, payload, timeoutMs, undefined, { connectedOnly: name === 'completeDocument' }),
      // "Saved on the device" only once the queue's copy on disk holds it.
      enqueue: async (entry) => queue.enqueue(entry) && (await persistQueue()),
      markCompletedHere: (d) =>
        markCompleted(d.id, {
          at: Date.now(),
          by: auth.workerSession?.workerName ?? '',
          doc: { type: d.type, number: d.number, counterparty: d.counterparty, date: d.date, moment: d.moment, positions: d.products.length },
          ...(roles?.on.value ? { role: roles.role.value } : {}),
        }),
      confirmOnComplete: () => settings.work.confirmOnComplete,
      flushQueued: async (documentId) => {
        await queue.flush()
        return queue.entries.some((e) => e.documentId === documentId)
      },
      success: () => void feedback.playSuccess(),
      failure: () => {
        void feedback.playError()
        void feedback.notifyError()
      },
      backToList: () => void router.push({ path: '/documents', query: { type: document().type } }),
      followUp,
      deviceId: getOrCreateDeviceId,
    },
  )
}
