// @vitest-environment node
// Request and reply over a real channel to the local service host.
import { afterAll, afterEach, beforeAll, beforeEach, describe, expect, it } from 'vitest'
import { replyNameFor, type Payload } from './envelope'
import { NOT_CONNECTED_MESSAGE, refusalFrom, RefusalError, requestOn, withTimeout } from './requests'
import { ServerChannel } from './serverChannel'
import { command, connectSocket, request, setAnonJwt } from './session'
import { useSocketStore } from './socketStore'
import { endSession, freshSession } from './testing/sessionKit'
import { eventually, StandIn } from './testing/standIn'

let standIn: StandIn

beforeAll(async () => {
  standIn = await StandIn.start()
})
afterAll(() => standIn.close())
beforeEach(() => standIn.reset())

describe('a channel to the service host', () => {
  let channel: ServerChannel
  beforeEach(async () => {
    const { token } = await standIn.mint('u-anna')
    channel = new ServerChannel({ url: standIn.url, getToken: () => token })
    channel.init()
    await eventually('connected', () => channel.getState().connect)
  })
  afterEach(() => channel.destroy())

  it('matches each reply to its request by name', async () => {
    const [who, auth] = await Promise.all([
      requestOn(channel, 'deviceWhoAmI'),
      requestOn(channel, 'workerAuth', { method: 'qr', code: 'W-0002' }),
    ])
    expect(who.fullName).toBe('Анна Смирнова')
    expect(auth).toMatchObject({ workerId: 'w-denis', workerName: 'Денис Волков' })
    const sent = await standIn.messages()
    expect(sent.map((m) => [m.c, m.r])).toEqual([
      ['deviceWhoAmI', 4],
      ['workerAuth', 4],
    ])
  })

  it('rejects with "timeout" and ignores the reply that comes later', async () => {
    await standIn.nextReply('workerAuth', 'delay', { ms: 300 })
    const late = requestOn(channel, 'workerAuth', { method: 'pin', code: '000000' }, { timeoutMs: 100 })
    const arrived: Payload[] = []
    const off = channel.onCommand(replyNameFor('workerAuth'), (p) => arrived.push(p))
    await expect(late).rejects.toThrow(/^timeout$/)
    // the late refusal arrives while nobody waits; the next request gets its own answer
    await eventually('the late reply', () => arrived.length === 1)
    off()
    expect(await requestOn(channel, 'workerAuth', { method: 'pin', code: '111111' })).toMatchObject({ workerId: 'w-olga' })
  })

  it('a request that must not wait in the buffer is refused at once while disconnected and never goes out later', async () => {
    const { token } = await standIn.mint('u-anna')
    const offline = new ServerChannel({ url: standIn.url, getToken: () => token })
    try {
      await expect(requestOn(offline, 'completeDocument', { documentId: 'x' }, { connectedOnly: true })).rejects.toThrow(NOT_CONNECTED_MESSAGE)
      offline.init()
      await eventually('connected', () => offline.getState().connect)
      // One socket keeps its order: a message left in the buffer would have reached the server before this one.
      await requestOn(offline, 'deviceWhoAmI')
      expect(await standIn.messages('completeDocument')).toEqual([])
    } finally {
      offline.destroy()
    }
  })

  it('skips replies the acceptance predicate refuses', async () => {
    await standIn.push('roleSwitch.result', { activeRole: 'someone else' })
    const answer = await requestOn(channel, 'roleSwitch', { role: 'checker' }, { accept: (p) => Array.isArray(p.roles) })
    expect(answer).toMatchObject({ activeRole: 'checker', roles: ['collector', 'checker'] })
  })
})

describe('the session helpers', () => {
  beforeEach(async () => {
    freshSession(standIn.url)
    const { token } = await standIn.mint('u-anna')
    setAnonJwt(token, true)
    connectSocket()
    await eventually('connected', () => useSocketStore().isConnected)
    await standIn.reset()
  })
  afterEach(() => endSession())

  it('put the fields of a refusal into RefusalError.info', async () => {
    await standIn.nextReply('roleSwitch', 'fail', {
      payload: {
        errorCode: 'taken',
        error: 'Документ уже собирает Иван',
        collector: 'Иван',
        startedAt: '2026-12-10T09:15:00Z',
        missing: ['q1'],
        wrong: 'not a list',
        cellsCount: 3,
        available: '5',
        entity: { id: 'd-1' },
      },
    })
    const err = await command('roleSwitch', { role: 'checker' }).catch((e: unknown) => e)
    expect(err).toBeInstanceOf(RefusalError)
    expect((err as RefusalError).message).toBe('Документ уже собирает Иван')
    expect((err as RefusalError).info).toEqual({
      code: 'taken',
      message: 'Документ уже собирает Иван',
      collector: 'Иван',
      startedAt: '2026-12-10T09:15:00Z',
      missing: ['q1'],
      cellsCount: 3,
      entity: { id: 'd-1' },
    })
  })

  it('run two requests of one name one after the other', async () => {
    // Unserialised, both would take the first reply that arrives (the second one's, which is not delayed).
    await standIn.nextReply('workerAuth', 'delay', { ms: 200 })
    const [first, second] = await Promise.allSettled([
      request('workerAuth', { method: 'pin', code: '999999' }),
      request('workerAuth', { method: 'pin', code: '222222' }),
    ])
    expect(first).toEqual({ status: 'fulfilled', value: { error: 'invalid code' } })
    expect(second).toMatchObject({ status: 'fulfilled', value: { workerId: 'w-denis' } })
  })

  it('answer an unknown command with a refusal, never silence', async () => {
    await expect(command('noSuchCommand')).rejects.toMatchObject({ info: { code: 'unknown_command' } })
  })
})

describe('refusalFrom', () => {
  it.each([
    [{ accepted: true }, undefined],
    [{ error: '' , errorCode: '' }, undefined],
    [{ errorCode: 'forbidden' }, { message: 'forbidden', info: { code: 'forbidden' } }],
    [{ error: 'нельзя', message: 'подробно' }, { message: 'нельзя', info: { message: 'подробно' } }],
    [{ errorCode: 'limit', limit: 10, used: 10 }, { message: 'limit', info: { code: 'limit', limit: 10, used: 10 } }],
    [{ error: true }, { message: 'refused', info: {} }],
  ])('%j', (payload, expected) => {
    const r = refusalFrom(payload)
    if (expected === undefined) return expect(r).toBeUndefined()
    expect(r?.message).toBe(expected.message)
    expect(r?.info).toEqual(expected.info)
  })

  it('withTimeout passes a result through and clears its timer', async () => {
    expect(await withTimeout(Promise.resolve(7), 10)).toBe(7)
    await expect(withTimeout(new Promise(() => {}), 10)).rejects.toThrow('timeout')
  })
})
