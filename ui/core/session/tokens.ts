/**
 * Which token the session uses: the signed-in device's, else the one
 * installed for the next channel (anonymous, or a saved account's waiting for
 * its PIN); the refresh token that belongs to it; keeping renewed tokens.
 */
import { useAuthStore } from '../authStore'
import { errorText } from '../bridge'
import { loadDeviceJwt, loadRefreshToken, saveDeviceJwt, saveRefreshToken } from '../credentials'
import { DEMO_TOKEN } from '../demoToken'
import type { Login } from '../identityCheck'
import { retokenKeptAccount } from '../keptAccount'
import { findAccountByJwt, newestSavedAccount, replaceAccountTokens } from '../savedAccounts'

export type RenewedTokens = { token: string; refreshToken?: string }

export type Tokens = ReturnType<typeof createTokens>

export function createTokens(log: (line: string) => void) {
  /** the token installed with `setAnonJwt` and whether it is a saved account's */
  let installedToken = ''
  let installedIsAccount = false

  /** "device" when a device is signed in, "account" when a saved account's token is installed, else "anon". */
  function socketLogin(): Login {
    if (useAuthStore().deviceJwt) return 'device'
    if (installedToken && installedIsAccount) return 'account'
    return 'anon'
  }

  /** Installs the token the next channel offers when no device is signed in. */
  function setAnonJwt(token: string, savedAccount = false): void {
    installedToken = token
    installedIsAccount = savedAccount
  }

  /** The token a new channel offers: the device token, else the installed one, else none. */
  function channelToken(): string {
    return useAuthStore().deviceJwt || installedToken || ''
  }

  /** The installed saved account's token, else ''. */
  function installedAccountToken(): string {
    return installedIsAccount ? installedToken : ''
  }

  /** The device token in use: the signed-in one, the installed account's, the stored one, else the newest account's. */
  async function currentDeviceToken(): Promise<string | null> {
    const auth = useAuthStore()
    if (auth.deviceJwt) return auth.deviceJwt
    if (installedIsAccount && installedToken) return installedToken
    return (await loadDeviceJwt()) ?? newestSavedAccount()?.deviceJwt ?? null
  }

  /**
   * The refresh token issued with a device token: the saved account that holds
   * the token, else the credentials store. Never another account's: the
   * renewal presents it, so a wrong pair would renew the wrong session.
   */
  async function refreshTokenFor(deviceToken: string | null): Promise<string | null> {
    if (!deviceToken || deviceToken === DEMO_TOKEN) return null
    const account = findAccountByJwt(deviceToken)
    if (account) return account.refreshToken || null
    return loadRefreshToken()
  }

  /**
   * Keeps renewed tokens: the saved account that held the old token gets the
   * new pair (its old refresh token stays when none came); otherwise both go to
   * the credentials store. The signed-in token, or the installed account token,
   * is replaced so the next channel uses the new one.
   */
  async function storeRenewedTokens(oldToken: string, renewed: RenewedTokens, oldRefresh?: string): Promise<void> {
    const auth = useAuthStore()
    const wasSignedIn = auth.deviceJwt === oldToken
    void retokenKeptAccount(oldToken, renewed.token)
    if (findAccountByJwt(oldToken)) {
      replaceAccountTokens(oldToken, renewed.token, renewed.refreshToken)
      // A quick-login account waiting for its PIN stays waiting: its new token is installed, not signed in.
      if (wasSignedIn) auth.setDeviceJwt(renewed.token)
      else if (installedIsAccount && installedToken === oldToken) setAnonJwt(renewed.token, true)
      return
    }
    auth.setDeviceJwt(renewed.token)
    try {
      await saveDeviceJwt(renewed.token)
      const refresh = renewed.refreshToken ?? oldRefresh
      if (refresh) await saveRefreshToken(refresh)
    } catch (err) {
      log(`сокет: обновленный токен не сохранился: ${errorText(err)}`)
    }
  }

  function reset(): void {
    installedToken = ''
    installedIsAccount = false
  }

  return { socketLogin, setAnonJwt, channelToken, installedAccountToken, currentDeviceToken, refreshTokenFor, storeRenewedTokens, reset }
}

export function isDemoMode(): boolean {
  return useAuthStore().deviceJwt === DEMO_TOKEN
}
