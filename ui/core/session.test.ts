// @vitest-environment node
// The session against the real local service host over a real Socket.IO connection.
import { afterAll, afterEach, beforeAll, beforeEach, describe, expect, it } from 'vitest'
import { useAccountStore } from './accountStore'
import { useAuthStore } from './authStore'
import { BANNER_REFUSED, BANNER_STALE } from './identityCheck'
import { keptAccountFor } from './keptAccount'
import { readLocal, writeLocal } from './localStore'
import { readSavedAccounts } from './savedAccounts'
import {
  connectSocket,
  deauthorizeDevice,
  disconnectSocket,
  enterDemoMode,
  deviceWhoAmI,
  restartCapabilitiesWait,
  revokeSavedSession,
  socketLogin,
  startSession,
  userPinAuth,
  workerAuth,
} from './session'
import { useSettingsStore } from './settings'
import { useSocketStore } from './socketStore'
import { endSession, freshSession, saveAccounts, type SessionKit } from './testing/sessionKit'
import { eventually, StandIn } from './testing/standIn'

let standIn: StandIn
let kit: SessionKit

beforeAll(async () => {
  standIn = await StandIn.start()
})
afterAll(() => standIn.close())
beforeEach(async () => {
  await standIn.reset()
  kit = freshSession(standIn.url)
})
afterEach(() => endSession())

const connected = () => eventually('the channel to connect', () => useSocketStore().isConnected)

async function onlyConnection() {
  return eventually('exactly one connection', async () => {
    const list = await standIn.connections()
    return list.length === 1 ? list[0]! : undefined
  })
}

describe('start-up', () => {
  it('with two saved accounts connects with the newest one and leaves the device signed out', async () => {
    const older = await standIn.mint('u-igor')
    const newer = await standIn.mint('u-maria')
    saveAccounts(older, newer)
    writeLocal('device_jwt', older.token)
    writeLocal('refresh_token', older.refreshToken)
    const stages: string[] = []

    await startSession((s) => stages.push(s))
    await connected()

    expect(stages).toEqual(['Подключение...'])
    await eventually('only the newest account connected', async () => (await onlyConnection()).token === newer.token)
    expect(socketLogin()).toBe('account')
    expect(useAuthStore().deviceJwt).toBeNull()
    expect(readLocal('device_jwt')).toBeUndefined()
    expect(readLocal('refresh_token')).toBeUndefined()
  })

  it('without accounts or a stored token fetches an anonymous token and connects with it', async () => {
    const stages: string[] = []
    await startSession((s) => stages.push(s))
    await connected()
    expect(stages).toEqual(['Получение токена...', 'Подключение...'])
    const conn = await onlyConnection()
    expect(conn.kind).toBe('anon')
    expect(readLocal('anon_jwt')).toBe(conn.token)
    expect(kit.logLines).toContain('fetchInitialJwt: ок, токен получен')
    expect(kit.logLines).toContain('сокет: подключен')
  })
})

