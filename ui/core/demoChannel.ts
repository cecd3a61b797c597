/**
 * The channel of demonstration mode (device token "demo"): no network; every
 * request is answered by the in-memory backend of ui/demo, asynchronously and
 * in the same shapes as the service host's answers.
 */
import { createBackend, DEMO_TOKEN, demoSigner, type Connection, type MemoryBackend } from '../demo'
import { FROM_BACK, TO_BACK, type Payload } from './envelope'
import { ChannelBase } from './serverChannel'

let shared: MemoryBackend | undefined

/** One backend for the page's lifetime: what the demo user did stays until the page reloads. */
export function demoBackend(): MemoryBackend {
  return (shared ??= createBackend({ sign: demoSigner }))
}

export class DemoChannel extends ChannelBase {
  readonly token = DEMO_TOKEN
  private conn: Connection | undefined
  private destroyed = false
  private readonly timers = new Set<ReturnType<typeof setTimeout>>()

  constructor(private readonly backend: MemoryBackend = demoBackend()) {
    super()
  }

  private later(fn: () => void): void {
    const t = setTimeout(() => {
      this.timers.delete(t)
      if (!this.destroyed) fn()
    }, 0)
    this.timers.add(t)
  }

  init(): void {
    if (this.conn || this.destroyed) return
    const identity = this.backend.authenticate(DEMO_TOKEN)
    if ('error' in identity) throw new Error(identity.error)
    this.conn = this.backend.attach(identity, (c, p) => this.later(() => this.dispatch({ c, p, r: FROM_BACK })))
    this.later(() => {
      this.setState({ connect: true, lastError: '' })
      this.lifecycle({ type: 'connect' })
    })
  }

  send(command: string, payload: Payload = {}, _tag: number = TO_BACK): void {
    const conn = this.conn
    if (!conn || this.destroyed) return
    this.later(() => {
      for (const reply of this.backend.handle(conn, command, payload)) this.dispatch({ c: reply.c, p: reply.p, r: FROM_BACK })
    })
  }

  destroy(): void {
    if (this.destroyed) return
    this.destroyed = true
    for (const t of this.timers) clearTimeout(t)
    this.timers.clear()
    this.dropListeners()
    if (this.conn) this.backend.detach(this.conn)
    this.state = { connect: false, lastError: '' }
  }
}
