// @vitest-environment node
// The local service host on the wire: handshake, the session commands, the control endpoint, the command line.
import { spawn } from 'node:child_process'
import { networkInterfaces } from 'node:os'
import { fileURLToPath } from 'node:url'
import { io, type Socket } from 'socket.io-client'
import { afterAll, afterEach, beforeAll, beforeEach, describe, expect, it } from 'vitest'
import { StandIn, eventually } from '../ui/core/testing/standIn'
import { startServiceHost } from './serviceHost.mjs'

type Msg = { c: string; p: Record<string, unknown>; r: number }

let standIn: StandIn
const open: Socket[] = []

beforeAll(async () => {
  standIn = await StandIn.start()
})
afterAll(() => standIn.close())
beforeEach(() => standIn.reset())
afterEach(() => {
  for (const s of open.splice(0)) s.disconnect()
})

/** A raw Socket.IO client speaking the envelope. */
function client(token: string | undefined) {
  const socket = io(standIn.url, { path: '/e', auth: token === undefined ? {} : { token }, forceNew: true, reconnection: false })
  open.push(socket)
  const received: Msg[] = []
  socket.on('a', (m: Msg) => received.push(m))
  const connected = new Promise<void>((resolve, reject) => {
    socket.once('connect', () => resolve())
    socket.once('connect_error', reject)
  })
  return {
    socket,
    received,
    connected,
    /** sends {c, p, r: 4} and waits for the next message named `reply` */
    async ask(c: string, p: Record<string, unknown> = {}, reply = `${c}.result`, waitMs = 3_000): Promise<Record<string, unknown>> {
      const from = received.length
      socket.emit('a', { c, p, r: 4 })
      const m = await eventually(`${reply}`, () => received.slice(from).find((x) => x.c === reply), waitMs)
      expect(m.r).toBe(1)
      return m.p
    },
  }
}

async function signedIn(code = '1234-5678') {
  const guest = client('')
  await guest.connected
  const tokens = (await guest.ask('deviceAuth', { pin: code })) as { token: string; refreshToken: string }
  const device = client(tokens.token)
  await device.connected
  return { ...tokens, device }
}

describe('handshake', () => {
  it.each([
    { name: 'a forged signature', token: async () => (await standIn.mint('u-anna')).token.replace(/.$/, 'x'), error: 'auth: bad signature' },
    { name: 'an expired token', token: async () => (await standIn.mint('u-anna', 0)).token, error: 'auth: token expired' },
    { name: 'not a token', token: async () => 'garbage', error: 'auth: malformed token' },
    {
      name: 'a token expired by the control endpoint',
      token: async () => {
        const { token } = await standIn.mint('u-anna')
        await standIn.expireToken(token)
        return token
      },
      error: 'auth: token expired',
    },
  ])('refuses $name with a message containing "auth"', async ({ token, error }) => {
    await expect(client(await token()).connected).rejects.toThrow(error)
  })

  it('accepts no token (guest), an anonymous token and a device token', async () => {
    const anon = (await (await fetch(`${standIn.url}/get-token`)).json()) as { token: string }
    for (const token of [undefined, anon.token, (await standIn.mint('u-igor')).token]) await client(token).connected
    expect((await standIn.connections()).map((c) => c.kind).sort()).toEqual(['anon', 'device', 'guest'])
  })
})

describe('device sign-in and the account description', () => {
  it('signs in with a sample device code and describes the account', async () => {
    const { token, refreshToken, device } = await signedIn('1234-5678')
    expect(token.split('.')).toHaveLength(3)
    expect(refreshToken).toMatch(/^rt-/)
    expect(await device.ask('deviceWhoAmI')).toMatchObject({
      uid: 'acc-lesnaya',
      userId: 'u-anna',
      role: 'admin',
      roles: ['collector', 'checker'],
      moysklad: true,
      profile: 'orders',
      fullName: 'Анна Смирнова',
      features: { roles: true, checkMarksOnScan: true },
      options: { editQuantity: true },
    })
  })

  it('refuses wrong codes and locks out after five of them', async () => {
    const guest = client('')
    await guest.connected
    expect(await guest.ask('deviceAuth', { pin: '12345678' })).toEqual({ error: 'invalid code format' })
    for (let i = 0; i < 4; i++) expect(await guest.ask('deviceAuth', { pin: '0000-0000' })).toEqual({ error: 'invalid or expired code' })
    const locked = await guest.ask('deviceAuth', { pin: '0000-0000' })
    expect(String(locked.error)).toMatch(/too many attempts.*?(\d+)s/i)
    expect(String(locked.error).match(/(\d+)s/)?.[1]).toBe('45')
    expect((await guest.ask('deviceAuth', { pin: '1234-5678' })).error).toMatch(/too many attempts/)
  })

  it('answers an anonymous connection that it is not signed in', async () => {
    const guest = client('')
    await guest.connected
    expect(await guest.ask('deviceWhoAmI')).toEqual({ error: 'session not authorized' })
  })
})

