/**
 * The installed session under the names every caller uses. It is built on
 * first use from the environment `configureSession` has set up (the core
 * feature's install gives the router's navigate); the parts, one job each,
 * are under ./session/.
 */
import { createSession, type Session } from './session/createSession'
import { defaultSessionEnv, type SessionEnv } from './session/env'

export { clearAnonJwt, fetchFreshAnonJwt, fetchInitialJwt } from './anonToken'
export { PhoneAuthError, RefusalError, ServerRejectedError } from './requests'
export { serverBaseUrl } from './serviceUrl'
export { DEMO_TOKEN } from './demoToken'
export type { SessionEnv } from './session/env'
export type { Login as SocketLogin } from './identityCheck'
export { isDemoMode } from './session/tokens'
export { NO_CHANNEL } from './session/requestHelpers'
export { RENEWAL_INTERVAL_MS } from './session/renewal'
export { CREDENTIALS_WAIT_MS } from './session/startup'
export { nextRouteAfterLogout, type LogoutRoute } from './session/signOut'
export type { PhoneVerifyAnswer } from './session/signInRequests'

let env: SessionEnv | undefined
let installed: Session | undefined

function session(): Session {
  installed ??= createSession((env ??= defaultSessionEnv()))
  return installed
}

/** Changes what the session reaches outside itself; the session reads it at each use. */
export function configureSession(patch: Partial<SessionEnv>): void {
  Object.assign((env ??= defaultSessionEnv()), patch)
}

/** Forgets everything the session holds (tests, and a full sign-out of the page). */
export function resetSession(): void {
  installed?.reset()
}

// tokens
export const socketLogin: Session['socketLogin'] = () => session().socketLogin()
export const setAnonJwt: Session['setAnonJwt'] = (...a) => session().setAnonJwt(...a)
export const channelToken: Session['channelToken'] = () => session().channelToken()
export const currentDeviceToken: Session['currentDeviceToken'] = () => session().currentDeviceToken()
export const refreshTokenFor: Session['refreshTokenFor'] = (...a) => session().refreshTokenFor(...a)
export const storeRenewedTokens: Session['storeRenewedTokens'] = (...a) => session().storeRenewedTokens(...a)

// the channel
export const currentChannel: Session['currentChannel'] = () => session().currentChannel()
export const connectSocket: Session['connectSocket'] = (...a) => session().connectSocket(...a)
export const disconnectSocket: Session['disconnectSocket'] = () => session().disconnectSocket()
export const onChannelConnected: Session['onChannelConnected'] = (...a) => session().onChannelConnected(...a)
export const onChannelDisconnected: Session['onChannelDisconnected'] = (...a) => session().onChannelDisconnected(...a)
export const onPush: Session['onPush'] = (...a) => session().onPush(...a)

// requests
export const send: Session['send'] = (...a) => session().send(...a)
export const request: Session['request'] = (...a) => session().request(...a)
export const command: Session['command'] = (...a) => session().command(...a)
export const sessionRequest: Session['sessionRequest'] = (...a) => session().sessionRequest(...a)

// sign-in requests
export const deviceAuth: Session['deviceAuth'] = (...a) => session().deviceAuth(...a)
export const deviceWhoAmI: Session['deviceWhoAmI'] = () => session().deviceWhoAmI()
export const refreshDeviceJwt: Session['refreshDeviceJwt'] = (...a) => session().refreshDeviceJwt(...a)
export const workerAuth: Session['workerAuth'] = (...a) => session().workerAuth(...a)
export const userPinAuth: Session['userPinAuth'] = (...a) => session().userPinAuth(...a)
export const phoneCodeRequest: Session['phoneCodeRequest'] = (...a) => session().phoneCodeRequest(...a)
export const phoneCodeVerify: Session['phoneCodeVerify'] = (...a) => session().phoneCodeVerify(...a)
export const phoneMoyskladConnect: Session['phoneMoyskladConnect'] = (...a) => session().phoneMoyskladConnect(...a)
export const phoneStandaloneConnect: Session['phoneStandaloneConnect'] = (...a) => session().phoneStandaloneConnect(...a)
export const roleSelect: Session['roleSelect'] = (...a) => session().roleSelect(...a)
export const roleSwitch: Session['roleSwitch'] = (...a) => session().roleSwitch(...a)
export const reportWorkplace: Session['reportWorkplace'] = (...a) => session().reportWorkplace(...a)

// the account description
export const onAccountDescription: Session['onAccountDescription'] = (...a) => session().onAccountDescription(...a)
export const retryAccountDescription: Session['retryAccountDescription'] = () => session().retryAccountDescription()
export const restartCapabilitiesWait: Session['restartCapabilitiesWait'] = () => session().restartCapabilitiesWait()

// renewal
export const runRenewalCheck: Session['runRenewalCheck'] = (...a) => session().runRenewalCheck(...a)

// signing out, demonstration mode, the banner
export const reconnectAfterLogout: Session['reconnectAfterLogout'] = (...a) => session().reconnectAfterLogout(...a)
export const forceLogout: Session['forceLogout'] = () => session().forceLogout()
export const revokeSavedSession: Session['revokeSavedSession'] = (...a) => session().revokeSavedSession(...a)
export const deauthorizeDevice: Session['deauthorizeDevice'] = () => session().deauthorizeDevice()
export const dismissSessionBanner: Session['dismissSessionBanner'] = () => session().dismissSessionBanner()
export const enterDemoMode: Session['enterDemoMode'] = (...a) => session().enterDemoMode(...a)
export const leaveDemoMode: Session['leaveDemoMode'] = () => session().leaveDemoMode()

// start-up
export const startSession: Session['startSession'] = (...a) => session().startSession(...a)
