/**
 * Requests to the maker's hosts from inside the desktop host go through the
 * host's `fetch_url` (its own resolver, addresses and TLS), not the page's
 * network stack. Anything else, and an older host without `fetch_url`, takes
 * the caller's own request.
 */
import { writeAppLog } from './appLog'
import { hostFlagSet, invoke, isCommandNotFound } from './bridge'
import { base64Bytes, isMakerHost, withTimeout, type LabelFetchResult } from './labelFetch'

export const FETCH_URL_MISSING =
  '[netFetch] команда fetch_url недоступна (старая сборка приложения) — используем прежний путь'

/** The part of a fetch `Response` callers use. */
export interface NetResponse {
  ok: boolean
  status: number
  text(): Promise<string>
  json<T = unknown>(): Promise<T>
  arrayBuffer(): Promise<ArrayBuffer>
}

export interface NetFetchOptions {
  /** The caller's time-out for the whole request. */
  timeoutMs?: number
}

export interface NetFetchDeps {
  invoke: <T>(cmd: string, args?: Record<string, unknown>) => Promise<T>
  hostFlag: () => boolean
  log: (line: string) => void
}

export const defaultNetFetchDeps: NetFetchDeps = {
  invoke,
  hostFlag: hostFlagSet,
  log: (line) => {
    console.info(line)
    writeAppLog(line)
  },
}

function hostOf(url: string): string | undefined {
  try {
    return new URL(url).hostname
  } catch {
    return undefined
  }
}

/** A response-like object over the bytes `fetch_url` returned. */
export function responseFromFetchResult(result: LabelFetchResult): NetResponse {
  const bytes = base64Bytes(result.bytes)
  const text = () => new TextDecoder().decode(bytes)
  return {
    ok: result.status >= 200 && result.status <= 299,
    status: result.status,
    text: async () => text(),
    json: async <T>() => JSON.parse(text()) as T,
    arrayBuffer: async () => bytes.slice().buffer,
  }
}

/**
 * GET `url` through the host when it is one of the maker's hosts, else (and
 * on an older host) through `fallback`.
 */
export async function netFetch<R>(
  url: string,
  fallback: () => Promise<R>,
  options: NetFetchOptions = {},
  deps: NetFetchDeps = defaultNetFetchDeps,
): Promise<NetResponse | R> {
  const host = hostOf(url)
  if (!deps.hostFlag() || host === undefined || !isMakerHost(host)) return fallback()
  let result: LabelFetchResult
  try {
    const call = deps.invoke<LabelFetchResult>('fetch_url', { url })
    result =
      options.timeoutMs === undefined
        ? await call
        : await withTimeout(call, options.timeoutMs, `netFetch: нет ответа за ${options.timeoutMs / 1000} с`)
  } catch (err) {
    if (!isCommandNotFound(err, 'fetch_url')) throw err
    deps.log(FETCH_URL_MISSING)
    return fallback()
  }
  deps.log(`[netFetch] ${url} → ${result.via}`)
  return responseFromFetchResult(result)
}
