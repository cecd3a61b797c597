import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest'
import type { Payload } from '../core/envelope'
import { RefusalError } from '../core/requests'
import { createRunTracking, POLL_MS, TRACK_LIMIT_MS, TRACKING_TEXTS, type TrackingDeps } from './runTracking'
import { runLines } from './scenarioRun'

const run = (runId: string, status: string, actions: Payload[] = []) => ({ runId, documentId: 'd1', event: 'collected', status, actions })
const running = run('r2', 'running', [{ idx: 0, type: 'documentState', status: 'done' }, { idx: 1, type: 'print', status: 'running' }])
const done = run('r2', 'done', [{ idx: 0, type: 'documentState', status: 'done' }, { idx: 1, type: 'print', status: 'done' }])

/** The tracking over a fake channel: pushes are delivered by hand, status answers come from a queue. */
function rig(statusAnswers: Array<Payload | Error> = []) {
  const listeners = new Set<(p: Payload) => void>()
  const log: string[] = []
  const polls: string[] = []
  const retryAnswers: Array<Payload | Error> = []
  const deps: TrackingDeps = {
    listen: (h) => {
      listeners.add(h)
      return () => listeners.delete(h)
    },
    status: async (documentId) => {
      polls.push(documentId)
      const a = statusAnswers.shift() ?? { runs: [] }
      if (a instanceof Error) throw a
      return a
    },
    retry: async () => {
      const a = retryAnswers.shift() ?? {}
      if (a instanceof Error) throw a
      return a
    },
    later: (fn, ms) => {
      const t = setTimeout(fn, ms)
      return () => clearTimeout(t)
    },
    log: (line) => log.push(line),
  }
  const tracking = createRunTracking('d1', 'r2', 2, deps)
  const push = (p: Payload) => [...listeners].forEach((h) => h(p))
  return { tracking, push, polls, log, listeners, retryAnswers }
}

beforeEach(() => {
  vi.useFakeTimers()
})
afterEach(() => {
  vi.useRealTimers()
})

describe('run tracking', () => {
  it('takes pushes for its run only and stops once the run is finished', async () => {
    const { tracking, push, polls, listeners } = rig()
    tracking.start()
    push(run('r1', 'done'))
    expect(tracking.state.run).toBeNull()
    push(running)
    expect(runLines(tracking.state.run!).progress).toBe('Сценарий выполняется: сделано 1 из 2')
    push(done)
    expect(tracking.state.active).toBe(false)
    expect(listeners.size).toBe(0)
    await vi.advanceTimersByTimeAsync(TRACK_LIMIT_MS * 2)
    expect(polls).toEqual([])
    expect(tracking.state.note).toBe('')
    expect(runLines(tracking.state.run!).success).toBe('Сценарий: статус поставлен, печать ушла')
  })

  it('polls every five seconds until its own run is listed and finished; an older run is never taken for it', async () => {
    const older = run('r1', 'error', [{ idx: 0, type: 'print', status: 'error', error: 'старый сбой' }])
    const { tracking, polls, log } = rig([{ runs: [older] }, new Error('timeout'), { runs: [older, running] }, { runs: [done, older] }])
    tracking.start()
    await vi.advanceTimersByTimeAsync(POLL_MS - 1)
    expect(polls).toHaveLength(0)
    await vi.advanceTimersByTimeAsync(1)
    expect(polls).toEqual(['d1'])
    expect(tracking.state.run).toBeNull()
    await vi.advanceTimersByTimeAsync(POLL_MS)
    expect(log).toEqual(['[сценарий] не удалось узнать состояние запуска r2: timeout'])
    await vi.advanceTimersByTimeAsync(POLL_MS)
    expect(tracking.state.run?.status).toBe('running')
    await vi.advanceTimersByTimeAsync(POLL_MS)
    expect(tracking.state.run?.status).toBe('done')
    expect(tracking.state.active).toBe(false)
    await vi.advanceTimersByTimeAsync(POLL_MS * 3)
    expect(polls).toHaveLength(4)
  })

  it('a run still running after a minute ends with the note, and a later push is not listened to', async () => {
    const { tracking, push, polls } = rig(Array.from({ length: 20 }, () => ({ runs: [running] })))
    tracking.start()
    await vi.advanceTimersByTimeAsync(TRACK_LIMIT_MS - 1)
    expect(tracking.state.note).toBe('')
    await vi.advanceTimersByTimeAsync(1)
    expect(tracking.state.note).toBe('Сценарий еще выполняется. Итог придет позже — проверьте документ в МоемСкладе.')
    expect(tracking.state.active).toBe(false)
    const polled = polls.length
    push(done)
    await vi.advanceTimersByTimeAsync(POLL_MS * 3)
    expect(tracking.state.run?.status).toBe('running')
    expect(polls).toHaveLength(polled)
  })

  it('a retry is queued and the run is followed again from the start', async () => {
    const { tracking, push } = rig()
    tracking.start()
    push(run('r2', 'error', [{ idx: 0, type: 'print', status: 'error' }]))
    expect(tracking.state.active).toBe(false)
    await tracking.retry()
    expect(tracking.state).toMatchObject({ notice: TRACKING_TEXTS.retryQueued, run: null, active: true, retryError: '' })
    push(done)
    expect(tracking.state).toMatchObject({ notice: '', active: false })
    expect(tracking.state.run?.status).toBe('done')
  })

  it.each<[string, Error, string]>([
    ['forbidden', new RefusalError('нельзя', { code: 'forbidden', message: 'нельзя' }), 'Повторить сценарий может только администратор.'],
    ['not found', new RefusalError('нет', { code: 'not-found' }), 'Этот запуск уже не найден на сервере. Проверьте документ в МоемСкладе.'],
    ['not in error', new RefusalError('нет', { code: 'invalid' }), 'Запуск уже не в ошибке — повторять нечего. Обновите документ.'],
    ['another refusal with its message', new RefusalError('x', { code: 'ms-error', message: 'МойСклад занят' }), 'МойСклад занят'],
    ['another refusal without one', new RefusalError('x', { code: 'ms-error' }), 'Не удалось выполнить. Попробуйте еще раз.'],
    ['no answer', new Error('timeout'), 'Нет ответа. Проверьте связь и нажмите «Повторить» еще раз.'],
  ])('a retry refused (%s) says so and keeps the run', async (_name, err, text) => {
    const { tracking, push, retryAnswers } = rig()
    tracking.start()
    push(run('r2', 'error'))
    retryAnswers.push(err)
    await tracking.retry()
    expect(tracking.state).toMatchObject({ retryError: text, notice: '', active: false, retrying: false })
    expect(tracking.state.run?.status).toBe('error')
  })
})
