/** What the session reaches outside itself: built once by the core feature, parts replaced by tests. */
import { writeAppLog } from '../appLog'
import { DemoChannel } from '../demoChannel'
import { DEMO_TOKEN } from '../demoToken'
import { BANNER_RECHECK_MS, RETRY_MS } from '../identityCheck'
import { ServerChannel, type Channel } from '../serverChannel'
import { serverBaseUrl } from '../serviceUrl'

export interface SessionEnv {
  navigate(path: string): Promise<unknown> | void
  userAgent(): string
  now(): number
  /** pauses of the identity check: before asking again, and while the banner is shown */
  identityPauses: { retryMs: number; recheckMs: number }
  /** opens a channel offering `token`; the demonstration token gets one answered inside the page */
  openChannel(token: string, onConnectError: (err: Error) => void): Channel
  /** a short-lived channel without a token */
  openGuestChannel(): Channel
  /** a line of the application log */
  log(line: string): void
}

export function defaultSessionEnv(): SessionEnv {
  return {
    // The core feature's install gives the router's; a navigation before that is a fault in the start order.
    navigate: (path) => writeAppLog(`сессия: переход на ${path} до установки маршрутов`),
    userAgent: () => (typeof navigator !== 'undefined' ? navigator.userAgent : ''),
    now: () => Date.now(),
    identityPauses: { retryMs: RETRY_MS, recheckMs: BANNER_RECHECK_MS },
    openChannel: (token, onConnectError) =>
      token === DEMO_TOKEN ? new DemoChannel() : new ServerChannel({ url: serverBaseUrl(), getToken: () => token, onConnectError }),
    openGuestChannel: () => new ServerChannel({ url: serverBaseUrl(), getToken: () => '' }),
    log: (line) => writeAppLog(line),
  }
}
