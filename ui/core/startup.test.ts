import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest'
import { appConsoleLine, createTapCounter, isEditableTarget, runStartup, STAGE, type StartupState } from './startup'

beforeEach(() => vi.useFakeTimers())
afterEach(() => vi.useRealTimers())

function deps(over: Partial<Parameters<typeof runStartup>[1]> = {}) {
  const lines: string[] = []
  const home = vi.fn()
  return {
    lines,
    home,
    d: {
      log: (l: string) => lines.push(l),
      loadSettings: async () => {},
      startSession: async (setStage: (s: string) => void) => {
        setStage(STAGE.connecting)
      },
      navigateHome: home,
      ...over,
    },
  }
}

describe('runStartup', () => {
  it('logs every stage change, then starts and goes home once', async () => {
    const state: StartupState = { stage: STAGE.initial, started: false }
    const { lines, home, d } = deps()
    await runStartup(state, d)
    expect(lines).toEqual([
      'этап запуска: Загрузка настроек...',
      'этап запуска: Проверка авторизации...',
      'этап запуска: Подключение...',
    ])
    expect(state.started).toBe(true)
    expect(home).toHaveBeenCalledTimes(1)
    vi.advanceTimersByTime(20_000)
    expect(lines.some((l) => l.startsWith('старт не завершился'))).toBe(false)
  })

  it('a start-up stuck in sign-in is cut by the watchdog after 12 s with that stage', async () => {
    const state: StartupState = { stage: STAGE.initial, started: false }
    const { lines, home, d } = deps({ startSession: () => new Promise(() => {}) })
    void runStartup(state, d)
    await vi.advanceTimersByTimeAsync(11_999)
    expect(state.started).toBe(false)
    await vi.advanceTimersByTimeAsync(1)
    expect(lines.at(-1)).toBe('старт не завершился за 12 с, этап: Проверка авторизации...')
    expect(state.started).toBe(true)
    expect(home).toHaveBeenCalledTimes(1)
  })

  it('failures of settings and session do not stop the start', async () => {
    const state: StartupState = { stage: STAGE.initial, started: false }
    const { home, d } = deps({
      loadSettings: () => Promise.reject(new Error('x')),
      startSession: () => Promise.reject(new Error('y')),
    })
    await runStartup(state, d)
    expect(state.started).toBe(true)
    expect(home).toHaveBeenCalledTimes(1)
  })
})

describe('debug console taps', () => {
  it('five quick taps toggle; four, a 2 s pause and one more do not', () => {
    let t = 0
    const toggle = vi.fn()
    const tap = createTapCounter(toggle, 1500, () => t)
    for (let i = 0; i < 4; i++) {
      tap()
      t += 300
    }
    t += 2000
    tap()
    expect(toggle).not.toHaveBeenCalled()
    for (let i = 0; i < 4; i++) {
      t += 1500
      tap()
    }
    expect(toggle).toHaveBeenCalledTimes(1)
  })
})

describe('console line and context menu', () => {
  it('formats the app line', () => {
    expect(appConsoleLine('0.66.2', 'desktop', { width: 1920, height: 1080 }, 1.25, { width: 1100, height: 800 })).toBe(
      '[app] v0.66.2 target=desktop screen=1920x1080 dpr=1.25 viewport=1100x800',
    )
  })

  it('keeps the context menu only in editable fields', () => {
    document.body.innerHTML =
      '<input id="t"><input id="c" type="checkbox"><textarea id="a"></textarea><div id="e" contenteditable="true"><b id="in">x</b></div><p id="p">x</p>'
    const el = (id: string) => document.getElementById(id)
    expect(isEditableTarget(el('t'))).toBe(true)
    expect(isEditableTarget(el('a'))).toBe(true)
    expect(isEditableTarget(el('in'))).toBe(true)
    expect(isEditableTarget(el('c'))).toBe(false)
    expect(isEditableTarget(el('p'))).toBe(false)
  })
})
