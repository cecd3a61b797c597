/**
 * The one channel of the session: opening it with the current token,
 * destroying it, telling the rest of the session and the other features when
 * it connects or drops, and the server's pushes, which stay attached across
 * channels. A new token always means a new channel.
 */
import type { Payload } from '../envelope'
import { createHooks } from '../hooks'
import type { Channel, ChannelState } from '../serverChannel'
import { useSocketStore } from '../socketStore'
import { createConnectionHistory } from './connectionHistory'
import type { SessionEnv } from './env'

export interface ChannelHostDeps {
  env: Pick<SessionEnv, 'openChannel' | 'now' | 'log'>
  /** the token a new channel offers */
  token(): string
  /** the session's own work on each new channel (its pushes), before the features' pushes attach */
  wire(ch: Channel): void
  /** the session's own work on connecting, before the features' listeners run */
  connected(): void
  /** the session's own work on dropping, before the features' listeners run */
  disconnected(): void
  /** the session's own work when the channel is destroyed, before it goes */
  destroying(): void
  /** a handshake of the current channel failed */
  connectError(ch: Channel, err: Error): void
}

export type ChannelHost = ReturnType<typeof createChannelHost>

export function createChannelHost(deps: ChannelHostDeps) {
  let channel: Channel | undefined
  const history = createConnectionHistory(() => deps.env.now(), (line) => deps.env.log(line))
  const pushHandlers = new Map<string, Set<(payload: Payload) => void>>()
  const attachedPushes = new WeakMap<Channel, Set<string>>()
  const connectedHooks = createHooks('сокет: подключение')
  const disconnectedHooks = createHooks('сокет: отключение')

  function current(): Channel | undefined {
    return channel
  }

  /** Opens the channel if there is none; `onFirstConnect` runs once, at the first connection. */
  function connect(onFirstConnect?: () => void): Channel {
    if (!channel) {
      const ch: Channel = deps.env.openChannel(deps.token(), (err) => deps.connectError(ch, err))
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
  function disconnect(): void {
    const ch = channel
    channel = undefined
    deps.destroying()
    ch?.destroy()
    useSocketStore().setConnected(false)
  }

  function wire(ch: Channel): void {
    let wasConnected = false
    ch.subscribeState((s: ChannelState) => {
      if (ch !== channel) return
      if (s.connect && !wasConnected) {
        wasConnected = true
        useSocketStore().setConnected(true)
        deps.connected()
        connectedHooks.run()
      } else if (!s.connect && wasConnected) {
        wasConnected = false
        useSocketStore().setConnected(false)
        deps.disconnected()
        disconnectedHooks.run()
      }
    })
    ch.onLifecycle((e) => {
      if (ch === channel) history.record(e)
    })
    deps.wire(ch)
    for (const name of pushHandlers.keys()) attachPush(ch, name)
  }

  /** Listens to a message the server pushes (on this channel and every later one). */
  function onPush(name: string, handler: (payload: Payload) => void): () => void {
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

  /** Forgets the channel and its history; the features' listeners and pushes stay. */
  function reset(): void {
    disconnect()
    history.reset()
  }

  return {
    current,
    connect,
    disconnect,
    onPush,
    /** Runs on every transition to connected (listeners of other parts: documents, printing, signing ...). */
    onConnected: (hook: () => void) => connectedHooks.add(hook),
    onDisconnected: (hook: () => void) => disconnectedHooks.add(hook),
    reset,
  }
}
