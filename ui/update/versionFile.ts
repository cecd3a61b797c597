/**
 * The version file on the maker's download site: the fallback when the
 * updater finds nothing. Each file goes through `fetch_url`; inside the host
 * its fallback is the host's http service, outside it the page's own fetch.
 */
import { errorText, invokePlugin, isDesktopHost } from '../core/bridge'
import { netFetch, type NetResponse } from '../core/netFetch'
import { parseVersionFile } from './versions'

export const NATIVE_CONNECT_TIMEOUT_MS = 10_000

export interface VersionFileDeps {
  get(url: string): Promise<NetResponse>
  log(line: string): void
}

/** The first valid version among `urls`, or null when none answers one. */
export async function readVersionFile(urls: readonly string[], deps: VersionFileDeps): Promise<string | null> {
  for (const url of urls) {
    let res: NetResponse
    try {
      res = await deps.get(url)
    } catch (err) {
      deps.log(`[appUpdate] ${url}: ${errorText(err)}`)
      continue
    }
    if (!res.ok) {
      deps.log(`[appUpdate] ${url}: ответ ${res.status}`)
      continue
    }
    const version = parseVersionFile(await res.text())
    if (version === null) continue
    deps.log(`[appUpdate] на сервере ${version} (${url})`)
    return version
  }
  return null
}

function pageFetch(url: string): Promise<NetResponse> {
  return fetch(url, { cache: 'no-store' })
}

interface HttpHead {
  status: number
  rid?: number
}

/** A GET through the host's http service (a host without `fetch_url`). */
async function httpServiceGet(url: string): Promise<NetResponse> {
  const rid = await invokePlugin<number>('http', 'fetch', { method: 'GET', url, connectTimeout: NATIVE_CONNECT_TIMEOUT_MS })
  const head = await invokePlugin<HttpHead>('http', 'fetch_send', { rid })
  const bodyRid = head.rid ?? rid
  const parts: number[] = []
  for (;;) {
    const part = await invokePlugin<unknown>('http', 'fetch_read_body', { rid: bodyRid })
    const bytes = part instanceof ArrayBuffer ? new Uint8Array(part) : Array.isArray(part) ? Uint8Array.from(part as number[]) : new Uint8Array()
    if (bytes.length === 0) break
    parts.push(...bytes)
  }
  const text = new TextDecoder().decode(Uint8Array.from(parts))
  return {
    ok: head.status >= 200 && head.status <= 299,
    status: head.status,
    text: async () => text,
    json: async <T>() => JSON.parse(text) as T,
    arrayBuffer: async () => Uint8Array.from(parts).buffer,
  }
}

/** The request path of the version files in this page. */
export function defaultVersionFileGet(log: (line: string) => void): (url: string) => Promise<NetResponse> {
  return (url) =>
    netFetch(url, async () => {
      if (!isDesktopHost()) return pageFetch(url)
      try {
        return await httpServiceGet(url)
      } catch (err) {
        log(`[appUpdate] нативный запрос не удался, пробую через webview: ${errorText(err)}`)
        return pageFetch(url)
      }
    })
}
