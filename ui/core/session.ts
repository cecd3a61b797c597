/**
 * The session: which token the channel uses, opening and replacing the
 * channel, the request helpers every screen uses, rejected tokens, the
 * identity check, silent renewal, forced log-out and the connection log.
 * One channel at a time; a new token always means a new channel.
 */
import { writeAppLog } from './appLog'
import { accountModeFrom, writeAccountMode } from './accountMode'
import { normaliseAccountDescription, type AccountDescription } from './accountDescription'
import { useAccountStore } from './accountStore'
import { clearAnonJwt, fetchFreshAnonJwt, fetchInitialJwt } from './anonToken'
import { useAuthStore, type WorkerSession } from './authStore'
import { errorText } from './bridge'
import {
  connectedLine,
  connectErrorLine,
  disconnectedLine,
  reconnectAttemptLine,
  reconnectedLine,
  SELF_RECONNECT_LINE,
} from './connectionLog'
import { clearDeviceJwt, clearRefreshToken, loadDeviceJwt, loadRefreshToken, saveDeviceJwt, saveRefreshToken } from './credentials'
import { DemoChannel } from './demoChannel'
import { DEMO_TOKEN } from './demoToken'
import { getOrCreateDeviceId } from './deviceId'
import { createHooks } from './hooks'
import type { Payload } from './envelope'
import { BANNER_RECHECK_MS, IdentityCheck, RETRY_MS, type Login } from './identityCheck'
import { tokenExpiresAt } from './jwt'
import { renewalDecision, type RenewalDecision } from './renewal'
import {
  COMMAND_TIMEOUT_MS,
  createSerialiser,
  errorFrom,
  isTimeout,
  phoneErrorFrom,
  refusalFrom,
  requestOn,
  withTimeout,
  type RequestOptions,
} from './requests'
import {
  clearCurrentAccount,
  findAccountByJwt,
  newestSavedAccount,
  readCurrentAccount,
  readSavedAccounts,
  removeSavedAccounts,
  replaceAccountTokens,
  type SavedAccount,
} from './savedAccounts'
import { ServerChannel, type Channel, type ChannelState } from './serverChannel'
import { serverBaseUrl } from './serviceUrl'
import { useSettingsStore } from './settings'
import { useSocketStore } from './socketStore'
import { STAGE } from './startup'

export { clearAnonJwt, fetchFreshAnonJwt, fetchInitialJwt } from './anonToken'
export { PhoneAuthError, RefusalError, ServerRejectedError } from './requests'
export { serverBaseUrl } from './serviceUrl'
export { DEMO_TOKEN } from './demoToken'

export const RENEWAL_INTERVAL_MS = 6 * 60 * 60 * 1000
export const CREDENTIALS_WAIT_MS = 4_000
export const NO_CHANNEL = 'нет соединения с сервером'

export type SocketLogin = Login

/** What the session reaches outside itself; tests replace parts of it. */
export interface SessionEnv {
  navigate(path: string): Promise<unknown> | void
  userAgent(): string
  now(): number
  /** pauses of the identity check: before asking again, and while the banner is shown */
  identityPauses: { retryMs: number; recheckMs: number }
}

const env: SessionEnv = {
  // The core feature's install gives the router's; a navigation before that is a fault in the start order.
  navigate: (path) => writeAppLog(`сессия: переход на ${path} до установки маршрутов`),
  userAgent: () => (typeof navigator !== 'undefined' ? navigator.userAgent : ''),
  now: () => Date.now(),
  identityPauses: { retryMs: RETRY_MS, recheckMs: BANNER_RECHECK_MS },
}

export function configureSession(patch: Partial<SessionEnv>): void {
  Object.assign(env, patch)
}

// ---- module state

let channel: Channel | undefined
/** the token installed with `setAnonJwt` and whether it is a saved account's */
let installedToken = ''
let installedIsAccount = false
let connectedAt: number | null = null
let disconnectedAt: number | null = null
let renewalTimer: ReturnType<typeof setInterval> | undefined
let rejectionRunning = false
let authRestarts = 0
const serialised = /*#__PURE__*/ createSerialiser()
const pushHandlers = new Map<string, Set<(payload: Payload) => void>>()
const attachedPushes = new WeakMap<Channel, Set<string>>()
const connectedHooks = createHooks('сокет: подключение')
const disconnectedHooks = createHooks('сокет: отключение')
const descriptionHooks = createHooks<[AccountDescription]>('описание аккаунта')

