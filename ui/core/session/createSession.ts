/**
 * Builds the session from its parts and joins them: the channel host tells
 * the identity check, the renewal, the device reports and the rejected-token
 * handling about its channel; they reopen it through the host.
 */
import { createChannelHost } from './channelHost'
import { createDeviceReports } from './deviceReports'
import type { SessionEnv } from './env'
import { createIdentity } from './identity'
import { createRejectedTokens } from './rejectedToken'
import { createRenewal } from './renewal'
import { createRequestHelpers } from './requestHelpers'
import { createSignInRequests } from './signInRequests'
import { createSignOut } from './signOut'
import { createStartup } from './startup'
import { createTokens } from './tokens'

export type Session = ReturnType<typeof createSession>

/** `env` is read at each use, so a later change to it (the router's navigate) takes effect. */
export function createSession(env: SessionEnv) {
  const tokens = createTokens((line) => env.log(line))
  const host = createChannelHost({
    env,
    token: () => tokens.channelToken(),
    wire: (ch) => {
      ch.onCommand('tsdForceLogout.push', () => void signOut.forceLogout())
      ch.onCommand('tsdPing.push', (p) => void reports.answerPing(ch, p))
    },
    connected: () => {
      rejected.resetRestarts()
      identity.start()
      renewal.start()
      void reports.reportWorkplaceOnConnect()
    },
    disconnected: () => renewal.stop(),
    destroying: () => {
      identity.stop()
      renewal.stop()
    },
    connectError: (ch, err) => rejected.connectError(ch, err),
  })
  const helpers = createRequestHelpers(host.current)
  const signIn = createSignInRequests(helpers)
  const renewal = createRenewal({ now: () => env.now(), tokens, refreshDeviceJwt: signIn.refreshDeviceJwt })
  const identity = createIdentity({ env, tokens, host, requests: signIn, renewal })
  const rejected = createRejectedTokens({ env, tokens, host })
  const reports = createDeviceReports({ env, tokens, host, requests: signIn })
  const signOut = createSignOut({ env, tokens, host, requests: helpers, rejected })
  const startSession = createStartup({ env, tokens, host, requests: helpers })

  /** Forgets everything the session holds (tests, and a full sign-out of the page); listeners of other features stay. */
  function reset(): void {
    host.reset()
    identity.forget()
    tokens.reset()
    rejected.reset()
  }

  return {
    socketLogin: tokens.socketLogin,
    setAnonJwt: tokens.setAnonJwt,
    channelToken: tokens.channelToken,
    currentDeviceToken: tokens.currentDeviceToken,
    refreshTokenFor: tokens.refreshTokenFor,
    storeRenewedTokens: tokens.storeRenewedTokens,
    currentChannel: host.current,
    connectSocket: host.connect,
    disconnectSocket: host.disconnect,
    onChannelConnected: host.onConnected,
    onChannelDisconnected: host.onDisconnected,
    onPush: host.onPush,
    ...helpers,
    ...signIn,
    onAccountDescription: identity.onAccountDescription,
    retryAccountDescription: identity.retryAccountDescription,
    restartCapabilitiesWait: identity.restartCapabilitiesWait,
    runRenewalCheck: renewal.check,
    ...signOut,
    startSession,
    reset,
  }
}
