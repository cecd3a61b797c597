/**
 * The server channel: one Socket.IO connection to the service host that
 * carries every message as {c, p, r} on the event "a". The token is fixed when
 * the channel is built; switching token means destroying it and building a
 * new one. This module and the demonstration channel are the only places
 * that hold a socket.
 */
import { io, type Socket } from 'socket.io-client'
import { CHANNEL_EVENT, CHANNEL_PATH, readEnvelope, TO_BACK, type Payload } from './envelope'

export interface ChannelState {
  connect: boolean
  /** text of the last connection error */
  lastError: string
}

export type CommandListener = (payload: Payload, command: string) => void
export type StateListener = (state: ChannelState) => void

/** Connection history, for the log. */
export type LifecycleEvent =
  | { type: 'connect' }
  | { type: 'disconnect'; reason: string }
  | { type: 'reconnect_attempt'; attempt: number }
  | { type: 'reconnect'; attempt: number }
  | { type: 'connect_error'; message: string }

export type LifecycleListener = (event: LifecycleEvent) => void

/** The client's reconnection policy: 1 s doubling to at most 5 s, each delay moved by up to half at random. */
export const RECONNECT_POLICY = { minMs: 1_000, maxMs: 5_000, factor: 2, jitter: 0.5 } as const

/**
 * The delay before reconnection attempt `attempt` (1 for the first), computed
 * as the Socket.IO client computes its own, so that every kind of break waits alike.
 */
export function reconnectDelay(attempt: number, random: () => number = Math.random): number {
  const { minMs, maxMs, factor, jitter } = RECONNECT_POLICY
  let ms = minMs * Math.pow(factor, Math.max(0, attempt - 1))
  const r = random()
  const deviation = Math.floor(r * jitter * ms)
  ms = (Math.floor(r * 10) & 1) === 0 ? ms - deviation : ms + deviation
  return Math.min(ms, maxMs)
}

/** What the session needs of a channel; the Socket.IO channel and the demonstration channel both provide it. */
export interface Channel {
  /** the token offered at the handshake */
  readonly token: string
  init(): void
  send(command: string, payload?: Payload, tag?: number): void
  onCommand(name: string, listener: CommandListener): () => void
  offCommand(name: string, listener?: CommandListener): void
  getState(): ChannelState
  subscribeState(listener: StateListener): () => void
  onLifecycle(listener: LifecycleListener): () => void
  /** runs once when the channel is destroyed (requests waiting on it give up at once) */
  onDestroy(listener: () => void): () => void
  destroy(): void
}

export interface ServerChannelOptions {
  /** the service host */
  url: string
  path?: string
  transports?: Array<'polling' | 'websocket'>
  /** called once, here: its value goes into the handshake as `auth.token` */
  getToken: () => string
  /** connect at construction (default false: `init` connects) */
  autoInit?: boolean
  onConnectError?: (error: Error) => void
}

/** Listener bookkeeping shared by both kinds of channel. */
export abstract class ChannelBase implements Channel {
  abstract readonly token: string
  protected readonly commandListeners = new Map<string, Set<CommandListener>>()
  protected readonly stateListeners = new Set<StateListener>()
  protected readonly lifecycleListeners = new Set<LifecycleListener>()
  private readonly destroyListeners = new Set<() => void>()
  protected state: ChannelState = { connect: false, lastError: '' }

  abstract init(): void
  abstract send(command: string, payload?: Payload, tag?: number): void
  abstract destroy(): void

  onCommand(name: string, listener: CommandListener): () => void {
    let set = this.commandListeners.get(name)
    if (!set) this.commandListeners.set(name, (set = new Set()))
    set.add(listener)
    return () => this.offCommand(name, listener)
  }

  offCommand(name: string, listener?: CommandListener): void {
    const set = this.commandListeners.get(name)
    if (!set) return
    if (listener) set.delete(listener)
    if (!listener || set.size === 0) this.commandListeners.delete(name)
  }

  getState(): ChannelState {
    return { ...this.state }
  }

  subscribeState(listener: StateListener): () => void {
    this.stateListeners.add(listener)
    listener(this.getState())
    return () => this.stateListeners.delete(listener)
  }

  onLifecycle(listener: LifecycleListener): () => void {
    this.lifecycleListeners.add(listener)
    return () => this.lifecycleListeners.delete(listener)
  }

  onDestroy(listener: () => void): () => void {
    this.destroyListeners.add(listener)
    return () => this.destroyListeners.delete(listener)
  }

  protected setState(patch: Partial<ChannelState>): void {
    this.state = { ...this.state, ...patch }
    for (const l of [...this.stateListeners]) l(this.getState())
  }

  protected lifecycle(event: LifecycleEvent): void {
    for (const l of [...this.lifecycleListeners]) l(event)
  }