const identity = /*#__PURE__*/ new IdentityCheck({
  connected: () => channel?.getState().connect === true,
  login: () => socketLogin(),
  whoAmI: () => deviceWhoAmI(),
  hasRefreshToken: async () => (await refreshTokenFor(await currentDeviceToken())) !== null,
  refreshAndReconnect: async () => {
    const token = await currentDeviceToken()
    const refresh = await refreshTokenFor(token)
    if (!token || !refresh) throw new Error('нет токена обновления')
    const renewed = await refreshDeviceJwt(refresh)
    await storeRenewedTokens(token, renewed, refresh)
    writeAppLog(SELF_RECONNECT_LINE)
    disconnectSocket()
    connectSocket()
  },
  accept: (raw) => applyAccountDescription(raw),
  setBanner: (text) => useSocketStore().setSessionBanner(text),
  pauses: () => env.identityPauses,
})

// ---- tokens

/** "device" when a device is signed in, "account" when a saved account's token is installed, else "anon". */
export function socketLogin(): SocketLogin {
  if (useAuthStore().deviceJwt) return 'device'
  if (installedToken && installedIsAccount) return 'account'
  return 'anon'
}

/** Installs the token the next channel offers when no device is signed in. */
export function setAnonJwt(token: string, savedAccount = false): void {
  installedToken = token
  installedIsAccount = savedAccount
}

/** The token a new channel offers: the device token, else the installed one, else none. */
export function channelToken(): string {
  return useAuthStore().deviceJwt || installedToken || ''
}

export function isDemoMode(): boolean {
  return useAuthStore().deviceJwt === DEMO_TOKEN
}

