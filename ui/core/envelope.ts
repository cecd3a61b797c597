/**
 * The message envelope of the server channel, shared by the client, the demo
 * backend and the local service host. Pure TypeScript: no DOM, no Vue.
 */

/** Socket.IO path of the service host's channel. */
export const CHANNEL_PATH = '/e'
/** The one Socket.IO event every message travels on. */
export const CHANNEL_EVENT = 'a'
/** Route tag of every request the client sends. */
export const TO_BACK = 4
/** Route tag of every message the server sends (answers and pushes). */
export const FROM_BACK = 1

export type Payload = Record<string, unknown>

/** {c, p, r}: command name, payload, route tag. */
export interface Envelope {
  c: string
  p: Payload
  r: number
}

/** Requests whose answer does not follow the "<name>.result" rule. */
const SPECIAL_REPLIES: Readonly<Record<string, string>> = {
  workerAuth: 'workerAuthEnd',
  refreshDeviceJwt: 'refreshDeviceJwtEnd',
  getDocumentList: 'documentList.result',
}

/** The name the server answers a request with. */
export function replyNameFor(command: string): string {
  return SPECIAL_REPLIES[command] ?? `${command}.result`
}

/** The name of a server push for a command. */
export function pushName(command: string): string {
  return `${command}.push`
}

/** The envelope as read off the wire: anything that is not {c: string, p?: object} is dropped. */
export function readEnvelope(message: unknown): Envelope | undefined {
  if (typeof message !== 'object' || message === null) return undefined
  const m = message as { c?: unknown; p?: unknown; r?: unknown }
  if (typeof m.c !== 'string' || m.c === '') return undefined
  const p = typeof m.p === 'object' && m.p !== null && !Array.isArray(m.p) ? (m.p as Payload) : {}
  return { c: m.c, p, r: typeof m.r === 'number' ? m.r : 0 }
}
