/**
 * A handshake that refused the token. A device or account token with a
 * refresh token is renewed over a token-less channel and the channel
 * reopened; otherwise, or when the renewal fails, the device is signed out
 * and the channel reopened anonymously, pausing longer at each refusal in a row.
 */
import { clearAnonJwt, fetchInitialJwt } from '../anonToken'
import { useAuthStore } from '../authStore'
import { errorText } from '../bridge'
import { clearDeviceJwt, clearRefreshToken } from '../credentials'
import { errorFrom, requestOn } from '../requests'
import type { Channel } from '../serverChannel'
import { useSocketStore } from '../socketStore'
import type { ChannelHost } from './channelHost'
import type { SessionEnv } from './env'
import { renewedFrom } from './signInRequests'
import type { RenewedTokens, Tokens } from './tokens'

/** Only a refused token is handled here; Socket.IO keeps retrying any other connect error by itself. */
export function isTokenRefusal(message: string | undefined): boolean {
  return /auth/i.test(message ?? '')
}

/** The pause before the n-th anonymous restart in a row: none for the first, then 1 s doubling up to 30 s. */
export function restartPauseMs(restarts: number): number {
  return restarts <= 1 ? 0 : Math.min(30_000, 1_000 * 2 ** (restarts - 2))
}

export interface RejectedTokenDeps {
  env: Pick<SessionEnv, 'openGuestChannel' | 'log'>
  tokens: Tokens
  host: Pick<ChannelHost, 'current' | 'connect' | 'disconnect'>
}

export type RejectedTokens = ReturnType<typeof createRejectedTokens>

export function createRejectedTokens({ env, tokens, host }: RejectedTokenDeps) {
  let running = false
  let restarts = 0

  function connectError(ch: Channel, err: Error): void {
    if (ch !== host.current()) return
    const socket = useSocketStore()
    socket.setConnected(false)
    socket.setReconnecting(true)
    if (!isTokenRefusal(err?.message)) return
    void handle(ch)
  }

  async function handle(rejected: Channel): Promise<void> {
    if (running) return
    running = true
    try {
      if (tokens.socketLogin() !== 'anon') {
        const token = rejected.token
        const refresh = await tokens.refreshTokenFor(token)
        if (refresh) {
          try {
            const renewed = await refreshOnGuestChannel(refresh)
            await tokens.storeRenewedTokens(token, renewed, refresh)
            if (rejected !== host.current()) return
            host.disconnect()
            host.connect()
            return
          } catch (err) {
            env.log(`сокет: токен отклонен, обновить не удалось — ${errorText(err)}`)
          }
        }
        if (rejected !== host.current()) return
        await clearDeviceJwt()
        await clearRefreshToken()
        useAuthStore().reset()
      }
      await anonymousRestart(rejected)
    } finally {
      running = false
    }
  }

  /** The refused channel cannot carry the renewal (Socket.IO does not retry a refused handshake). */
  async function refreshOnGuestChannel(refreshToken: string): Promise<RenewedTokens> {
    const guest = env.openGuestChannel()
    guest.init()
    try {
      const p = await requestOn(guest, 'refreshDeviceJwt', { refreshToken }, { timeoutMs: 10_000 })
      const err = errorFrom(p)
      if (err) throw err
      return renewedFrom(p)
    } finally {
      guest.destroy()
    }
  }

  /** Drops the cached anonymous token, fetches a new one and reopens the channel with it. */
  async function anonymousRestart(replacing?: Channel): Promise<void> {
    restarts += 1
    // Refused again and again: wait longer each time instead of hammering the server.
    const pause = restartPauseMs(restarts)
    if (pause) await new Promise((r) => setTimeout(r, pause))
    if (replacing && replacing !== host.current()) return
    clearAnonJwt()
    const token = await fetchInitialJwt()
    if (!token) return
    if (replacing && replacing !== host.current()) return
    tokens.setAnonJwt(token)
    host.disconnect()
    host.connect()
  }

  return {
    connectError,
    anonymousRestart,
    /** A connection came: the next refusal starts the pauses over. */
    resetRestarts(): void {
      restarts = 0
    },
    reset(): void {
      restarts = 0
      running = false
    },
  }
}
