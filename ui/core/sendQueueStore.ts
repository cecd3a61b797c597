/** The "sendQueue" holder: the queue for the queue screen and the flush that sends it. */
import { defineStore } from 'pinia'
import { ref } from 'vue'
import { documentCompletedHooks, keepCompletionOutcome } from './completionOutcomes'
import type { Payload } from './envelope'
import { COMPLETION_PAGE_TIMEOUT_MS, completionOutcome, sendCompletion } from './completionPages'
import {
  clearQueue,
  enqueueCompletion,
  flushQueue,
  isFlushing,
  readQueue,
  removeQueued,
  type FlushResult,
  type NewQueuedCompletion,
  type QueuedCompletion,
} from './sendQueue'
import { createHooks } from './hooks'
import { command, onChannelConnected, socketLogin } from './session'

/** Run after an entry was delivered: withdrawal outcome, mark history, scan state (their parts register here). */
export const queueSentHooks = createHooks<[QueuedCompletion, unknown]>('очередь отправки')

export const useSendQueueStore = defineStore('sendQueue', () => {
  const entries = ref<QueuedCompletion[]>(readQueue())
  const busy = ref(false)

  function refresh() {
    entries.value = readQueue()
  }

  /** false when the queue could not be stored (the document stays unsent). */
  function enqueue(entry: NewQueuedCompletion): boolean {
    const ok = enqueueCompletion(entry)
    refresh()
    return ok
  }

  async function flush(options: { pageTimeoutMs?: number } = {}): Promise<FlushResult> {
    busy.value = true
    try {
      return await flushQueue({
        send: (entry) =>
          sendCompletion(entry, (page) =>
            command('completeDocument', page, options.pageTimeoutMs ?? COMPLETION_PAGE_TIMEOUT_MS, undefined, { connectedOnly: true }),
          ),
        onSent: (entry, answer) => {
          const outcome = typeof answer === 'object' && answer !== null ? completionOutcome([answer as Payload]) : undefined
          if (outcome) keepCompletionOutcome(entry.documentId, outcome)
          queueSentHooks.run(entry, answer)
          documentCompletedHooks.run({ entry, sent: true, outcome })
        },
      })
    } finally {
      busy.value = isFlushing()
      refresh()
    }
  }

  function remove(id: string) {
    removeQueued(id)
    refresh()
  }

  function clear() {
    clearQueue()
    refresh()
  }

  return { entries, busy, refresh, enqueue, flush, remove, clear }
})

/** Sends what waits in the queue on every connection of a signed-in device or account. */
export function flushQueueOnConnect(): () => void {
  return onChannelConnected(() => {
    void (async () => {
      const queue = useSendQueueStore()
      queue.refresh()
      if (queue.entries.length === 0 || socketLogin() === 'anon') return
      console.info(`[app] связь есть, в очереди документов: ${queue.entries.length}`)
      const { sent, failed } = await queue.flush()
      console.info(`[app] отправлено из очереди: ${sent}, осталось с ошибкой: ${failed}`)
    })()
  })
}
