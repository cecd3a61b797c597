/**
 * Completion of the open document: questions, the withdrawal question, the
 * confirmation, then the pages. A result is never lost: a refusal the picker
 * can act on keeps the dialog (nothing queued); any other failure goes into
 * the send queue and leaves by itself when the connection returns.
 */
import { reactive } from 'vue'
import { documentCompletedHooks, keepCompletionOutcome } from '../../core/completionOutcomes'
import { completionOutcome, completionPages, COMPLETION_PAGE_TIMEOUT_MS, sendCompletion } from '../../core/completionPages'
import { isOzonPosting } from '../picking/ozonPosting'
import type { Payload } from '../../core/envelope'
import { randomId } from '../../core/randomId'
import { isTimeout, RefusalError, ServerRejectedError } from '../../core/requests'
import { KNOWN_REFUSAL_CODES, type NewQueuedCompletion } from '../../core/sendQueue'
import { refusalText } from '../picking/refusalText'
import type { DocumentRecord } from '../records'
import { finishButton } from './finishButton'
import type { SentCompletion } from './followUps'
import { answersPayload, normaliseQuestions, validateAll, type AnswerInput, type Question } from './questions'
import { finishReview, type FinishReview, type ReviewLine } from './finishReview'
import { withdrawQuestion, type WithdrawContext, type WithdrawQuestion } from './withdrawQuestion'

export const QUESTIONS_TIMEOUT_MS = 10_000
export const QUEUED_TEXT = '📦 Документ сохранен на устройстве и уйдет сам, как появится связь.'
export const QUEUE_FAILED_TEXT = 'Не удалось отправить и сохранить. Не выходите из документа, проверьте связь'

export interface CompletionItem {
  positionId: string
  quantity: number
  marks: string[]
}

export interface Timeline {
  openedAt: number
  firstScanAt: number
  lastScanAt: number
  completedAt: number
  scans: number
}

/** What the picking screen hands over. */
export interface CompletionSource {
  document(): DocumentRecord
  items(): CompletionItem[]
  timeline(): Timeline
  markIdentities(): string[]
  withdrawContext(): WithdrawContext
  /** after success: delete the draft, record the sent marks, clear the scan state */
  completed(answer: Payload): void
  /** after the result was queued (the draft stays until it is delivered) */
  queued(): void
  /** the two-person check: the role's part of the finish dialog, and what the completion carries */
  roles?: CompletionRoles
  /** the lines as the question before finishing reads them (excess, units without a marking code) */
  reviewLines?(): ReviewLine[]
  /** "Убрать лишнее": every line over the order back to the ordered count */
  removeExcess?(): void
}

export interface CompletionRoles {
  /** the role the document is finished in, or none (roles off) */
  role(): 'collector' | 'checker' | null
  /** the dialog is needed for the roles (short positions, the checker's box count) */
  needed(): boolean
  /** the dialog opens: the role's rows start */
  open(): void
  /** "Завершить": null while something required is missing; else the box count to send, if any */
  submit(): { boxes?: number } | null
  /** the employee finishing in the role (the result says who checked) */
  by?(): { id: string; name: string }
}

export interface CompletionDeps {
  canAsk(): boolean
  /** the channel is known to be down: a completion goes to the send queue at once instead of waiting out a time-out */
  offline?(): boolean
  command(name: string, payload: Payload, timeoutMs: number): Promise<Payload>
  /** true once the entry is stored for good */
  enqueue(entry: NewQueuedCompletion): boolean | Promise<boolean>
  markCompletedHere(doc: DocumentRecord): void
  confirmOnComplete(): boolean
  /** sends what waits in the send queue; answers whether this document's entry is still there */
  flushQueued(documentId: string): Promise<boolean>
  success(): void
  failure(): void
  backToList(): void
  /** something to show after a sent completion (a scenario run): true when it took the screen instead of the list */
  followUp?(sent: SentCompletion): boolean
  /** this device's id: with the completion's own id the server tells a resend from a new result */
  deviceId?(): Promise<string>
}

export type Step = 'closed' | 'loading' | 'questions' | 'review' | 'withdraw' | 'confirm' | 'sending' | 'queued'

export interface CompletionState {
  step: Step
  questions: Question[]
  values: Record<string, AnswerInput>
  errors: Record<string, string>
  questionsError: string
  /** the question before finishing: lines over the order, units without a marking code */
  review: FinishReview | null
  withdraw: WithdrawQuestion | null
  withdrawAnswer: boolean | undefined
  /** the refusal or failure text shown in the dialog */
  message: string
  highlightPositionId: string
  done: number
  total: number
  /** the role's part (short rows, boxes) is in the dialog */
  rolesShown: boolean
}

function emptyState(): CompletionState {
  return {
    step: 'closed', questions: [], values: {}, errors: {}, questionsError: '', review: null, withdraw: null, withdrawAnswer: undefined,
    message: '', highlightPositionId: '', done: 0, total: 0, rolesShown: false,
  }
}