  /** Hands one incoming message to every listener of its command. */
  protected dispatch(message: unknown): void {
    const env = readEnvelope(message)
    if (!env) return
    const set = this.commandListeners.get(env.c)
    if (!set) return
    for (const listener of [...set]) {
      try {
        listener(env.p, env.c)
      } catch (err) {
        console.error(`[socket] обработчик ${env.c} упал:`, err)
      }
    }
  }

  /** Tells the destroy listeners, then forgets every listener. */
  protected dropListeners(): void {
    const onDestroy = [...this.destroyListeners]
    this.destroyListeners.clear()
    for (const l of onDestroy) l()
    this.commandListeners.clear()
    this.stateListeners.clear()
    this.lifecycleListeners.clear()
  }
}

export class ServerChannel extends ChannelBase {
  readonly token: string
  readonly eventName = CHANNEL_EVENT
  private readonly socket: Socket
  private readonly onConnectError?: (error: Error) => void
  private started = false
  private destroyed = false
  /** attempts of the reconnection this channel runs itself after the server closed the connection */
  private ownAttempts = 0
  private ownTimer: ReturnType<typeof setTimeout> | undefined
  private readonly onReconnectAttempt = (attempt: number) => {
    this.ownAttempts = 0 // the client's own reconnection has taken over and counts from here
    this.lifecycle({ type: 'reconnect_attempt', attempt })
  }
  private readonly onReconnect = (attempt: number) => this.lifecycle({ type: 'reconnect', attempt })

  constructor(options: ServerChannelOptions) {
    super()
    this.token = options.getToken()
    this.onConnectError = options.onConnectError
    // Reconnection keeps the client's own policy: unlimited attempts, 1 s to 5 s back-off, 20 s time-out.
    this.socket = io(options.url, {
      path: options.path ?? CHANNEL_PATH,
      transports: options.transports ?? ['polling', 'websocket'],
      auth: { token: this.token },
      autoConnect: false,
      // Every channel has its own connection: the token of a new channel must reach a new handshake.
      forceNew: true,
    })
    if (options.autoInit) this.init()
  }

  init(): void {
    if (this.started || this.destroyed) return
    this.started = true
    const s = this.socket
    s.on('connect', () => {
      const ownAttempts = this.ownAttempts
      this.ownAttempts = 0
      this.setState({ connect: true, lastError: '' })
      if (ownAttempts > 0) this.lifecycle({ type: 'reconnect', attempt: ownAttempts })
      this.lifecycle({ type: 'connect' })
    })
    s.on('disconnect', (reason: string) => {
      this.setState({ connect: false })
      this.lifecycle({ type: 'disconnect', reason })
      // Socket.IO gives up on a connection the server closed itself (a restart of the service host, for one);
      // the channel comes back on its own, with the same back-off as after a network break.
      if (reason === 'io server disconnect') this.reconnectLater()
    })
    s.on(CHANNEL_EVENT, (message: unknown) => this.dispatch(message))
    s.on('connect_error', (error: Error) => {
      const message = error?.message ?? ''
      this.setState({ connect: false, lastError: message })
      this.lifecycle({ type: 'connect_error', message })
      this.onConnectError?.(error)
    })
    s.io.on('reconnect_attempt', this.onReconnectAttempt)
    s.io.on('reconnect', this.onReconnect)
    s.connect()
  }

  /**
   * One attempt after the back-off delay. When it cannot reach the server the client's own
   * reconnection takes over from there; when the server closes the connection again, this runs again.
   */
  private reconnectLater(): void {
    if (this.destroyed || this.ownTimer !== undefined) return
    const attempt = this.ownAttempts + 1
    this.ownTimer = setTimeout(() => {
      this.ownTimer = undefined
      if (this.destroyed || this.socket.connected) return
      this.ownAttempts = attempt
      this.lifecycle({ type: 'reconnect_attempt', attempt })
      this.socket.connect()
    }, reconnectDelay(attempt))
  }

  /** Emits {c, p, r}; while disconnected Socket.IO keeps it and sends it on connection. */
  send(command: string, payload: Payload = {}, tag: number = TO_BACK): void {
    if (this.destroyed) return
    this.socket.emit(CHANNEL_EVENT, { c: command, p: payload, r: tag })
  }

  destroy(): void {
    if (this.destroyed) return
    this.destroyed = true
    clearTimeout(this.ownTimer)
    this.ownTimer = undefined
    this.dropListeners()
    this.socket.removeAllListeners()
    this.socket.io.off('reconnect_attempt', this.onReconnectAttempt)
    this.socket.io.off('reconnect', this.onReconnect)
    this.socket.disconnect()
    this.state = { connect: false, lastError: this.state.lastError }
  }
}
