/** Choosing the token at start-up and opening the first channel. */
import { fetchInitialJwt } from '../anonToken'
import { useAuthStore } from '../authStore'
import { errorText } from '../bridge'
import { clearDeviceJwt, clearRefreshToken, loadDeviceJwt } from '../credentials'
import { isTimeout, withTimeout } from '../requests'
import { newestSavedAccount } from '../savedAccounts'
import { useSettingsStore } from '../settings'
import { STAGE } from '../startup'
import type { ChannelHost } from './channelHost'
import type { SessionEnv } from './env'
import type { RequestHelpers } from './requestHelpers'
import type { Tokens } from './tokens'

export const CREDENTIALS_WAIT_MS = 4_000

export interface StartupDeps {
  env: Pick<SessionEnv, 'log'>
  tokens: Pick<Tokens, 'setAnonJwt'>
  host: Pick<ChannelHost, 'connect'>
  requests: Pick<RequestHelpers, 'command'>
}

export function createStartup({ env, tokens, host, requests }: StartupDeps) {
  /**
   * Chooses the token and opens the channel (start-up step "Проверка
   * авторизации..."): the newest saved account's token, else the stored device
   * token (waiting at most 4 s), else an anonymous one. Never throws.
   */
  return async function startSession(setStage: (stage: string) => void): Promise<void> {
    try {
      const auth = useAuthStore()
      // The block belongs to the signed-in account: every device token (one per employee) has its own.
      useSettingsStore().useAccountSettingsSource(
        () => requests.command('appSettingsGet', {}, 10_000),
        () => auth.deviceJwt ?? '',
      )
      const newest = newestSavedAccount()
      if (newest) {
        await clearDeviceJwt()
        await clearRefreshToken()
        tokens.setAnonJwt(newest.deviceJwt, true)
        setStage(STAGE.connecting)
        host.connect()
        return
      }
      const stored = await withTimeout(loadDeviceJwt(), CREDENTIALS_WAIT_MS).catch(() => null)
      if (stored) {
        auth.setDeviceJwt(stored)
        setStage(STAGE.connecting)
        host.connect()
        return
      }
      setStage(STAGE.token)
      const anon = await fetchInitialJwt()
      if (!anon) return
      tokens.setAnonJwt(anon)
      setStage(STAGE.connecting)
      host.connect()
    } catch (err) {
      env.log(`сокет: старт сессии не удался: ${isTimeout(err) ? 'timeout' : errorText(err)}`)
    }
  }
}
