/**
 * The identity check that runs after every connection: asks `deviceWhoAmI`,
 * retries once after 3 s, then renews the device token silently once, and
 * when that does not help shows the session banner. Every round carries a
 * generation; a late answer of an older round is dropped.
 */
import { errorText } from './bridge'

export const RETRY_MS = 3_000
export const BANNER_RECHECK_MS = 30_000
export const BANNER_REFUSED = 'Сервер не признает это устройство. Активируйте его заново — по PIN-коду или QR-коду'
export const BANNER_STALE = 'Сервер не отвечает этому устройству — похоже, вход устарел. Войдите заново'
/** answers that say the server does not know this device at all */
export const REFUSED_PATTERN = /session\s+(not\s+found|not\s+authorized)/i

export type Login = 'device' | 'account' | 'anon'
export type IdentityAction = 'wait' | 'nothing' | 'retry' | 'refresh' | 'banner'

export interface IdentityFacts {
  connected: boolean
  login: Login
  /** failures in a row */
  failures: number
  hasRefreshToken: boolean
  /** a silent refresh was already tried since the last answer */
  refreshTried: boolean
}

/** What to do after a failed `deviceWhoAmI`; the first matching row wins. */
export function identityDecision(f: IdentityFacts): IdentityAction {
  if (!f.connected) return 'wait'
  if (f.login === 'anon') return 'nothing'
  if (f.failures < 2) return 'retry'
  if (f.hasRefreshToken && !f.refreshTried) return 'refresh'
  return 'banner'
}

export interface IdentityCheckDeps {
  connected(): boolean
  login(): Login
  whoAmI(): Promise<unknown>
  hasRefreshToken(): Promise<boolean>
  /** renews the device token and reconnects; rejects when the renewal failed */
  refreshAndReconnect(): Promise<void>
  /** the account description of a successful answer */
  accept(description: unknown): void
  setBanner(text: string): void
  setTimer?: (fn: () => void, ms: number) => unknown
  clearTimer?: (handle: unknown) => void
  /** the pauses before asking again (3 s after a failure, 30 s while the banner is shown) */
  pauses?: () => { retryMs: number; recheckMs: number }
}

export class IdentityCheck {
  private generation = 0
  private failures = 0
  private refreshTried = false
  private timer: unknown
  private readonly setTimer: (fn: () => void, ms: number) => unknown
  private readonly clearTimer: (handle: unknown) => void

  constructor(private readonly deps: IdentityCheckDeps) {
    this.setTimer = deps.setTimer ?? ((fn, ms) => setTimeout(fn, ms))
    this.clearTimer = deps.clearTimer ?? ((h) => clearTimeout(h as ReturnType<typeof setTimeout>))
  }

  /** Starts a new round; older rounds abandon themselves. */
  start(): void {
    this.generation += 1
    this.cancelTimer()
    void this.round(this.generation)
  }

  /** Abandons the running round and its timers. */
  stop(): void {
    this.generation += 1
    this.cancelTimer()
  }

  /** Forgets the failures (another device token). */
  forget(): void {
    this.failures = 0
    this.refreshTried = false
  }

  private pauses(): { retryMs: number; recheckMs: number } {
    return this.deps.pauses?.() ?? { retryMs: RETRY_MS, recheckMs: BANNER_RECHECK_MS }
  }

  private cancelTimer(): void {
    if (this.timer !== undefined) this.clearTimer(this.timer)
    this.timer = undefined
  }

  private later(gen: number, ms: number): void {
    this.cancelTimer()
    this.timer = this.setTimer(() => {
      this.timer = undefined
      if (gen !== this.generation || !this.deps.connected()) return
      void this.round(gen)
    }, ms)
  }

  private async round(gen: number): Promise<void> {
    if (this.deps.login() === 'anon') {
      this.deps.setBanner('')
      return
    }
    let description: unknown
    try {
      description = await this.deps.whoAmI()
    } catch (err) {
      if (gen !== this.generation) return
      this.failures += 1
      await this.decide(gen, REFUSED_PATTERN.test(errorText(err)))
      return
    }
    if (gen !== this.generation) return
    this.deps.setBanner('')
    this.failures = 0
    this.refreshTried = false
    this.deps.accept(description)
  }

  private async decide(gen: number, refused: boolean): Promise<void> {
    for (;;) {
      const hasRefreshToken = await this.deps.hasRefreshToken()
      if (gen !== this.generation) return
      const action = identityDecision({
        connected: this.deps.connected(),
        login: this.deps.login(),
        failures: this.failures,
        hasRefreshToken,
        refreshTried: this.refreshTried,
      })
      switch (action) {
        case 'wait':
        case 'nothing':
          return
        case 'retry':
          this.later(gen, this.pauses().retryMs)
          return
        case 'refresh':
          // One silent renewal per run of failures: a renewed token that is still not recognised shows the banner.
          this.refreshTried = true
          try {
            await this.deps.refreshAndReconnect()
            return
          } catch {
            if (gen !== this.generation) return
            continue
          }
        case 'banner':
          this.deps.setBanner(refused ? BANNER_REFUSED : BANNER_STALE)
          this.later(gen, this.pauses().recheckMs)
          return
      }
    }
  }
}
