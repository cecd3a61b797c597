/**
 * The anonymous token: read from "zv_anon_jwt" while it is valid, else asked
 * with GET "/get-token" (8 s for the whole request). Inside the desktop host
 * the request goes through the host's `fetch_url` (netFetch); a host without
 * that command, and a plain browser, use the page's own fetch.
 */
import { writeAppLog } from './appLog'
import { errorText, isDesktopHost } from './bridge'
import { isCacheableToken, isTokenExpired } from './jwt'
import { readLocal, removeLocal, writeLocal } from './localStore'
import { netFetch } from './netFetch'
import { serverBaseUrl } from './serviceUrl'

export const ANON_JWT_TIMEOUT_MS = 8_000
export const ANON_JWT_KEY = 'zv_anon_jwt'

declare global {
  interface Window {
    /** a token the embedding page may place for a plain-browser run */
    jwt?: unknown
  }
}

/** What the token request answers: the status and the body text. */
interface TokenResponse {
  status: number
  text: string
}

class TokenTimeout extends Error {}

async function read(res: { ok: boolean; status: number; text(): Promise<string> }): Promise<TokenResponse> {
  return { status: res.status, text: res.ok ? await res.text() : '' }
}

function tokenRequest(signal: AbortSignal): Promise<TokenResponse> {
  const base = serverBaseUrl()
  // In a plain browser served by the service host itself the path is relative.
  const sameOrigin = !isDesktopHost() && typeof location !== 'undefined' && location.origin === base
  const url = sameOrigin ? '/get-token' : `${base}/get-token`
  return netFetch(url, () => fetch(url, { cache: 'no-store', signal })).then(read)
}

function embeddedToken(): string | undefined {
  if (isDesktopHost() || typeof window === 'undefined') return undefined
  const t = window.jwt
  return typeof t === 'string' && t !== '' && !isTokenExpired(t) ? t : undefined
}

function remember(token: string): void {
  if (isCacheableToken(token)) writeLocal(ANON_JWT_KEY, token)
}

/** A fresh anonymous token, or null (the reason is in the log). */
export async function fetchFreshAnonJwt(timeoutMs = ANON_JWT_TIMEOUT_MS): Promise<string | null> {
  const embedded = embeddedToken()
  if (embedded) {
    remember(embedded)
    return embedded
  }
  const controller = new AbortController()
  let timer: ReturnType<typeof setTimeout> | undefined
  const expiry = new Promise<never>((_, reject) => {
    timer = setTimeout(() => {
      controller.abort()
      reject(new TokenTimeout())
    }, timeoutMs)
  })
  try {
    const res = await Promise.race([tokenRequest(controller.signal), expiry])
    if (res.status < 200 || res.status > 299) {
      writeAppLog(`fetchInitialJwt: ошибка, сервер ответил ${res.status}`)
      return null
    }
    let token: unknown
    try {
      token = (JSON.parse(res.text) as { token?: unknown } | null)?.token
    } catch {
      token = undefined
    }
    if (typeof token !== 'string' || token === '') {
      writeAppLog('fetchInitialJwt: ошибка, в ответе нет поля token')
      return null
    }
    writeAppLog('fetchInitialJwt: ок, токен получен')
    remember(token)
    return token
  } catch (err) {
    if (err instanceof TokenTimeout || controller.signal.aborted) writeAppLog(`fetchInitialJwt: таймаут ${timeoutMs} мс`)
    else writeAppLog(`fetchInitialJwt: ошибка сети — ${errorText(err)}`)
    return null
  } finally {
    clearTimeout(timer)
  }
}

/** The cached anonymous token while it is valid, else a fresh one. */
export async function fetchInitialJwt(now = Date.now(), timeoutMs = ANON_JWT_TIMEOUT_MS): Promise<string | null> {
  const cached = readLocal<unknown>(ANON_JWT_KEY)
  if (typeof cached === 'string' && !isTokenExpired(cached, now)) return cached
  return fetchFreshAnonJwt(timeoutMs)
}

export function clearAnonJwt(): void {
  removeLocal(ANON_JWT_KEY)
}