describe('a refused handshake', () => {
  it('with a refresh token renews once over a token-less connection and reconnects with the new token', async () => {
    const old = await standIn.mint('u-anna')
    writeLocal('device_jwt', old.token)
    writeLocal('refresh_token', old.refreshToken)
    await standIn.expireToken(old.token)

    await startSession(() => {})
    await eventually('the renewed token in use', () => useSocketStore().isConnected && useAuthStore().deviceJwt !== old.token)

    const refreshes = await standIn.messages('refreshDeviceJwt')
    expect(refreshes).toHaveLength(1)
    expect(refreshes[0]!.kind).toBe('guest')
    expect(refreshes[0]!.p).toEqual({ refreshToken: old.refreshToken })
    const auth = useAuthStore()
    await eventually('only the renewed connection', async () => (await onlyConnection()).token === auth.deviceJwt)
    expect(readLocal('device_jwt')).toBe(auth.deviceJwt)
    expect(readLocal('refresh_token')).not.toBe(old.refreshToken)
    expect(kit.logLines).toContain('сокет: не удалось подключиться — auth: token expired')
  })

  it('with a failing renewal signs the device out and restarts anonymously', async () => {
    const old = await standIn.mint('u-anna')
    writeLocal('device_jwt', old.token)
    writeLocal('refresh_token', old.refreshToken)
    await standIn.expireToken(old.token)
    await standIn.nextReply('refreshDeviceJwt', 'fail', { payload: { error: 'refresh token is not valid' } })

    await startSession(() => {})
    await eventually('an anonymous connection', async () => (await standIn.connections())[0]?.kind === 'anon')

    expect(useAuthStore().deviceJwt).toBeNull()
    expect(socketLogin()).toBe('anon')
    expect(readLocal('device_jwt')).toBeUndefined()
    expect(readLocal('refresh_token')).toBeUndefined()
    expect(await standIn.messages('refreshDeviceJwt')).toHaveLength(1)
  })

  it('of a saved account renews the account and keeps it waiting for its PIN', async () => {
    const old = await standIn.mint('u-igor')
    const [account] = saveAccounts(old)
    await standIn.expireToken(old.token)

    await startSession(() => {})
    await eventually('the renewed account token in use', async () => {
      const list = await standIn.connections()
      return list.length === 1 && list[0]!.token !== old.token && list[0]!.kind === 'device'
    })

    const saved = readSavedAccounts()[0]!
    expect(saved.id).toBe(account!.id)
    expect(saved.deviceJwt).not.toBe(old.token)
    expect(saved.refreshToken).not.toBe(old.refreshToken)
    expect(useAuthStore().deviceJwt).toBeNull()
    expect(socketLogin()).toBe('account')
  })
})

describe('identity check', () => {
  it('the account confirmed for a token stands in for it while the service is away', async () => {
    const t = await standIn.mint('u-anna')
    useAuthStore().setDeviceJwt(t.token)
    connectSocket()
    await eventually('the account description', () => useAccountStore().received)
    await eventually('the kept account', () => keptAccountFor(t.token)?.fullName === 'Анна Смирнова')

    disconnectSocket()
    restartCapabilitiesWait()
    const account = useAccountStore()
    expect(account.received).toBe(true)
    expect(account.description?.fullName).toBe('Анна Смирнова')
    expect(account.kept?.uid).toBe(account.description?.uid)

    // Another token, never confirmed here: no account is guessed.
    useAuthStore().setDeviceJwt((await standIn.mint('u-anna')).token)
    restartCapabilitiesWait()
    expect([useAccountStore().received, useAccountStore().description, useAccountStore().kept]).toEqual([true, null, null])
  })

  it('two failures with a refresh token lead to one silent renewal and a reconnect', async () => {
    const t = await standIn.mint('u-anna')
    writeLocal('refresh_token', t.refreshToken)
    useAuthStore().setDeviceJwt(t.token)
    // rules for this token only: a late request of an earlier test must not take them
    await standIn.nextReply('deviceWhoAmI', 'fail', { payload: { error: 'session not found' }, times: 2, token: t.token })

    connectSocket()
    await eventually('the account description', () => useAccountStore().received)

    expect(await standIn.messages('deviceWhoAmI')).toHaveLength(3)
    expect(await standIn.messages('refreshDeviceJwt')).toHaveLength(1)
    expect(kit.logLines).toContain('сокет: переподключаюсь сам после обновления токена')
    expect(useAuthStore().deviceJwt).not.toBe(t.token)
    await eventually('only the renewed connection', async () => (await onlyConnection()).token === useAuthStore().deviceJwt)
    expect(useSocketStore().sessionBanner).toBe('')
    expect(useAccountStore().description?.fullName).toBe('Анна Смирнова')
  })

  it.each([
    { error: 'Session not found', banner: BANNER_REFUSED },
    { error: 'internal error', banner: BANNER_STALE },
  ])('a failing renewal shows the banner ($error) and never renews twice', async ({ error, banner }) => {
    const t = await standIn.mint('u-anna')
    writeLocal('refresh_token', t.refreshToken)
    useAuthStore().setDeviceJwt(t.token)
    await standIn.nextReply('deviceWhoAmI', 'fail', { payload: { error }, times: 50, token: t.token })
    await standIn.nextReply('refreshDeviceJwt', 'fail', { payload: { error: 'refresh token is not valid' }, token: t.token })

    connectSocket()
    await eventually('the banner', () => useSocketStore().sessionBanner === banner)
    // the banner's re-checks go on, without another renewal
    await eventually('two more rounds', async () => (await standIn.messages('deviceWhoAmI')).length >= 4)

    expect(await standIn.messages('refreshDeviceJwt')).toHaveLength(1)
    expect(useSocketStore().sessionBanner).toBe(banner)
  })

  it('an anonymous connection asks nothing', async () => {
    await startSession(() => {})
    await connected()
    // Messages of one connection arrive in order: once a message sent now is in, whatever the connection asked by itself is too.
    expect(userPinAuth(false)).toBe(true)
    await eventually('the later message', async () => (await standIn.messages('userPinAuth')).length > 0)
    expect(await standIn.messages('deviceWhoAmI')).toEqual([])
  })
})