function questionsFailureText(err: unknown): string {
  if (err instanceof RefusalError) {
    if (err.info.code === 'ms-error') return 'МойСклад сейчас не отвечает, поэтому вопросы не загрузились. Попробуйте еще раз.'
    return err.info.message?.trim() || err.message
  }
  return 'Не удалось загрузить вопросы. Проверьте связь и нажмите «Повторить».'
}

export function serverRejectedText(message: string): string {
  return `⚠️ Сервер не принял документ: ${message.replace(/[.\s]+$/, '')}. Документ сохранен на устройстве, отправим повторно.`
}

/**
 * The dialog's text for a queued completion. A page the server answered with
 * an error of its own (`accepted` false with `error`, or a code the picker
 * cannot act on) was rejected by the server, not lost on the way: the picker
 * is told so, in the server's words.
 */
function queuedText(err: unknown): string {
  if (err instanceof ServerRejectedError) return serverRejectedText(err.message)
  if (err instanceof RefusalError) return serverRejectedText(refusalText(err.info))
  return QUEUED_TEXT
}

export interface StartOptions {
  /** auto-completion: neither the withdrawal question nor the confirmation is asked (questions still are) */
  auto?: boolean
}

export function createCompletion(source: CompletionSource, deps: CompletionDeps) {
  const state = reactive<CompletionState>(emptyState())
  let questionsLoaded = false
  let auto = false
  let boxes: number | undefined
  /** the question before finishing was asked (or had nothing to ask) in this round */
  let reviewed = false
  /** the review was reached from the questions dialog (no confirmation follows) */
  let reviewFromQuestions = false

  async function loadQuestions(): Promise<boolean> {
    state.questionsError = ''
    if (!deps.canAsk()) return true
    const doc = source.document()
    try {
      const answer = await deps.command('finishQuestions', { documentId: doc.id, type: doc.type, event: source.roles?.role() === 'checker' ? 'checked' : 'collected' }, QUESTIONS_TIMEOUT_MS)
      state.questions = normaliseQuestions(answer.questions)
    } catch (err) {
      if (isTimeout(err)) return true // silent: complete without questions
      state.questionsError = questionsFailureText(err)
      return false
    }
    questionsLoaded = true
    return true
  }

  function positionsDone() {
    const products = source.document().products
    state.done = products.filter((p) => p.checked >= p.required).length
    state.total = products.length
  }

  /** The finish button, or auto-completion. */
  async function start(options: StartOptions = {}) {
    auto = options.auto === true
    reviewed = false
    state.message = ''
    state.highlightPositionId = ''
    state.step = 'loading'
    positionsDone()
    const ok = await loadQuestions()
    boxes = undefined
    state.rolesShown = source.roles?.role() ? source.roles.needed() : false
    if (state.rolesShown) source.roles!.open()
    if (!ok || state.questions.length > 0 || state.rolesShown) {
      state.step = 'questions'
      return
    }
    afterQuestions()
  }

  async function retryQuestions() {
    await loadQuestions()
  }

  /** The withdrawal question, when it applies and is not answered yet (never for auto-completion). */
  function askWithdraw(): boolean {
    if (auto) return false
    const w = withdrawQuestion(source.withdrawContext())
    if (!w || state.withdrawAnswer !== undefined) return false
    state.withdraw = w
    state.step = 'withdraw'
    return true
  }

  /** Codes of a shipment's marks leave circulation: units counted without one are named before finishing. */
  function withdrawsCodes(): boolean {
    const c = source.withdrawContext()
    return c.withdrawOnRetail && c.documentType === 'shipment' && !isOzonPosting(c)
  }

  /** Excess and units without a code are asked about once per finishing, auto-completion too. */
  function askReview(fromQuestions: boolean): boolean {
    if (reviewed) return false
    reviewed = true
    const review = finishReview(source.reviewLines?.() ?? [], withdrawsCodes())
    if (!review) return false
    state.review = review
    reviewFromQuestions = fromQuestions
    state.step = 'review'
    return true
  }

  /** The answer to the review: remove the excess, keep it, or go on (units without a code only). */
  function answerReview(choice: 'remove' | 'keep') {
    if (state.step !== 'review') return
    if (choice === 'remove' && state.review?.excess.length) {
      source.removeExcess?.()
      positionsDone()
    }
    state.review = null
    if (reviewFromQuestions) {
      if (askWithdraw()) return
      void send()
      return
    }
    afterQuestions()
  }

  function afterQuestions() {
    if (askReview(false)) return
    if (askWithdraw()) return
    if (!auto && deps.confirmOnComplete() && state.step !== 'questions') {
      state.step = 'confirm'
      return
    }
    void send()
  }

  /** "Завершить" in the questions dialog. */
  function submitQuestions() {
    state.errors = validateAll(state.questions, state.values)
    if (Object.values(state.errors).some(Boolean)) return
    if (state.rolesShown) {
      const part = source.roles!.submit()
      if (!part) return
      boxes = part.boxes
    }
    if (state.questionsError && !questionsLoaded && deps.canAsk()) {
      // Questions could not be loaded: finishing without them is the picker's choice.
      state.questionsError = ''
    }
    if (askReview(true)) return
    if (askWithdraw()) return
    void send()
  }

  function answerWithdraw(withdraw: boolean) {
    state.withdrawAnswer = withdraw
    state.step = deps.confirmOnComplete() ? 'confirm' : 'sending'
    if (state.step === 'sending') void send()
  }

  function completion(completionId?: string, deviceId?: string): NewQueuedCompletion {
    const doc = source.document()
    const timeline = { ...source.timeline(), completedAt: Date.now() }
    const entry: NewQueuedCompletion = {
      documentId: doc.id,
      documentType: doc.type,
      documentNumber: doc.number,
      items: source.items(),
      timeline,
      markIdentities: source.markIdentities(),
    }
    // Ozon postings never withdraw; otherwise the picker's answer when one was given.
    if (isOzonPosting(doc)) entry.withdraw = false
    else if (state.withdrawAnswer !== undefined) entry.withdraw = state.withdrawAnswer
    if (state.questions.length) entry.answers = answersPayload(state.questions, state.values)
    const role = source.roles?.role()
    if (role) entry.role = role
    if (role === 'checker' && boxes !== undefined) entry.boxes = boxes
    const by = role ? source.roles?.by?.() : undefined
    if (by && (by.id || by.name)) entry.by = by
    if (completionId) entry.completionId = completionId
    if (deviceId) entry.deviceId = deviceId
    return entry
  }

  async function send() {
    const before = state.step === 'questions' ? 'questions' : 'confirm'
    state.step = 'sending'
    state.message = ''
    // One id per finished result: the queue resends it with this id, and the server keeps it once.
    const deviceId = await deps.deviceId?.().catch(() => undefined)
    const entry = completion(randomId(), deviceId)
    if (deps.offline?.()) {
      // Nothing can go out now: the picker is told at once that the result waits on the device.
      deps.failure()
      await queue(entry, null)
      return
    }
    try {
      const answer = await sendCompletion(entry, (page) => deps.command('completeDocument', page, COMPLETION_PAGE_TIMEOUT_MS))
      const doc = source.document()
      const outcome = completionOutcome([answer])
      keepCompletionOutcome(doc.id, outcome)
      documentCompletedHooks.run({ entry, sent: true, outcome })
      if (outcome.stage) doc.stage = outcome.stage
      doc.status = 'completed'
      deps.markCompletedHere(doc)
      source.completed(answer)
      deps.success()
      close()
      if (!deps.followUp?.({ documentId: doc.id, documentType: doc.type, outcome })) deps.backToList()
    } catch (err) {
      deps.failure()
      if (err instanceof RefusalError && err.info.code && KNOWN_REFUSAL_CODES.has(err.info.code)) {
        refused(err, before)
        return
      }
      await queue(entry, err)
    }
  }

  function refused(err: RefusalError, before: Step) {
    const doc = source.document()
    const positionId = typeof err.info.positionId === 'string' ? err.info.positionId : ''
    const position = positionId ? doc.products.find((p) => p.assortmentId === positionId) : undefined
    state.message = refusalText(err.info, position?.name)
    state.highlightPositionId = err.info.code === 'reason-required' ? positionId : ''
    if (err.info.code === 'answers-invalid') {
      const listed = [...(err.info.missing ?? []), ...(err.info.wrong ?? [])].map(String)
      state.errors = Object.fromEntries(listed.map((id) => [id, 'Проверьте ответ']))
    }
    state.step = before === 'questions' || state.questions.length ? 'questions' : 'confirm'
  }

  async function queue(entry: NewQueuedCompletion, err: unknown) {
    const stored = await Promise.resolve()
      .then(() => deps.enqueue(entry))
      .catch(() => false)
    if (!stored) {
      state.message = QUEUE_FAILED_TEXT
      state.step = state.questions.length ? 'questions' : 'confirm'
      return
    }
    const doc = source.document()
    doc.status = 'completed'
    deps.markCompletedHere(doc)
    documentCompletedHooks.run({ entry, sent: false })
    source.queued()
    state.message = queuedText(err)
    state.step = 'queued'
  }

  function close() {
    Object.assign(state, emptyState())
    questionsLoaded = false
    auto = false
  }

  function acknowledgeQueued() {
    close()
    deps.backToList()
  }

  /** "Повторить" after queueing: the queued entry itself is sent, so the result can never go twice. */
  async function retryQueued() {
    state.step = 'sending'
    const stillQueued = await deps.flushQueued(source.document().id).catch(() => true)
    if (!stillQueued) {
      deps.success()
      acknowledgeQueued()
      return
    }
    deps.failure()
    state.step = 'queued'
  }

  return {
    state,
    start,
    retryQuestions,
    submitQuestions,
    answerWithdraw,
    answerReview,
    confirm: () => void send(),
    cancel: close,
    acknowledgeQueued,
    retryQueued,
    /** The button's label and state for the current counts. */
    button: (canFinishShort = true) => finishButton(source.document().products, canFinishShort),
    /** Exposed for tests: the pages a completion would be sent as. */
    pagesOf: () => completionPages(completion()),
  }
}

export type Completion = ReturnType<typeof createCompletion>
