// @vitest-environment node
// The channel comes back by itself after every kind of break, the server's own close included.
import { afterEach, describe, expect, it } from 'vitest'
import { requestOn } from './requests'
import { RECONNECT_POLICY, reconnectDelay, ServerChannel, type LifecycleEvent } from './serverChannel'
import { eventually, StandIn } from './testing/standIn'

describe('reconnectDelay', () => {
  it.each([
    // attempt, random, delay
    [1, 0, 1_000],
    [1, 0.1, 1_050], // odd tenth: later by up to half
    [1, 0.2, 900], // even tenth: earlier
    [2, 0, 2_000],
    [3, 0, 4_000],
    [4, 0, RECONNECT_POLICY.maxMs],
    [30, 0.99, RECONNECT_POLICY.maxMs],
  ])('attempt %i with random %f waits %i ms', (attempt, random, ms) => {
    expect(reconnectDelay(attempt, () => random)).toBe(ms)
  })
})

describe('a channel whose server closes the connection itself', () => {
  const standIns: StandIn[] = []
  let channel: ServerChannel | undefined
  afterEach(async () => {
    channel?.destroy()
    for (const s of standIns.splice(0)) await s.close()
  })

  async function connected(standIn: StandIn) {
    const { token } = await standIn.mint('u-anna')
    const events: LifecycleEvent[] = []
    channel = new ServerChannel({ url: standIn.url, getToken: () => token })
    channel.onLifecycle((e) => events.push(e))
    channel.init()
    await eventually('connected', () => channel!.getState().connect)
    return { token, events }
  }

  it('connects again after the server dropped it', async () => {
    const standIn = await StandIn.start()
    standIns.push(standIn)
    const { events } = await connected(standIn)
    await standIn.disconnect('server')
    await eventually('reconnected', () => events.filter((e) => e.type === 'connect').length === 2, 10_000)
    expect(events).toContainEqual({ type: 'disconnect', reason: 'io server disconnect' })
    expect(events).toContainEqual({ type: 'reconnect', attempt: 1 })
    expect(channel!.getState().connect).toBe(true)
  }, 20_000)

  it('connects again to a service host stopped and started on the same port, and delivers what was sent meanwhile once', async () => {
    const secret = 'same-key-across-restarts'
    const first = await StandIn.start({ secret })
    standIns.push(first)
    const { events } = await connected(first)
    await first.close()
    standIns.splice(0)
    await eventually('disconnected', () => !channel!.getState().connect)
    // The stand-in closes every connection itself; one still on long-polling may see its transport close (or a
    // poll in flight fail) first.
    expect(events).toContainEqual({ type: 'disconnect', reason: expect.stringMatching(/^(io server disconnect|transport close|transport error)$/) })
    channel!.send('deviceWhoAmI', { probe: 1 })
    // Down for longer than one attempt: the client's own reconnection has to take over.
    await eventually('two attempts while down', () => events.filter((e) => e.type === 'reconnect_attempt').length >= 2, 15_000)
    const second = await StandIn.start({ secret, port: first.host.port })
    standIns.push(second)
    await eventually('reconnected', () => channel!.getState().connect, 15_000)
    await eventually('the buffered message', async () => (await second.messages('deviceWhoAmI')).length > 0, 5_000)
    // One socket keeps its order: a second copy of the buffered message would reach the server before this request.
    await requestOn(channel!, 'deviceWhoAmI')
    expect((await second.messages('deviceWhoAmI')).filter((m) => m.p.probe === 1)).toHaveLength(1)
    expect((await second.connections()).filter((c) => c.kind === 'device')).toHaveLength(1)
  }, 40_000)
})
