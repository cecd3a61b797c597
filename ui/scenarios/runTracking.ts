/**
 * Following one scenario run after a completion: its pushes, a poll every
 * five seconds until it is finished, and a one-minute limit after which the
 * screen only says that the outcome comes later. Only the run of this
 * completion counts: the document's other (older) runs are never taken for it.
 */
import { reactive } from 'vue'
import type { Payload } from '../core/envelope'
import { isTimeout, RefusalError } from '../core/requests'
import { refusalText } from '../documents/picking/refusalText'
import { isFinished, readRun, type ScenarioRun } from './scenarioRun'

export const POLL_MS = 5_000
export const TRACK_LIMIT_MS = 60_000

export const TRACKING_TEXTS = {
  stillRunning: 'Сценарий еще выполняется. Итог придет позже — проверьте документ в МоемСкладе.',
  retryQueued: 'Повтор поставлен в очередь, ждем результат',
  retryForbidden: 'Повторить сценарий может только администратор.',
  retryNotFound: 'Этот запуск уже не найден на сервере. Проверьте документ в МоемСкладе.',
  retryInvalid: 'Запуск уже не в ошибке — повторять нечего. Обновите документ.',
  retryNoAnswer: 'Нет ответа. Проверьте связь и нажмите «Повторить» еще раз.',
} as const

export interface TrackingDeps {
  /** listens to `scenarioRun.push`; answers the removal */
  listen(handler: (payload: Payload) => void): () => void
  /** `scenarioRunStatus` {documentId} */
  status(documentId: string): Promise<Payload>
  /** `scenarioRetry` {runId}; a refusal rejects with RefusalError */
  retry(runId: string): Promise<Payload>
  /** runs `fn` after `ms`; answers the cancellation */
  later(fn: () => void, ms: number): () => void
  log(line: string): void
}

export interface TrackingState {
  /** actions queued when the document was sent */
  queued: number
  /** the latest word about this run */
  run: ScenarioRun | null
  /** the run was still unfinished a minute after the start */
  note: string
  /** the retry was accepted */
  notice: string
  retryError: string
  retrying: boolean
  /** pushes are listened to and polls go out */
  active: boolean
}

/** The refusal or failure of `scenarioRetry` as the screen says it. */
export function retryFailureText(err: unknown): string {
  if (err instanceof RefusalError) {
    switch (err.info.code) {
      case 'forbidden':
        return TRACKING_TEXTS.retryForbidden
      case 'not-found':
        return TRACKING_TEXTS.retryNotFound
      case 'invalid':
        return TRACKING_TEXTS.retryInvalid
      default:
        return refusalText(err.info)
    }
  }
  return TRACKING_TEXTS.retryNoAnswer
}

export function createRunTracking(documentId: string, runId: string, queued: number, deps: TrackingDeps) {
  const state = reactive<TrackingState>({ queued, run: null, note: '', notice: '', retryError: '', retrying: false, active: false })
  let stops: Array<() => void> = []
  // A poll answered after its round was stopped (finished, a minute passed, a new round) is dropped.
  let round = 0

  function stop() {
    round++
    state.active = false
    for (const s of stops.splice(0)) s()
  }

  function take(run: ScenarioRun) {
    state.run = run
    state.notice = ''
    if (isFinished(run)) stop()
  }

  function poll(mine: number) {
    stops.push(
      deps.later(async () => {
        try {
          const answer = await deps.status(documentId)
          if (mine !== round) return
          const runs = Array.isArray(answer.runs) ? answer.runs : []
          const run = runs.map(readRun).find((r) => r?.runId === runId)
          if (run) take(run)
        } catch (err) {
          if (mine !== round) return
          deps.log(`[сценарий] не удалось узнать состояние запуска ${runId}: ${err instanceof Error ? err.message : String(err)}`)
        }
        if (mine === round) poll(mine)
      }, POLL_MS),
    )
  }

  /** Starts (or starts again) following the run: pushes, polls, and the one-minute limit. */
  function start() {
    stop()
    const mine = round
    state.active = true
    state.note = ''
    stops.push(
      deps.listen((p) => {
        const run = readRun(p)
        if (mine === round && run?.runId === runId) take(run)
      }),
    )
    stops.push(
      deps.later(() => {
        if (mine !== round) return
        stop()
        state.note = TRACKING_TEXTS.stillRunning
      }, TRACK_LIMIT_MS),
    )
    poll(mine)
  }

  /** "Повторить": the server queues the run again, and it is followed from the start. */
  async function retry() {
    if (state.retrying) return
    state.retrying = true
    state.retryError = ''
    try {
      await deps.retry(runId)
      state.run = null
      state.notice = TRACKING_TEXTS.retryQueued
      start()
    } catch (err) {
      if (!isTimeout(err) && !(err instanceof RefusalError)) deps.log(`[сценарий] повтор не ушел: ${err instanceof Error ? err.message : String(err)}`)
      state.retryError = retryFailureText(err)
    } finally {
      state.retrying = false
    }
  }

  return { state, start, stop, retry }
}

export type RunTracking = ReturnType<typeof createRunTracking>
