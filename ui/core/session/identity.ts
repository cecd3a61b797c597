/**
 * Who the connection belongs to: the identity check on every connection, the
 * account description it brings, and the wait for the account capabilities.
 */
import { accountModeFrom, writeAccountMode } from '../accountMode'
import { normaliseAccountDescription, type AccountDescription } from '../accountDescription'
import { useAccountStore } from '../accountStore'
import { SELF_RECONNECT_LINE } from '../connectionLog'
import { DEMO_TOKEN } from '../demoToken'
import { createHooks } from '../hooks'
import { IdentityCheck } from '../identityCheck'
import { keepAccount, keptAccountFor, keptAccountsReady } from '../keptAccount'
import { useSocketStore } from '../socketStore'
import type { ChannelHost } from './channelHost'
import type { SessionEnv } from './env'
import type { Renewal } from './renewal'
import type { SignInRequests } from './signInRequests'
import type { Tokens } from './tokens'

export interface IdentityDeps {
  env: Pick<SessionEnv, 'identityPauses' | 'log'>
  tokens: Tokens
  host: Pick<ChannelHost, 'current' | 'connect' | 'disconnect'>
  requests: Pick<SignInRequests, 'deviceWhoAmI' | 'refreshDeviceJwt'>
  renewal: Pick<Renewal, 'check'>
}

export type Identity = ReturnType<typeof createIdentity>

export function createIdentity({ env, tokens, host, requests, renewal }: IdentityDeps) {
  const descriptionHooks = createHooks<[AccountDescription]>('описание аккаунта')

  const check = new IdentityCheck({
    connected: () => host.current()?.getState().connect === true,
    login: () => tokens.socketLogin(),
    whoAmI: () => requests.deviceWhoAmI(),
    hasRefreshToken: async () => (await tokens.refreshTokenFor(await tokens.currentDeviceToken())) !== null,
    refreshAndReconnect: async () => {
      const token = await tokens.currentDeviceToken()
      const refresh = await tokens.refreshTokenFor(token)
      if (!token || !refresh) throw new Error('нет токена обновления')
      const renewed = await requests.refreshDeviceJwt(refresh)
      await tokens.storeRenewedTokens(token, renewed, refresh)
      env.log(SELF_RECONNECT_LINE)
      host.disconnect()
      host.connect()
    },
    accept: (raw) => apply(raw),
    setBanner: (text) => useSocketStore().setSessionBanner(text),
    pauses: () => env.identityPauses,
  })

  function apply(raw: unknown): void {
    const d = normaliseAccountDescription(raw)
    useAccountStore().apply(d)
    // The demonstration account is answered on the page: it is no account this device works for.
    const token = tokens.channelToken()
    if (token !== DEMO_TOKEN) void keepAccount(token, d)
    writeAccountMode(accountModeFrom(d))
    descriptionHooks.run(d)
    void renewal.check()
  }

  /** Asks `deviceWhoAmI` again (the menu's "Повторить") and applies the answer; false when it failed. */
  async function retryAccountDescription(): Promise<boolean> {
    try {
      apply(await requests.deviceWhoAmI())
      return true
    } catch {
      return false
    }
  }

  /**
   * Starts the wait for the account capabilities over (every sign-in and
   * account switch): they count as received at once when the channel is not
   * connected now, else when the next `deviceWhoAmI` answers. The description
   * last confirmed for the token stands in until then (see ../keptAccount).
   */
  function restartCapabilitiesWait(): void {
    const account = useAccountStore()
    account.reset()
    const token = tokens.channelToken()
    account.keep(keptAccountFor(token))
    if (!useSocketStore().isConnected) account.markReceived()
    // The host file's copy may bring back what local storage lost in a hard kill.
    const generation = account.waitGeneration
    void keptAccountsReady().then(() => {
      if (account.waitGeneration === generation && !account.kept) account.keep(keptAccountFor(token))
    })
  }

  return {
    start: () => check.start(),
    stop: () => check.stop(),
    forget: () => check.forget(),
    retryAccountDescription,
    restartCapabilitiesWait,
    /** Runs with every account description the identity check receives. */
    onAccountDescription: (hook: (d: AccountDescription) => void) => descriptionHooks.add(hook),
  }
}
