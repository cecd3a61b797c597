/** The request helpers every screen uses, over whatever channel is current; requests of one name go one at a time. */
import type { Payload } from '../envelope'
import { COMMAND_TIMEOUT_MS, createSerialiser, errorFrom, phoneErrorFrom, refusalFrom, requestOn, type RequestOptions } from '../requests'
import type { Channel } from '../serverChannel'

export const NO_CHANNEL = 'нет соединения с сервером'

export type RequestHelpers = ReturnType<typeof createRequestHelpers>

export function createRequestHelpers(current: () => Channel | undefined) {
  const serialised = createSerialiser()

  function ask(name: string, payload: Payload, options: RequestOptions): Promise<Payload> {
    return serialised(name, () => {
      const ch = current()
      if (!ch) return Promise.reject(new Error(NO_CHANNEL))
      return requestOn(ch, name, payload, options)
    })
  }

  /** Emits a message that has no answer. */
  function send(name: string, payload: Payload = {}): boolean {
    const ch = current()
    if (!ch) return false
    ch.send(name, payload)
    return true
  }

  /** A plain request: resolves the answer's payload as it is (callers look at `error`/`errorCode`). */
  function request(name: string, payload: Payload = {}, options: RequestOptions = {}): Promise<Payload> {
    return ask(name, payload, options)
  }

  /** A request whose refusal (`errorCode` or `error`) rejects with RefusalError. */
  async function command(
    name: string,
    payload: Payload = {},
    timeoutMs: number = COMMAND_TIMEOUT_MS,
    accept?: (p: Payload) => boolean,
    options: Pick<RequestOptions, 'connectedOnly'> = {},
  ): Promise<Payload> {
    const p = await ask(name, payload, { timeoutMs, accept, ...options })
    const refusal = refusalFrom(p)
    if (refusal) throw refusal
    return p
  }

  /** The session and document helpers: a non-empty `error` rejects with its text. */
  async function sessionRequest(name: string, payload: Payload, timeoutMs: number, options: RequestOptions = {}): Promise<Payload> {
    const p = await ask(name, payload, { ...options, timeoutMs })
    const err = errorFrom(p)
    if (err) throw err
    return p
  }

  /** The phone sign-in's requests: their refusals carry the phone flow's own texts. */
  async function phoneRequest(name: string, payload: Payload, timeoutMs: number): Promise<Payload> {
    const p = await ask(name, payload, { timeoutMs })
    const err = phoneErrorFrom(p)
    if (err) throw err
    return p
  }

  return { send, request, command, sessionRequest, phoneRequest }
}