describe('renewal and sign-out', () => {
  it('renews with the refresh token and retires the old refresh token', async () => {
    const { refreshToken, device } = await signedIn('2345-6789')
    const renewed = await device.ask('refreshDeviceJwt', { refreshToken }, 'refreshDeviceJwtEnd')
    expect(renewed.refreshToken).not.toBe(refreshToken)
    await client(String(renewed.token)).connected
    expect(await device.ask('refreshDeviceJwt', { refreshToken }, 'refreshDeviceJwtEnd')).toEqual({ error: 'refresh token is not valid' })
    // without a refresh token in the request the connection's own session is renewed
    expect((await device.ask('refreshDeviceJwt', {}, 'refreshDeviceJwtEnd')).token).toEqual(expect.any(String))
  })

  it('deviceLogout ends the session: its other connections are told, its token is refused', async () => {
    const { token, device } = await signedIn('3456-7890')
    const other = client(token)
    await other.connected
    expect(await device.ask('deviceLogout')).toEqual({ revoked: true })
    await eventually('the push', () => other.received.find((m) => m.c === 'tsdForceLogout.push'))
    expect(device.received.some((m) => m.c === 'tsdForceLogout.push')).toBe(false)
    await expect(client(token).connected).rejects.toThrow('auth: session revoked')
  })

  it('deviceLogout with a refresh token revokes that session, once', async () => {
    const first = await signedIn('1234-5678')
    const second = await signedIn('2345-6789')
    expect(await first.device.ask('deviceLogout', { refreshToken: second.refreshToken })).toEqual({ revoked: true })
    expect(await first.device.ask('deviceLogout', { refreshToken: second.refreshToken })).toEqual({
      revoked: false,
      reason: 'сессия уже завершена',
    })
    expect(await first.device.ask('deviceWhoAmI')).toMatchObject({ userId: 'u-anna' })
    expect(await second.device.ask('deviceWhoAmI')).toEqual({ error: 'session not found' })
  })
})

describe('phone registration', () => {
  it('registers a new phone without MoySklad and signs in a known one directly', async () => {
    const guest = client('')
    await guest.connected
    expect(await guest.ask('phoneCodeRequest', { phone: '89001234567' })).toEqual({ error: 'bad phone number', errorCode: 'bad_phone' })
    expect(await guest.ask('phoneCodeRequest', { phone: '79001234567' })).toEqual({ codeLength: 6 })
    expect(await guest.ask('phoneCodeRequest', { phone: '79001234567' })).toMatchObject({ errorCode: 'cooldown', retryAfter: expect.any(Number) })
    const { code } = await standIn.control<{ code: string }>('GET', '/sms?phone=79001234567')
    const wrong = code === '000000' ? '111111' : '000000'
    expect(await guest.ask('phoneCodeVerify', { phone: '79001234567', code: wrong })).toMatchObject({ errorCode: 'wrong_code', attemptsLeft: 2 })
    const verified = await guest.ask('phoneCodeVerify', { phone: '79001234567', code })
    expect(verified).toEqual({ needsMoysklad: true, registrationToken: expect.stringMatching(/^reg-/) })
    const joined = await guest.ask('phoneStandaloneConnect', { registrationToken: verified.registrationToken, name: 'Ирина Лаптева' })
    expect(joined).toMatchObject({ moysklad: false, profile: '', token: expect.any(String) })
    const device = client(String(joined.token))
    await device.connected
    expect(await device.ask('deviceWhoAmI')).toMatchObject({ moysklad: false, profile: '', fullName: 'Ирина Лаптева', role: 'admin' })
    expect(await device.ask('accountProfileSet', { profile: 'radio' })).toEqual({ profile: 'radio' })

    expect(await guest.ask('phoneCodeRequest', { phone: '79000000001' })).toEqual({ codeLength: 6 })
    const known = await standIn.control<{ code: string }>('GET', '/sms?phone=79000000001')
    expect(await guest.ask('phoneCodeVerify', { phone: '79000000001', code: known.code })).toEqual({
      token: expect.any(String),
      refreshToken: expect.any(String),
    })
  })
})

