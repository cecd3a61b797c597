// @vitest-environment node
// The anonymous token from the local service host: log lines, time-out and caching.
import { afterAll, afterEach, beforeAll, beforeEach, describe, expect, it } from 'vitest'
import { ANON_JWT_KEY, fetchFreshAnonJwt, fetchInitialJwt } from './anonToken'
import { readLocal, writeLocal } from './localStore'
import { setServerBaseUrl } from './serviceUrl'
import { endSession, freshSession, type SessionKit } from './testing/sessionKit'
import { StandIn } from './testing/standIn'
import { installFakeBridge, removeFakeBridge } from './testing/fakeBridge'

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

const b64 = (v: unknown) => Buffer.from(JSON.stringify(v)).toString('base64url')
const tokenWithExp = (exp: number) => `${b64({ alg: 'none' })}.${b64({ exp })}.sig`

describe('fetchFreshAnonJwt', () => {
  it('takes the token, caches it and logs success', async () => {
    const token = await fetchFreshAnonJwt()
    expect(token?.split('.')).toHaveLength(3)
    expect(readLocal(ANON_JWT_KEY)).toBe(token)
    expect(kit.logLines).toEqual(['fetchInitialJwt: ок, токен получен'])
  })

  it.each([
    { rule: { action: 'fail', payload: { status: 503 } }, line: 'fetchInitialJwt: ошибка, сервер ответил 503' },
    { rule: { action: 'fail', payload: { status: 200, body: { jwt: 'x' } } }, line: 'fetchInitialJwt: ошибка, в ответе нет поля token' },
    { rule: { action: 'drop' }, line: 'fetchInitialJwt: таймаут 150 мс' },
  ] as const)('$line', async ({ rule, line }) => {
    await standIn.nextReply('/get-token', rule.action, 'payload' in rule ? { payload: rule.payload } : {})
    expect(await fetchFreshAnonJwt(150)).toBeNull()
    expect(kit.logLines).toEqual([line])
    expect(readLocal(ANON_JWT_KEY)).toBeUndefined()
  })

  it('logs a network failure with its message', async () => {
    setServerBaseUrl('http://127.0.0.1:1')
    expect(await fetchFreshAnonJwt()).toBeNull()
    expect(kit.logLines).toEqual([expect.stringMatching(/^fetchInitialJwt: ошибка сети — .+/)])
  })

  it('uses a token without three parts once, without caching it', async () => {
    await standIn.nextReply('/get-token', 'fail', { payload: { status: 200, body: { token: 'opaque' } } })
    expect(await fetchFreshAnonJwt()).toBe('opaque')
    expect(readLocal(ANON_JWT_KEY)).toBeUndefined()
  })
})

describe('fetchInitialJwt', () => {
  it.each([
    { cached: () => tokenWithExp(Math.floor(Date.now() / 1000) + 3600), reused: true },
    { cached: () => tokenWithExp(Math.floor(Date.now() / 1000) - 1), reused: false },
    { cached: () => 'a.not-base64-json!.c', reused: false },
  ])('a cached token is reused only while valid (%#)', async ({ cached, reused }) => {
    const token = cached()
    writeLocal(ANON_JWT_KEY, token)
    const got = await fetchInitialJwt()
    expect(got === token).toBe(reused)
    expect(kit.logLines).toEqual(reused ? [] : ['fetchInitialJwt: ок, токен получен'])
  })
})

describe('inside the desktop host', () => {
  afterEach(() => removeFakeBridge())

  /** A stand-in for the host's bridge: `fetch_url` as given, every other command answered with null. */
  function hostBridge(fetchUrl: (url: string) => Promise<unknown>) {
    const { calls } = installFakeBridge((cmd, args) => (cmd === 'fetch_url' ? fetchUrl(String(args.url)) : null), { desktop: true })
    return calls
  }

  it('asks the host with the absolute address of the service host', async () => {
    const calls = hostBridge(async (url) => {
      const res = await fetch(url)
      const bytes = Buffer.from(await res.arrayBuffer())
      return { bytes: bytes.toString('base64'), status: res.status, contentType: 'application/json', via: '127.0.0.1' }
    })
    const token = await fetchFreshAnonJwt()
    expect(token?.split('.')).toHaveLength(3)
    expect(calls).toContainEqual(expect.objectContaining({ cmd: 'fetch_url', args: { url: `${standIn.url}/get-token` } }))
    expect(kit.logLines).toContain('fetchInitialJwt: ок, токен получен')
  })

  it('falls back to its own request on a host without fetch_url', async () => {
    hostBridge(async () => {
      throw new Error('Command fetch_url not found')
    })
    expect(await fetchFreshAnonJwt()).toEqual(expect.any(String))
    expect(kit.logLines).toContain('[netFetch] команда fetch_url недоступна (старая сборка приложения) — используем прежний путь')
  })
})