describe('renewal after the identity check', () => {
  it.each([
    { days: 29, refresh: true, line: 'вход действует еще 29 дн.', renewed: false },
    { days: 28, refresh: true, line: 'вход кончается через 28 дн. — продлеваем молча', renewed: true },
    { days: 0, refresh: false, line: 'срок входа вышел, продлить нечем — нужен вход заново', renewed: false },
  ])('$days days left, refresh token: $refresh', async ({ days, refresh, line, renewed }) => {
    const t = await standIn.mint('u-igor', days * 86_400 + 3_600)
    if (refresh) writeLocal('refresh_token', t.refreshToken)
    useAuthStore().setDeviceJwt(t.token)

    connectSocket()
    await eventually('the renewal line', () => kit.consoleLines.includes(`[socket] ${line}`))
    if (renewed) await eventually('the new token', () => useAuthStore().deviceJwt !== t.token)

    expect(await standIn.messages('refreshDeviceJwt')).toHaveLength(renewed ? 1 : 0)
    expect(useAuthStore().deviceJwt !== t.token).toBe(renewed)
    if (renewed) expect(readLocal('device_jwt')).toBe(useAuthStore().deviceJwt)
  })
})

describe('pushes of the session', () => {
  it('tsdForceLogout with the only account leads to device sign-in on an anonymous connection', async () => {
    const t = await standIn.mint('u-igor')
    saveAccounts(t)
    await startSession(() => {})
    await connected()

    await standIn.push('tsdForceLogout.push', {}, t.token)
    await eventually('navigation', () => kit.navigate.mock.calls.length > 0)

    expect(kit.navigate).toHaveBeenCalledWith('/device-auth')
    expect(readSavedAccounts()).toEqual([])
    expect((await onlyConnection()).kind).toBe('anon')
    expect(socketLogin()).toBe('anon')
  })

  it('tsdForceLogout with another account left leads to quick login with that account', async () => {
    const older = await standIn.mint('u-igor')
    const newer = await standIn.mint('u-maria')
    const [olderAccount, newerAccount] = saveAccounts(older, newer)
    await startSession(() => {})
    await connected()
    // the older account signs in with its PIN
    useAuthStore().setDeviceJwt(olderAccount!.deviceJwt)
    disconnectSocket()
    connectSocket()
    await eventually('the older account connected', async () => (await onlyConnection()).token === older.token)

    await standIn.push('tsdForceLogout.push', {}, older.token)
    await eventually('navigation', () => kit.navigate.mock.calls.length > 0)

    expect(kit.navigate).toHaveBeenCalledWith('/quick-login')
    expect(readSavedAccounts().map((a) => a.id)).toEqual([newerAccount!.id])
    expect(useAuthStore().deviceJwt).toBeNull()
    expect(socketLogin()).toBe('account')
    await eventually('the newer account connected', async () => (await onlyConnection()).token === newer.token)
  })

  it('tsdPing is answered with the device id and the user agent', async () => {
    await startSession(() => {})
    await connected()
    await standIn.push('tsdPing.push', { replyTo: 'support-7' })
    const [ping] = await eventually('the answer', async () => {
      const m = await standIn.messages('tsdPing')
      return m.length ? m : undefined
    })
    expect(ping!.p).toEqual({ replyTo: 'support-7', deviceId: readLocal('zv_device_id'), userAgent: 'vitest-agent' })
    expect(ping!.p.deviceId).toMatch(/^[0-9a-f-]{36}$/)
  })
})

