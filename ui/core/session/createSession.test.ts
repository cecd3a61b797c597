// @vitest-environment node
// The session built from an environment of its own: the channel comes from the environment's factory,
// its lines go to the environment's log, and two sessions share nothing.
import { createPinia, setActivePinia } from 'pinia'
import { afterEach, beforeEach, describe, expect, it } from 'vitest'
import { DemoChannel } from '../demoChannel'
import { useSocketStore } from '../socketStore'
import { eventually } from '../testing/eventually'
import { installMemoryStorage } from '../testing/memoryStorage'
import { createSession, type Session } from './createSession'
import { defaultSessionEnv, type SessionEnv } from './env'

let built: Session[] = []

function sessionWith(patch: Partial<SessionEnv> = {}) {
  const opened: string[] = []
  const lines: string[] = []
  const env: SessionEnv = {
    ...defaultSessionEnv(),
    now: () => 1_000,
    log: (line) => lines.push(line),
    openChannel: (token) => {
      opened.push(token)
      return new DemoChannel()
    },
    ...patch,
  }
  const session = createSession(env)
  built.push(session)
  return { session, opened, lines }
}

beforeEach(() => {
  installMemoryStorage()
  setActivePinia(createPinia())
})
afterEach(() => {
  for (const s of built) s.reset()
  built = []
})

describe('a session built by createSession', () => {
  it('opens its channel through the environment with the installed token and logs through it', async () => {
    const { session, opened, lines } = sessionWith()
    const connections: number[] = []
    session.onChannelConnected(() => connections.push(connections.length + 1))
    session.setAnonJwt('anon-token')

    const ch = session.connectSocket()
    expect(session.connectSocket()).toBe(ch)
    await eventually('the connection', () => useSocketStore().isConnected)

    expect(opened).toEqual(['anon-token'])
    expect(lines).toEqual(['сокет: подключен'])
    expect(connections).toEqual([1])
    session.disconnectSocket()
    expect(session.currentChannel()).toBeUndefined()
    expect(useSocketStore().isConnected).toBe(false)
  })

  it('keeps its tokens and its channel to itself', () => {
    const a = sessionWith().session
    const b = sessionWith().session
    a.setAnonJwt('account-token', true)
    a.connectSocket()

    expect(a.socketLogin()).toBe('account')
    expect(b.socketLogin()).toBe('anon')
    expect(a.channelToken()).toBe('account-token')
    expect(b.channelToken()).toBe('')
    expect(b.currentChannel()).toBeUndefined()
  })

  it('reads the environment at each use, so navigate given later is the one used', async () => {
    const env = { ...defaultSessionEnv(), log: () => {} }
    const session = createSession(env)
    built.push(session)
    const went: string[] = []
    env.navigate = (path) => void went.push(path)

    await session.dismissSessionBanner()

    expect(went).toEqual(['/quick-login'])
  })
})