describe('roles, working mode and workplace', () => {
  it('lets a user without roles choose one and switches only to assigned roles', async () => {
    const { device } = await signedIn('6789-0123')
    expect(await device.ask('roleSwitch', { role: 'checker' })).toMatchObject({ errorCode: 'role-not-assigned' })
    expect(await device.ask('roleSelect', { roles: ['collector'] })).toEqual({ roles: ['collector'], activeRole: 'collector', permissions: [] })
    expect(await device.ask('roleSelect', { roles: ['checker'] })).toMatchObject({ errorCode: 'forbidden' })
    expect(await device.ask('accountProfileSet', { profile: 'radio' })).toMatchObject({ errorCode: 'forbidden' })
    expect(await device.ask('reportWorkplace', { fiasId: '0C5B2444-70A0-4932-980C-B4DC0D3F02B5', deviceId: 'd' })).toEqual({
      fiasId: '0c5b2444-70a0-4932-980c-b4dc0d3f02b5',
    })
    expect(await device.ask('reportWorkplace', { fiasId: 'улица Лесная', deviceId: 'd' })).toEqual({ error: 'fias id is not a UUID' })
  })
})

describe('control endpoint', () => {
  it('fails, delays and drops the next reply of a command', async () => {
    const { device } = await signedIn('1234-5678')
    await standIn.nextReply('deviceWhoAmI', 'fail', { payload: { error: 'session not found' } })
    expect(await device.ask('deviceWhoAmI')).toEqual({ error: 'session not found' })
    await standIn.nextReply('deviceWhoAmI', 'drop')
    await expect(device.ask('deviceWhoAmI', {}, 'deviceWhoAmI.result', 300)).rejects.toThrow(/timed out/)
    await standIn.nextReply('deviceWhoAmI', 'delay', { ms: 150 })
    const from = device.received.length
    const answer = device.ask('deviceWhoAmI')
    await new Promise((r) => setTimeout(r, 50))
    expect(device.received.length).toBe(from)
    expect(await answer).toMatchObject({ userId: 'u-anna' })
  })

  it('drops connections as a network break or as the server closing them', async () => {
    const a = client('')
    await a.connected
    const closed = new Promise((r) => a.socket.once('disconnect', r))
    expect(await standIn.disconnect('server')).toEqual({ dropped: 1 })
    expect(await closed).toBe('io server disconnect')
    const b = client('')
    await b.connected
    const broken = new Promise((r) => b.socket.once('disconnect', r))
    await standIn.disconnect('transport')
    expect(await broken).toBe('transport close')
  })

  it('listens on loopback only, even when the service listens on every address', async () => {
    const host = await startServiceHost({ host: '0.0.0.0', port: 0, testMode: true, log: () => {} })
    try {
      const control = new URL(host.controlUrl!)
      expect(control.hostname).toBe('127.0.0.1')
      const outside = Object.values(networkInterfaces())
        .flat()
        .find((i) => i && i.family === 'IPv4' && !i.internal)
      if (outside) await expect(fetch(`http://${outside.address}:${control.port}/messages`)).rejects.toThrow()
      expect((await fetch(`${host.controlUrl}/messages`)).status).toBe(200)
    } finally {
      await host.close()
    }
  })

  it('does not exist outside test mode', async () => {
    const host = await startServiceHost({ port: 0, log: () => {} })
    try {
      expect(host.controlUrl).toBeUndefined()
      expect((await fetch(`${host.url}/get-token`)).status).toBe(200)
    } finally {
      await host.close()
    }
  })
})

it('starts from the command line, answers GET /get-token and stops on SIGTERM', async () => {
  const script = fileURLToPath(new URL('./server.mjs', import.meta.url))
  const child = spawn(process.execPath, [script], { env: { ...process.env, PORT: '0', SERVICE_HOST_TEST: '1' }, stdio: ['ignore', 'pipe', 'pipe'] })
  let out = ''
  child.stdout.on('data', (c) => (out += c))
  child.stderr.on('data', (c) => (out += c))
  try {
    const url = await eventually('the address line', () => out.match(/^service host: (http:\/\/\S+)/m)?.[1], 15_000)
    await eventually('the control line', () => /^control: http:\/\/127\.0\.0\.1:\d+ \(test mode\)$/m.test(out))
    const body = (await (await fetch(`${url}/get-token`)).json()) as { token: string }
    expect(body.token.split('.')).toHaveLength(3)
  } finally {
    const exited = new Promise<number | null>((r) => child.once('exit', (code) => r(code)))
    child.kill('SIGTERM')
    expect(await exited).toBe(0)
  }
}, 20_000)
