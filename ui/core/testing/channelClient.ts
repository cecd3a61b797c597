/** A device on a stand-in's channel for tests: a raw Socket.IO client speaking the envelope. */
import { io, type Socket } from 'socket.io-client'

type Payload = Record<string, unknown>

export interface ChannelClient {
  socket: Socket
  /** the next message named `c` from the stand-in */
  next(c: string): Promise<Payload>
  /** sends the request and waits for its "<c>.result" */
  ask(c: string, p?: Payload): Promise<Payload>
  close(): void
}

/** Connects to `url` with the handshake `token`. */
export async function channelClient(url: string, token: string): Promise<ChannelClient> {
  const socket = io(url, { path: '/e', auth: { token }, transports: ['websocket'] })
  await new Promise((resolve) => socket.on('connect', () => resolve(undefined)))
  const next = (c: string) =>
    new Promise<Payload>((resolve) => {
      const on = (m: { c: string; p: Payload }) => {
        if (m.c !== c) return
        socket.off('a', on)
        resolve(m.p)
      }
      socket.on('a', on)
    })
  return {
    socket,
    next,
    async ask(c, p = {}) {
      const reply = next(`${c}.result`)
      socket.emit('a', { c, p, r: 4 })
      return reply
    },
    close: () => socket.close(),
  }
}
