/**
 * The server's withdrawal questions (`czWithdrawAsk.push`), one dialog at a
 * time. Questions wait in a queue by `taskId`, so a second retail document
 * finished while the first question is open gets its own question after it
 * rather than replacing it (which would leave the first sale's codes in
 * circulation). A notice for a task (`czWithdrawNotice.push`) closes its
 * question wherever it waits.
 */
import { reactive } from 'vue'
import type { Payload } from '../core/envelope'
import { answerText, WITHDRAW_TEXTS, type ToneText, type WithdrawNotice } from './withdrawTexts'

export const CONFIRM_TIMEOUT_MS = 15_000

export interface WithdrawAsk {
  taskId: string
  documentId?: string
  title: string
  text: string
}

export interface WithdrawQuestionsDeps {
  /** `czWithdrawConfirm` (15 s); rejects when the request fails */
  confirm(payload: Payload): Promise<Payload>
  /** keeps the notice ("zv_withdraw_notice") */
  keepNotice(n: WithdrawNotice): void
  /** the number of a document completed on this device */
  numberOf(documentId: string): string | undefined
  now?: () => number
  log?: (line: string) => void
}

export interface WithdrawQuestionsState {
  queue: WithdrawAsk[]
  /** an answer is on its way */
  busy: boolean
  /** the note under the open question (a refusal or a failed send), or the closing note of the last answer */
  note: ToneText | null
}

const str = (v: unknown): string | undefined => (typeof v === 'string' && v.trim() !== '' ? v.trim() : undefined)

export function createWithdrawQuestions(deps: WithdrawQuestionsDeps) {
  const log = deps.log ?? ((line: string) => console.info(line))
  const now = deps.now ?? (() => Date.now())
  const state = reactive<WithdrawQuestionsState>({ queue: [], busy: false, note: null })

  function onAsk(p: Payload): void {
    const taskId = str(p.taskId)
    if (!taskId) {
      log(WITHDRAW_TEXTS.noTask)
      return
    }
    const ask: WithdrawAsk = { taskId, title: str(p.question) ?? WITHDRAW_TEXTS.askTitle, text: str(p.message) ?? WITHDRAW_TEXTS.askText }
    const documentId = str(p.documentId)
    if (documentId) ask.documentId = documentId
    const at = state.queue.findIndex((q) => q.taskId === taskId)
    // The same task asked again (a repeat after a reconnection) updates its question in place.
    if (at >= 0) state.queue.splice(at, 1, ask)
    else state.queue.push(ask)
    if (state.queue.length === 1) state.note = null
  }

  function onNotice(p: Payload): void {
    const notice: WithdrawNotice = { state: str(p.state) ?? '', at: now() }
    const taskId = str(p.taskId)
    const documentId = str(p.documentId)
    const message = str(p.message)
    if (taskId) notice.taskId = taskId
    if (documentId) {
      notice.documentId = documentId
      const number = deps.numberOf(documentId)
      if (number) notice.number = number
    }
    if (message) notice.message = message
    deps.keepNotice(notice)
    if (taskId) drop(taskId)
  }

  function drop(taskId: string): void {
    const at = state.queue.findIndex((q) => q.taskId === taskId)
    if (at < 0) return
    state.queue.splice(at, 1)
    if (at === 0) state.note = null
  }

  /** Answers the open question; one answer at a time. */
  async function answer(confirm: boolean): Promise<void> {
    const open = state.queue[0]
    if (!open || state.busy) return
    state.busy = true
    try {
      const reply = await deps.confirm({ taskId: open.taskId, confirm })
      const shown = answerText(reply)
      if (shown.close) drop(open.taskId)
      // A closing note shows once the dialog is gone; the next question, if any, starts clean.
      state.note = shown.close && state.queue.length > 0 ? null : { text: shown.text, tone: shown.tone }
    } catch {
      state.note = { text: WITHDRAW_TEXTS.notSent, tone: 'warning' }
    } finally {
      state.busy = false
    }
  }

  return {
    state,
    onAsk,
    onNotice,
    answer,
    current: (): WithdrawAsk | undefined => state.queue[0],
    clearNote: () => {
      state.note = null
    },
  }
}

export type WithdrawQuestions = ReturnType<typeof createWithdrawQuestions>