/** The device token in use: the signed-in one, the installed account's, the stored one, else the newest account's. */
export async function currentDeviceToken(): Promise<string | null> {
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
export async function refreshTokenFor(deviceToken: string | null): Promise<string | null> {
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
export async function storeRenewedTokens(oldToken: string, renewed: { token: string; refreshToken?: string }, oldRefresh?: string): Promise<void> {
  const auth = useAuthStore()
  const wasSignedIn = auth.deviceJwt === oldToken
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
    writeAppLog(`сокет: обновленный токен не сохранился: ${errorText(err)}`)
  }
}

// ---- the channel

export function currentChannel(): Channel | undefined {
  return channel
}

/** Opens the channel if there is none; `onFirstConnect` runs once, at the first connection. */
export function connectSocket(onFirstConnect?: () => void): Channel {
  if (!channel) {
    const token = channelToken()
    const ch: Channel =
      token === DEMO_TOKEN
        ? new DemoChannel()
        : new ServerChannel({ url: serverBaseUrl(), getToken: () => token, onConnectError: (err) => onConnectError(ch, err) })
    channel = ch
    wire(ch)
    ch.init()
  }
  if (onFirstConnect) {
    let done = false
    const ch = channel
    let unsubscribe: () => void = () => {}
    unsubscribe = ch.subscribeState((s) => {
      if (done || !s.connect) return
      done = true
      queueMicrotask(() => unsubscribe())
      onFirstConnect()
    })
  }
  return channel
}

/** Destroys the channel. */
export function disconnectSocket(): void {
  const ch = channel
  channel = undefined
  identity.stop()
  stopRenewal()
  ch?.destroy()
  useSocketStore().setConnected(false)
}

function wire(ch: Channel): void {
  let wasConnected = false
  ch.subscribeState((s: ChannelState) => {
    if (ch !== channel) return
    if (s.connect && !wasConnected) {
      wasConnected = true
      onConnected()
    } else if (!s.connect && wasConnected) {
      wasConnected = false
      onDisconnected()
    }
  })
  ch.onLifecycle((e) => {
    if (ch !== channel) return
    const now = env.now()
    switch (e.type) {
      case 'connect':
        writeAppLog(connectedLine(now, disconnectedAt))
        connectedAt = now
        disconnectedAt = null
        break
      case 'disconnect':
        writeAppLog(disconnectedLine(e.reason, now, connectedAt))
        connectedAt = null
        disconnectedAt = now
        break
      case 'reconnect_attempt':
        writeAppLog(reconnectAttemptLine(e.attempt))
        break
      case 'reconnect':
        writeAppLog(reconnectedLine(e.attempt))
        break
      case 'connect_error':
        writeAppLog(connectErrorLine(e.message))
        break
    }
  })
  ch.onCommand('tsdForceLogout.push', () => void forceLogout())
  ch.onCommand('tsdPing.push', (p) => void answerPing(ch, p))
  for (const name of pushHandlers.keys()) attachPush(ch, name)
}

function onConnected(): void {
  const socket = useSocketStore()
  socket.setConnected(true)
  authRestarts = 0
  identity.start()
  startRenewal()
  void reportWorkplaceOnConnect()
  connectedHooks.run()
}

function onDisconnected(): void {
  useSocketStore().setConnected(false)
  stopRenewal()
  disconnectedHooks.run()
}

/** Runs on every transition to connected (listeners of other parts: documents, printing, signing ...). */
export function onChannelConnected(hook: () => void): () => void {
  return connectedHooks.add(hook)
}

export function onChannelDisconnected(hook: () => void): () => void {
  return disconnectedHooks.add(hook)
}

/** Runs with every account description the identity check receives. */
export function onAccountDescription(hook: (d: AccountDescription) => void): () => void {
  return descriptionHooks.add(hook)
}

// ---- requests

function ask(name: string, payload: Payload, options: RequestOptions): Promise<Payload> {
  return serialised(name, () => {
    const ch = channel
    if (!ch) return Promise.reject(new Error(NO_CHANNEL))
    return requestOn(ch, name, payload, options)
  })
}

/** Emits a message that has no answer. */
export function send(name: string, payload: Payload = {}): boolean {
  if (!channel) return false
  channel.send(name, payload)
  return true
}

/** A plain request: resolves the answer's payload as it is (callers look at `error`/`errorCode`). */
export function request(name: string, payload: Payload = {}, options: RequestOptions = {}): Promise<Payload> {
  return ask(name, payload, options)
}

/** A request whose refusal (`errorCode` or `error`) rejects with RefusalError. */
export async function command(
  name: string,
  payload: Payload = {},
  timeoutMs: number = COMMAND_TIMEOUT_MS,
  accept?: (p: Payload) => boolean,
  options: Pick<RequestOptions, 'connectedOnly'> = {},
): Promise<Payload> {
  const p = await ask(name, payload, { timeoutMs, accept, ...options })
  const refusal = refusalFrom(p)
  if (refusal) throw refusal
  return p
}

/** The session and document helpers: a non-empty `error` rejects with its text. */
export async function sessionRequest(name: string, payload: Payload, timeoutMs: number, options: RequestOptions = {}): Promise<Payload> {
  const p = await ask(name, payload, { ...options, timeoutMs })
  const err = errorFrom(p)
  if (err) throw err
  return p
}

async function phoneRequest(name: string, payload: Payload, timeoutMs: number): Promise<Payload> {
  const p = await ask(name, payload, { timeoutMs })
  const err = phoneErrorFrom(p)
  if (err) throw err
  return p
}

/** Listens to a message the server pushes (on this channel and every later one). */
export function onPush(name: string, handler: (payload: Payload) => void): () => void {
  let set = pushHandlers.get(name)
  if (!set) pushHandlers.set(name, (set = new Set()))
  set.add(handler)
  if (channel) attachPush(channel, name)
  return () => {
    set.delete(handler)
  }
}

function attachPush(ch: Channel, name: string): void {
  let names = attachedPushes.get(ch)
  if (!names) attachedPushes.set(ch, (names = new Set()))
  if (names.has(name)) return
  names.add(name)
  ch.onCommand(name, (p) => {
    for (const h of [...(pushHandlers.get(name) ?? [])]) {
      try {
        h(p)
      } catch (err) {
        console.error(`[socket] обработчик ${name} упал:`, err)
      }
    }
  })
}

// ---- session commands

function tokens(p: Payload): { token: string; refreshToken: string } {
  const token = typeof p.token === 'string' ? p.token : ''
  if (!token) throw new Error('в ответе нет токена')
  return { token, refreshToken: typeof p.refreshToken === 'string' ? p.refreshToken : '' }
}

/** Signs the device in with an eight-digit code written "NNNN-NNNN". */
export async function deviceAuth(pin: string): Promise<{ token: string; refreshToken: string }> {
  return tokens(await sessionRequest('deviceAuth', { pin }, 25_000))
}

export async function deviceWhoAmI(): Promise<AccountDescription> {
  return normaliseAccountDescription(await sessionRequest('deviceWhoAmI', {}, 10_000))
}

/**
 * Renews the device token. The refresh token goes with the request so the
 * renewal also works on a connection that is not the token's own.
 */
export async function refreshDeviceJwt(refreshToken?: string): Promise<{ token: string; refreshToken?: string }> {
  const p = await sessionRequest('refreshDeviceJwt', refreshToken ? { refreshToken } : {}, 10_000)
  const t = tokens(p)
  return t.refreshToken ? t : { token: t.token }
}

export async function workerAuth(method: 'qr' | 'pin', code: string): Promise<WorkerSession> {
  const p = await sessionRequest('workerAuth', { method, code }, 5_000)
  const workerId = typeof p.workerId === 'string' || typeof p.workerId === 'number' ? String(p.workerId) : ''
  if (!workerId) throw new Error('в ответе нет сотрудника')
  return { workerId, workerName: typeof p.workerName === 'string' ? p.workerName : '', token: typeof p.token === 'string' ? p.token : '' }
}

/** Reports the outcome of a quick-login PIN (the PIN itself never leaves the device). */
export function userPinAuth(success: boolean): boolean {
  return send('userPinAuth', { success })
}

export async function phoneCodeRequest(phone: string): Promise<{ codeLength?: number }> {
  const p = await phoneRequest('phoneCodeRequest', { phone }, 120_000)
  return typeof p.codeLength === 'number' && p.codeLength > 0 ? { codeLength: p.codeLength } : {}
}

export type PhoneVerifyAnswer =
  | { needsMoysklad: true; registrationToken: string }
  | { needsMoysklad: false; token: string; refreshToken: string }

export async function phoneCodeVerify(phone: string, code: string): Promise<PhoneVerifyAnswer> {
  const p = await phoneRequest('phoneCodeVerify', { phone, code }, 25_000)
  if (p.needsMoysklad === true) {
    writeAccountMode(accountModeFrom({ moysklad: false, profile: '' }))
    return { needsMoysklad: true, registrationToken: typeof p.registrationToken === 'string' ? p.registrationToken : '' }
  }
  return { needsMoysklad: false, ...tokens(p) }
}

export async function phoneMoyskladConnect(registrationToken: string, msToken: string): Promise<{ token: string; refreshToken: string }> {
  const p = await phoneRequest('phoneMoyskladConnect', { registrationToken, msToken }, 30_000)
  writeAccountMode(accountModeFrom(p))
  return tokens(p)
}

export async function phoneStandaloneConnect(registrationToken: string, name?: string): Promise<{ token: string; refreshToken: string }> {
  const payload: Payload = { registrationToken }
  const trimmed = name?.trim()
  if (trimmed) payload.name = trimmed
  const p = await phoneRequest('phoneStandaloneConnect', payload, 30_000)
  writeAccountMode(accountModeFrom(p))
  return tokens(p)
}

export function roleSelect(roles: string[]): Promise<Payload> {
  return command('roleSelect', { roles })
}

export function roleSwitch(role: string): Promise<Payload> {
  return command('roleSwitch', { role })
}

export function reportWorkplace(fiasId: string, deviceId: string): Promise<Payload> {
  return request('reportWorkplace', { fiasId, deviceId }, { timeoutMs: 10_000 })
}

/**
 * Ends another quick-login account's server session (`deviceLogout` with its
 * refresh token, 5 s) and removes the account here. Answers the server's
 * answer, or null when there was none (offline or no answer in time).
 */
export async function revokeSavedSession(accountId: string): Promise<{ revoked: boolean; reason?: string } | null> {
  const account = readSavedAccounts().find((a) => a.id === accountId)
  let answer: { revoked: boolean; reason?: string } | null = null
  if (account && channel?.getState().connect) {
    try {
      const p = await request('deviceLogout', { refreshToken: account.refreshToken }, { timeoutMs: 5_000 })
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
export async function deauthorizeDevice(): Promise<string> {
  const auth = useAuthStore()
  const token = auth.deviceJwt
  const workerId = auth.workerSession?.workerId
  try {
    await request('deviceLogout', {}, { timeoutMs: 10_000 })
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

// ---- account description

function applyAccountDescription(raw: unknown): void {
  const d = normaliseAccountDescription(raw)
  useAccountStore().apply(d)
  writeAccountMode(accountModeFrom(d))
  descriptionHooks.run(d)
  void runRenewalCheck()
}

/** Asks `deviceWhoAmI` again (the menu's "Повторить") and applies the answer; false when it failed. */
export async function retryAccountDescription(): Promise<boolean> {
  try {
    applyAccountDescription(await deviceWhoAmI())
    return true
  } catch {
    return false
  }
}

/**
 * Starts the wait for the account capabilities over (every sign-in and
 * account switch): they count as received at once when the channel is not
 * connected now, else when the next `deviceWhoAmI` answers.
 */
export function restartCapabilitiesWait(): void {
  const account = useAccountStore()
  account.reset()
  if (!useSocketStore().isConnected) account.markReceived()
}

// ---- rejected tokens

function onConnectError(ch: Channel, err: Error): void {
  if (ch !== channel) return
  const socket = useSocketStore()
  socket.setConnected(false)
  socket.setReconnecting(true)
  if (!/auth/i.test(err?.message ?? '')) return // Socket.IO keeps retrying by itself
  void handleRejectedToken(ch)
}

/**
 * The handshake refused the token. A device or account token with a refresh
 * token is renewed and the channel reopened; otherwise, or when the renewal
 * fails, the device is signed out and the channel reopened anonymously.
 */
async function handleRejectedToken(rejected: Channel): Promise<void> {
  if (rejectionRunning) return
  rejectionRunning = true
  try {
    const login = socketLogin()
    if (login !== 'anon') {
      const token = rejected.token
      const refresh = await refreshTokenFor(token)
      if (refresh) {
        try {
          const renewed = await refreshOnGuestChannel(refresh)
          await storeRenewedTokens(token, renewed, refresh)
          if (rejected !== channel) return
          disconnectSocket()
          connectSocket()
          return
        } catch (err) {
          writeAppLog(`сокет: токен отклонен, обновить не удалось — ${errorText(err)}`)
        }
      }
      if (rejected !== channel) return
      await clearDeviceJwt()
      await clearRefreshToken()
      useAuthStore().reset()
    }
    await anonymousRestart(rejected)
  } finally {
    rejectionRunning = false
  }
}

/**
 * The renewal after a refused handshake cannot go over the refused channel
 * (Socket.IO does not retry a refused handshake): it goes over a short-lived
 * channel without a token.
 */
async function refreshOnGuestChannel(refreshToken: string): Promise<{ token: string; refreshToken?: string }> {
  const guest = new ServerChannel({ url: serverBaseUrl(), getToken: () => '' })
  guest.init()
  try {
    const p = await requestOn(guest, 'refreshDeviceJwt', { refreshToken }, { timeoutMs: 10_000 })
    const err = errorFrom(p)
    if (err) throw err
    const t = tokens(p)
    return t.refreshToken ? t : { token: t.token }
  } finally {
    guest.destroy()
  }
}

/** Drops the cached anonymous token, fetches a new one and reopens the channel with it. */
async function anonymousRestart(replacing?: Channel): Promise<void> {
  authRestarts += 1
  // Refused again and again: wait longer each time instead of hammering the server.
  const pause = authRestarts <= 1 ? 0 : Math.min(30_000, 1_000 * 2 ** (authRestarts - 2))
  if (pause) await new Promise((r) => setTimeout(r, pause))
  if (replacing && replacing !== channel) return
  clearAnonJwt()
  const token = await fetchInitialJwt()
  if (!token) return
  if (replacing && replacing !== channel) return
  setAnonJwt(token)
  disconnectSocket()
  connectSocket()
}

// ---- forced log-out and ping

export interface LogoutRoute {
  path: '/quick-login' | '/device-auth'
  account?: SavedAccount
}

/** Quick login with the newest remaining account, else device sign-in. */
export function nextRouteAfterLogout(): LogoutRoute {
  const account = newestSavedAccount()
  return account ? { path: '/quick-login', account } : { path: '/device-auth' }
}

/** Reopens the channel for the next sign-in: with the account's token, or anonymously. */
export async function reconnectAfterLogout(next: LogoutRoute): Promise<void> {
  disconnectSocket()
  if (next.account) {
    setAnonJwt(next.account.deviceJwt, true)
    connectSocket()
    return
  }
  authRestarts = 0
  setAnonJwt('')
  await anonymousRestart()
}

/** The server de-authorised this device. */
export async function forceLogout(): Promise<void> {
  const auth = useAuthStore()
  // The token the channel was opened with: the signed-in one, or a quick-login account's.
  const token = auth.deviceJwt || (installedIsAccount ? installedToken : '')
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

async function answerPing(ch: Channel, p: Payload): Promise<void> {
  const deviceId = await getOrCreateDeviceId()
  if (ch !== channel) return
  ch.send('tsdPing', { replyTo: p.replyTo, deviceId, userAgent: env.userAgent() })
}

// ---- renewal

/** Checks the device token's expiry and renews it silently when 28 days or fewer are left. */
export async function runRenewalCheck(now = env.now()): Promise<RenewalDecision> {
  const token = await currentDeviceToken()
  const expiresAt = token && token !== DEMO_TOKEN ? tokenExpiresAt(token) : undefined
  const refresh = await refreshTokenFor(token)
  const decision = renewalDecision(expiresAt, now, refresh !== null)
  console.info(`[socket] ${decision.line}`)
  if (decision.action === 'renew' && token && refresh) {
    try {
      await storeRenewedTokens(token, await refreshDeviceJwt(refresh), refresh)
    } catch (err) {
      console.warn('[socket] продлить вход не удалось, попробуем при следующей проверке:', errorText(err))
    }
  }
  return decision
}

function startRenewal(): void {
  if (renewalTimer !== undefined) return
  renewalTimer = setInterval(() => void runRenewalCheck(), RENEWAL_INTERVAL_MS)
}

function stopRenewal(): void {
  if (renewalTimer !== undefined) clearInterval(renewalTimer)
  renewalTimer = undefined
}

// ---- on every connection

async function reportWorkplaceOnConnect(): Promise<void> {
  if (socketLogin() === 'anon') return
  const fiasId = useSettingsStore().crypto.fiasId
  if (!fiasId) return
  try {
    await reportWorkplace(fiasId, await getOrCreateDeviceId())
  } catch (err) {
    console.warn('[socket] код места деятельности не передан:', errorText(err))
  }
}

// ---- the session banner and demonstration mode

/** The banner was pressed: sign out and go to quick login. */
export async function dismissSessionBanner(): Promise<void> {
  useSocketStore().setSessionBanner('')
  useAuthStore().reset()
  await env.navigate('/quick-login')
}

/** Demonstration mode: the device token "demo", every command answered inside the page. */
export function enterDemoMode(workerName = 'Демо Сборщик'): void {
  const auth = useAuthStore()
  auth.reset()
  auth.setDeviceJwt(DEMO_TOKEN)
  auth.setWorkerSession({ workerId: 'w-demo', workerName, token: '' })
  disconnectSocket()
  connectSocket()
}

export async function leaveDemoMode(): Promise<void> {
  useAuthStore().reset()
  await reconnectAfterLogout({ path: '/device-auth' })
}

// ---- start-up

/**
 * Chooses the token and opens the channel (start-up step "Проверка
 * авторизации..."): the newest saved account's token, else the stored device
 * token (waiting at most 4 s), else an anonymous one. Never throws.
 */
export async function startSession(setStage: (stage: string) => void): Promise<void> {
  try {
    const auth = useAuthStore()
    // The block belongs to the signed-in account: every device token (one per employee) has its own.
    useSettingsStore().useAccountSettingsSource(
      () => command('appSettingsGet', {}, 10_000),
      () => auth.deviceJwt ?? '',
    )
    const newest = newestSavedAccount()
    if (newest) {
      await clearDeviceJwt()
      await clearRefreshToken()
      setAnonJwt(newest.deviceJwt, true)
      setStage(STAGE.connecting)
      connectSocket()
      return
    }
    const stored = await withTimeout(loadDeviceJwt(), CREDENTIALS_WAIT_MS).catch(() => null)
    if (stored) {
      auth.setDeviceJwt(stored)
      setStage(STAGE.connecting)
      connectSocket()
      return
    }
    setStage(STAGE.token)
    const anon = await fetchInitialJwt()
    if (!anon) return
    setAnonJwt(anon)
    setStage(STAGE.connecting)
    connectSocket()
  } catch (err) {
    writeAppLog(`сокет: старт сессии не удался: ${isTimeout(err) ? 'timeout' : errorText(err)}`)
  }
}

/** Forgets everything this module holds (tests, and a full sign-out of the page). */
export function resetSession(): void {
  disconnectSocket()
  identity.forget()
  installedToken = ''
  installedIsAccount = false
  connectedAt = null
  disconnectedAt = null
  authRestarts = 0
  rejectionRunning = false
}
