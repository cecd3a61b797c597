/**
 * The root view's start-up: stage texts (each change logged), the 12-second
 * watchdog, settings, then the session. Dependencies are passed in so the
 * sequence is tested with fake timers and fakes of the slow parts.
 */

export const STAGE = {
  initial: 'Запускаем приложение...',
  settings: 'Загрузка настроек...',
  auth: 'Проверка авторизации...',
  connecting: 'Подключение...',
  token: 'Получение токена...',
} as const

export const WATCHDOG_MS = 12_000

export interface StartupState {
  stage: string
  started: boolean
}

export interface StartupDeps {
  log(line: string): void
  loadSettings(): Promise<void>
  startSession(setStage: (stage: string) => void): Promise<void>
  navigateHome(): void
  setTimer?: (fn: () => void, ms: number) => unknown
  clearTimer?: (handle: unknown) => void
}

export function watchdogLine(seconds: number, stage: string): string {
  return `старт не завершился за ${seconds} с, этап: ${stage}`
}

export function stageLine(stage: string): string {
  return `этап запуска: ${stage}`
}

/** Runs the sequence; resolves when it finished (or the watchdog already forced the main route). Never rejects. */
export async function runStartup(state: StartupState, deps: StartupDeps): Promise<void> {
  const setTimer = deps.setTimer ?? ((fn, ms) => setTimeout(fn, ms))
  const clearTimer = deps.clearTimer ?? ((h) => clearTimeout(h as ReturnType<typeof setTimeout>))
  const setStage = (stage: string) => {
    if (stage === state.stage) return
    state.stage = stage
    deps.log(stageLine(stage))
  }
  const watchdog = setTimer(() => {
    if (state.started) return
    deps.log(watchdogLine(WATCHDOG_MS / 1000, state.stage))
    state.started = true
    deps.navigateHome()
  }, WATCHDOG_MS)

  try {
    setStage(STAGE.settings)
    await deps.loadSettings()
  } catch {
    // a failure keeps the defaults; start-up goes on
  }
  try {
    setStage(STAGE.auth)
    await deps.startSession(setStage)
  } catch {
    // sign-in failures are the screens' business; the start screen must not hang
  }
  clearTimer(watchdog)
  if (state.started) return // the watchdog already moved on
  state.started = true
  deps.navigateHome()
}

/** "[app] v0.66.2 target=desktop screen=WxH dpr=R viewport=WxH" */
export function appConsoleLine(
  version: string,
  target: string,
  screen: { width: number; height: number },
  dpr: number,
  viewport: { width: number; height: number },
): string {
  return `[app] v${version} target=${target} screen=${screen.width}x${screen.height} dpr=${dpr} viewport=${viewport.width}x${viewport.height}`
}

/** True for text inputs, text areas and editable elements: the only places the context menu stays. */
export function isEditableTarget(target: EventTarget | null): boolean {
  if (!(target instanceof Element)) return false
  const el = target.closest('input, textarea, [contenteditable]')
  if (!el) return false
  if (el instanceof HTMLInputElement) {
    const textual = ['text', 'search', 'email', 'number', 'password', 'tel', 'url', '']
    return textual.includes(el.type)
  }
  if (el instanceof HTMLTextAreaElement) return true
  return (el as HTMLElement).isContentEditable || el.getAttribute('contenteditable') === 'true' || el.getAttribute('contenteditable') === ''
}

/**
 * Counts taps on the start screen's logo: five taps, each within `windowMs`
 * of the previous one, fire `onFive`; the count starts over `windowMs` after
 * the last tap.
 */
export function createTapCounter(onFive: () => void, windowMs = 1500, now: () => number = () => Date.now()) {
  let count = 0
  let last = -Infinity
  return () => {
    const t = now()
    if (t - last > windowMs) count = 0
    last = t
    count += 1
    if (count === 5) {
      count = 0
      onFive()
    }
  }
}

export const DEBUG_CONSOLE_TOGGLE = 'debug-console-toggle'