describe('connection history', () => {
  it('logs a network break, the reconnect attempt and the recovery', async () => {
    await startSession(() => {})
    await connected()
    await standIn.disconnect('transport')
    await eventually('the recovery', () => kit.logLines.some((l) => l.startsWith('сокет: подключен — восстановление заняло')))

    expect(kit.logLines).toContainEqual(expect.stringMatching(/^сокет: разрыв связи — сеть пропала \(transport close\) \(жило \d+ с\)$/))
    expect(kit.logLines).toContain('сокет: попытка переподключения №1')
    expect(kit.logLines).toContain('сокет: переподключение удалось (попытка №1)')
    expect(kit.logLines).toContainEqual(expect.stringMatching(/^сокет: подключен — восстановление заняло [0-2] с$/))
  })

  it('shows reconnecting after a connect error and clears it on connection', async () => {
    await startSession(() => {})
    await connected()
    await standIn.disconnect('transport')
    // the stand-in answers again at once; the flag is cleared by the connection
    await eventually('connected again', () => useSocketStore().isConnected)
    expect(useSocketStore().isReconnecting).toBe(false)
  })
})

describe('demonstration mode', () => {
  it('answers the session commands inside the page for the token "demo"', async () => {
    enterDemoMode()
    await connected()
    expect((await deviceWhoAmI()).uid).toBe('acc-demo')
    expect(await workerAuth('pin', '000000')).toMatchObject({ workerId: 'w-demo', workerName: 'Демо Сборщик' })
    await expect(workerAuth('pin', '999999')).rejects.toThrow('invalid code')
    expect(await standIn.connections()).toEqual([])
  })
})

describe('signing out', () => {
  it('deauthorizeDevice tells the server, forgets the account and reconnects anonymously', async () => {
    const t = await standIn.mint('u-igor')
    const [account] = saveAccounts(t)
    await startSession(() => {})
    await connected()
    // quick login with the account's PIN
    useAuthStore().setDeviceJwt(account!.deviceJwt)
    useAuthStore().setWorkerSession({ workerId: account!.id, workerName: account!.name, token: '' })
    disconnectSocket()
    connectSocket()
    await connected()

    expect(await deauthorizeDevice()).toBe('/device-auth')

    expect((await standIn.messages('deviceLogout')).map((m) => m.p)).toEqual([{}])
    expect(readSavedAccounts()).toEqual([])
    expect(useAuthStore().deviceJwt).toBeNull()
    expect((await onlyConnection()).kind).toBe('anon')
    expect(standIn.host.backend.authenticate(t.token)).toEqual({ error: 'auth: session revoked' })
  })

  it('revokeSavedSession ends another account\'s session when connected, and only removes it when not', async () => {
    const mine = await standIn.mint('u-anna')
    const other = await standIn.mint('u-igor')
    const third = await standIn.mint('u-maria')
    const [, otherAccount, thirdAccount] = saveAccounts(mine, other, third)
    useAuthStore().setDeviceJwt(mine.token)
    connectSocket()
    await connected()

    expect(await revokeSavedSession(otherAccount!.id)).toEqual({ revoked: true })
    expect(standIn.host.backend.authenticate(other.token)).toEqual({ error: 'auth: session revoked' })
    disconnectSocket()
    expect(await revokeSavedSession(thirdAccount!.id)).toBeNull()
    expect(readSavedAccounts().map((a) => a.deviceJwt)).toEqual([mine.token])
  })
})

describe('on every connection', () => {
  it('reports the workplace code with the device id when one is set', async () => {
    const t = await standIn.mint('u-anna')
    useSettingsStore().applySettings({ crypto: { fiasId: '0c5b2444-70a0-4932-980c-b4dc0d3f02b5' } })
    useAuthStore().setDeviceJwt(t.token)
    connectSocket()
    const [sent] = await eventually('the report', async () => {
      const m = await standIn.messages('reportWorkplace')
      return m.length ? m : undefined
    })
    expect(sent!.p).toEqual({ fiasId: '0c5b2444-70a0-4932-980c-b4dc0d3f02b5', deviceId: readLocal('zv_device_id') })
  })
})

