/**
 * Request and reply over the channel. Replies carry no request id: a reply is
 * matched by its name (and, for some commands, by a filter), so the listener
 * is registered before the request goes out, the first accepted reply wins,
 * and a reply that comes after the time-out finds no listener.
 */
import { replyNameFor, type Payload } from './envelope'
import type { Channel } from './serverChannel'

export const DEFAULT_TIMEOUT_MS = 5_000
export const COMMAND_TIMEOUT_MS = 15_000
/** The message of every expired request; callers test for this text. */
export const TIMEOUT_MESSAGE = 'timeout'

/** Races an operation against a timer; on expiry rejects with Error("timeout") and calls `onExpire`. */
export function withTimeout<T>(operation: Promise<T>, ms: number = DEFAULT_TIMEOUT_MS, onExpire?: () => void): Promise<T> {
  return new Promise<T>((resolve, reject) => {
    const timer = setTimeout(() => {
      onExpire?.()
      reject(new Error(TIMEOUT_MESSAGE))
    }, ms)
    operation.then(
      (value) => {
        clearTimeout(timer)
        resolve(value)
      },
      (err: unknown) => {
        clearTimeout(timer)
        reject(err)
      },
    )
  })
}

export function isTimeout(err: unknown): boolean {
  return err instanceof Error && err.message === TIMEOUT_MESSAGE
}

export interface RequestOptions {
  timeoutMs?: number
  /** the answer's name when it is not the usual one */
  replyName?: string
  /** a reply for which this is false is ignored and waiting goes on */
  accept?: (payload: Payload) => boolean
  /**
   * Refuse at once while disconnected instead of leaving the message in the
   * client's buffer: a buffered message goes out on the next connection, long
   * after its caller gave up and, for a completion, after it was queued and
   * sent again from the queue.
   */
  connectedOnly?: boolean
}

/** The message of a request whose channel was closed while it waited. */
export const CHANNEL_CLOSED_MESSAGE = 'соединение закрыто'
/** The message of a `connectedOnly` request made while disconnected. */
export const NOT_CONNECTED_MESSAGE = 'нет соединения с сервером'

/** Sends one request on a channel and resolves the payload of the first accepted reply. */
export function requestOn(channel: Channel, name: string, payload: Payload = {}, options: RequestOptions = {}): Promise<Payload> {
  if (options.connectedOnly && !channel.getState().connect) return Promise.reject(new Error(NOT_CONNECTED_MESSAGE))
  const replyName = options.replyName ?? replyNameFor(name)
  let offReply: () => void = () => {}
  let offDestroy: () => void = () => {}
  const reply = new Promise<Payload>((resolve, reject) => {
    offReply = channel.onCommand(replyName, (p) => {
      if (options.accept && !options.accept(p)) return
      offReply() // at once: a second reply of this name is left to whoever waits next
      resolve(p)
    })
    // A destroyed channel never answers: give up now rather than at the time-out.
    offDestroy = channel.onDestroy(() => reject(new Error(CHANNEL_CLOSED_MESSAGE)))
  })
  const cleanup = () => {
    offReply()
    offDestroy()
  }
  channel.send(name, payload)
  const answer = withTimeout(reply, options.timeoutMs ?? DEFAULT_TIMEOUT_MS)
  answer.then(cleanup, cleanup)
  return answer
}

/**
 * Runs same-named operations one after the other: a new call starts only
 * after the previous one has settled, successfully or not.
 */
export function createSerialiser() {
  const tails = new Map<string, Promise<unknown>>()
  return function serialised<T>(name: string, operation: () => Promise<T>): Promise<T> {
    const previous = tails.get(name) ?? Promise.resolve()
    const run = previous.then(operation, operation)
    const tail = run.catch(() => undefined)
    tails.set(name, tail)
    void tail.then(() => {
      if (tails.get(name) === tail) tails.delete(name)
    })
    return run
  }
}

// ---- refusals

export interface RefusalInfo {
  code?: string
  message?: string
  collector?: unknown
  startedAt?: unknown
  stage?: unknown
  positionId?: unknown
  feature?: unknown
  limit?: number
  used?: number
  missing?: unknown[]
  wrong?: unknown[]
  cellsCount?: number
  childrenCount?: number
  placementsCount?: number
  available?: number
  event?: unknown
  stateId?: unknown
  entity?: unknown
}

/** The server refused a request: `info` carries its code and details. */
export class RefusalError extends Error {
  constructor(
    message: string,
    readonly info: RefusalInfo,
  ) {
    super(message)
    this.name = 'RefusalError'
  }
}

/** A page of a completion the server did not accept. */
export class ServerRejectedError extends Error {
  readonly serverRejected = true
  constructor(message: string) {
    super(message)
    this.name = 'ServerRejectedError'
  }
}

/** A refusal of the phone sign-in commands. */
export class PhoneAuthError extends Error {
  constructor(
    message: string,
    readonly code: string,
    readonly retryAfter: number | undefined,
    readonly attemptsLeft: number | undefined,
    readonly lockNext: boolean | undefined,
  ) {
    super(message)
    this.name = 'PhoneAuthError'
  }
}

function present(v: unknown): boolean {
  return v !== undefined && v !== null && v !== '' && v !== false
}

function firstText(...values: unknown[]): string | undefined {
  for (const v of values) if (typeof v === 'string' && v !== '') return v
  return undefined
}

const PASSED = ['collector', 'startedAt', 'stage', 'positionId', 'feature', 'event', 'stateId', 'entity'] as const
const NUMBERS = ['limit', 'used', 'cellsCount', 'childrenCount', 'placementsCount', 'available'] as const
const ARRAYS = ['missing', 'wrong'] as const

/** A reply with `errorCode` or `error` as a RefusalError; undefined for an answer. */
export function refusalFrom(p: Payload): RefusalError | undefined {
  if (!present(p.errorCode) && !present(p.error)) return undefined
  const info: RefusalInfo = {}
  if (present(p.errorCode)) info.code = String(p.errorCode)
  const message = firstText(p.message, p.error)
  if (message !== undefined) info.message = message
  for (const k of PASSED) if (p[k] !== undefined) info[k] = p[k]
  for (const k of NUMBERS) if (typeof p[k] === 'number') info[k] = p[k] as number
  for (const k of ARRAYS) if (Array.isArray(p[k])) info[k] = p[k] as unknown[]
  return new RefusalError(firstText(p.error, p.message, p.errorCode) ?? 'refused', info)
}

/** The session and document helpers: a non-empty `error` rejects with its text. */
export function errorFrom(p: Payload): Error | undefined {
  return present(p.error) ? new Error(String(p.error)) : undefined
}

/** The phone commands: `error` or `errorCode` rejects with a PhoneAuthError. */
export function phoneErrorFrom(p: Payload): PhoneAuthError | undefined {
  if (!present(p.error) && !present(p.errorCode)) return undefined
  const num = (v: unknown) => (typeof v === 'number' && Number.isFinite(v) ? v : undefined)
  return new PhoneAuthError(
    firstText(p.error, p.errorCode) ?? '',
    typeof p.errorCode === 'string' ? p.errorCode : '',
    num(p.retryAfter),
    num(p.attemptsLeft),
    typeof p.lockNext === 'boolean' ? p.lockNext : undefined,
  )
}
