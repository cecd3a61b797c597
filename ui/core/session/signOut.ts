/**
 * Leaving a sign-in: this device's own (deauthorisation), the server's
 * (forced log-out), another saved account's, demonstration mode and the
 * session banner. Each reopens the channel for the next sign-in.
 */
import { useAuthStore } from '../authStore'
import { clearDeviceJwt, clearRefreshToken } from '../credentials'
import { DEMO_TOKEN } from '../demoToken'
import {
  clearCurrentAccount,
  newestSavedAccount,
  readCurrentAccount,
  readSavedAccounts,
  removeSavedAccounts,
  type SavedAccount,
} from '../savedAccounts'
import { useSocketStore } from '../socketStore'
import type { ChannelHost } from './channelHost'
import type { SessionEnv } from './env'
import type { RejectedTokens } from './rejectedToken'
import type { RequestHelpers } from './requestHelpers'
import type { Tokens } from './tokens'

export interface LogoutRoute {
  path: '/quick-login' | '/device-auth'
  account?: SavedAccount
}

/** Quick login with the newest remaining account, else device sign-in. */
export function nextRouteAfterLogout(): LogoutRoute {
  const account = newestSavedAccount()
  return account ? { path: '/quick-login', account } : { path: '/device-auth' }
}

export interface SignOutDeps {
  env: Pick<SessionEnv, 'navigate'>
  tokens: Tokens
  host: Pick<ChannelHost, 'current' | 'connect' | 'disconnect'>
  requests: Pick<RequestHelpers, 'request'>
  rejected: Pick<RejectedTokens, 'anonymousRestart' | 'resetRestarts'>
}

export function createSignOut({ env, tokens, host, requests, rejected }: SignOutDeps) {
  /** Reopens the channel for the next sign-in: with the account's token, or anonymously. */
  async function reconnectAfterLogout(next: LogoutRoute): Promise<void> {
    host.disconnect()
    if (next.account) {
      tokens.setAnonJwt(next.account.deviceJwt, true)
      host.connect()
      return
    }
    rejected.resetRestarts()
    tokens.setAnonJwt('')
    await rejected.anonymousRestart()
  }

  /** The server de-authorised this device. */
  async function forceLogout(): Promise<void> {
    const auth = useAuthStore()
    // The token the channel was opened with: the signed-in one, or a quick-login account's.
    const token = auth.deviceJwt || tokens.installedAccountToken()
    const removed = token ? removeSavedAccounts((a) => a.deviceJwt === token) : []
    const current = readCurrentAccount()
    if (current && removed.some((a) => a.id === current.id)) clearCurrentAccount()
    auth.reset()
    await clearDeviceJwt()
    await clearRefreshToken()
    const next = nextRouteAfterLogout()
    await reconnectAfterLogout(next)
    await env.navigate(next.path)
  }

  /**
   * Ends another quick-login account's server session (`deviceLogout` with its
   * refresh token, 5 s) and removes the account here. Answers the server's
   * answer, or null when there was none (offline or no answer in time).
   */
  async function revokeSavedSession(accountId: string): Promise<{ revoked: boolean; reason?: string } | null> {
    const account = readSavedAccounts().find((a) => a.id === accountId)
    let answer: { revoked: boolean; reason?: string } | null = null
    if (account && host.current()?.getState().connect) {
      try {
        const p = await requests.request('deviceLogout', { refreshToken: account.refreshToken }, { timeoutMs: 5_000 })
        answer = { revoked: p.revoked === true, ...(typeof p.reason === 'string' && p.reason ? { reason: p.reason } : {}) }
      } catch {
        answer = null
      }
    }
    removeSavedAccounts((a) => a.id === accountId)
    return answer
  }

  /**
   * Signs this device out: tells the server (waiting at most 10 s), removes the
   * current worker's saved account, clears the credentials and reconnects for
   * the next sign-in. Answers the route to show.
   */
  async function deauthorizeDevice(): Promise<string> {
    const auth = useAuthStore()
    const token = auth.deviceJwt
    const workerId = auth.workerSession?.workerId
    try {
      await requests.request('deviceLogout', {}, { timeoutMs: 10_000 })
    } catch {
      // the device signs out either way
    }
    removeSavedAccounts((a) => a.id === workerId || (!!token && a.deviceJwt === token))
    await clearDeviceJwt()
    await clearRefreshToken()
    auth.reset()
    clearCurrentAccount()
    const next = nextRouteAfterLogout()
    await reconnectAfterLogout(next)
    return next.path
  }

  /** The banner was pressed: sign out and go to quick login. */
  async function dismissSessionBanner(): Promise<void> {
    useSocketStore().setSessionBanner('')
    useAuthStore().reset()
    await env.navigate('/quick-login')
  }

  /** Demonstration mode: the device token "demo", every command answered inside the page. */
  function enterDemoMode(workerName = 'Демо Сборщик'): void {
    const auth = useAuthStore()
    auth.reset()
    auth.setDeviceJwt(DEMO_TOKEN)
    auth.setWorkerSession({ workerId: 'w-demo', workerName, token: '' })
    host.disconnect()
    host.connect()
  }

  async function leaveDemoMode(): Promise<void> {
    useAuthStore().reset()
    await reconnectAfterLogout({ path: '/device-auth' })
  }

  return { reconnectAfterLogout, forceLogout, revokeSavedSession, deauthorizeDevice, dismissSessionBanner, enterDemoMode, leaveDemoMode }
}
