/**
 * The local service host started inside a test, on a free loopback port, in
 * test mode, with helpers for its control endpoint.
 */
export { eventually } from './eventually'
import { randomSecret, startServiceHost, type ServiceHost } from '../../../service-host/serviceHost.mjs'

export interface ControlMessage {
  c: string
  p: Record<string, unknown>
  r: number
  conn: string
  kind: string
  /** when the stand-in received it (ms since the epoch) */
  at: number
}

/** One call of a stand-in's control endpoint at `controlUrl`; a refusal throws with its error. */
export async function controlRequest<T = Record<string, unknown>>(
  controlUrl: string,
  method: 'GET' | 'POST',
  path: string,
  body?: unknown,
): Promise<T> {
  const res = await fetch(`${controlUrl}${path}`, {
    method,
    headers: body === undefined ? undefined : { 'content-type': 'application/json' },
    body: body === undefined ? undefined : JSON.stringify(body),
  })
  const json = (await res.json()) as T & { error?: string }
  if (!res.ok) throw new Error(`control ${path}: ${json.error ?? res.status}`)
  return json
}

export class StandIn {
  private constructor(readonly host: ServiceHost) {}

  /** `port` and `secret` start it again where a stopped one was, accepting that one's tokens. */
  static async start(options: { now?: () => number; port?: number; secret?: string } = {}): Promise<StandIn> {
    const host = await startServiceHost({
      port: options.port ?? 0,
      testMode: true,
      secret: options.secret ?? randomSecret(),
      log: () => {},
      now: options.now,
    })
    return new StandIn(host)
  }

  get url(): string {
    return this.host.url
  }

  control<T = Record<string, unknown>>(method: 'GET' | 'POST', path: string, body?: unknown): Promise<T> {
    return controlRequest<T>(this.host.controlUrl ?? '', method, path, body)
  }

  push(c: string, p: Record<string, unknown> = {}, token?: string) {
    return this.control<{ delivered: number }>('POST', '/push', { c, p, token })
  }

  nextReply(
    c: string,
    action: 'fail' | 'delay' | 'drop',
    extra: { payload?: Record<string, unknown>; ms?: number; times?: number; token?: string } = {},
  ) {
    return this.control('POST', '/next-reply', { c, action, ...extra })
  }

  async messages(c?: string): Promise<ControlMessage[]> {
    const q = c ? `?c=${encodeURIComponent(c)}` : ''
    return (await this.control<{ messages: ControlMessage[] }>('GET', `/messages${q}`)).messages
  }

  mint(userId: string, ttlSec?: number) {
    return this.control<{ token: string; refreshToken: string; sessionId: string }>('POST', '/mint', { userId, ttlSec })
  }

  expireToken(token: string, drop = false) {
    return this.control('POST', '/expire-token', { token, drop })
  }

  disconnect(mode: 'transport' | 'server' = 'transport', token?: string) {
    return this.control<{ dropped: number }>('POST', '/disconnect', { mode, token })
  }

  async connections(): Promise<Array<{ id: string; kind: string; token: string }>> {
    return (await this.control<{ connections: Array<{ id: string; kind: string; token: string }> }>('GET', '/connections')).connections
  }

  reset() {
    return this.control('POST', '/reset')
  }

  close(): Promise<void> {
    return this.host.close()
  }
}
