/**
 * Label download in the desktop host: the link is checked against the maker's
 * hosts, fetched by the host's `fetch_label` (an older host: its `http`
 * service) with a bounded number of attempts, and failures become texts the
 * picker can act on.
 */
import { writeAppLog } from './appLog'
import { errorText, invoke, invokePlugin, isCommandNotFound, isDesktopHost } from './bridge'

/** The maker's hosts (application, file, web-shop); the host keeps the same list. */
export const MAKER_HOSTS: readonly string[] =
  __ZORVIK_FLAVOUR__ === 'local'
    ? ['localhost', '127.0.0.1', '127.0.0.2']
    : ['app.zorvik.ru', 'files.zorvik.ru', 'shop.zorvik.ru']

/** Origin of the application host; a relative label link is resolved against it. */
export const APP_HOST_ORIGIN = __ZORVIK_FLAVOUR__ === 'local' ? 'http://localhost:8787' : 'https://app.zorvik.ru'

export const LABEL_MAX_ATTEMPTS = 4
/** Waits before the 2nd, 3rd and every later attempt. */
export const LABEL_RETRY_WAITS_MS: readonly number[] = [400, 1200, 2000]
export const LABEL_TIMEOUT_MS = 30_000
/** No new attempt once this much has passed since the first one started. */
export const LABEL_BUDGET_MS = LABEL_TIMEOUT_MS + 15_000

export const NOT_IN_HOST = 'Печать работает только в установленном приложении, в браузере недоступна'
export const EMPTY_LABEL = 'Этикетка пришла пустой'
export const FETCH_LABEL_MISSING =
  '[печать] команда fetch_label недоступна (старая сборка приложения) — качаем через HTTP-плагин'

/** What `fetch_label` and `fetch_url` answer. */
export interface LabelFetchResult {
  bytes: string
  status: number
  contentType: string
  via: string
}

/** The http service's answer to `fetch_send`. */
interface HttpHead {
  status: number
  statusText?: string
  rid: number
}

/** ASCII case-insensitive, as the host compares. */
export function isMakerHost(host: string): boolean {
  const h = host.replace(/[A-Z]/g, (c) => c.toLowerCase())
  return MAKER_HOSTS.includes(h)
}

/** Checks a label link before any call; throws the text for the picker. */
export function validateLabelLink(link: string | null | undefined): URL {
  if (link == null || link.trim() === '') throw new Error('Сервер не дал ссылку на этикетку')
  let url: URL
  try {
    url = new URL(link)
  } catch {
    try {
      url = new URL(link, APP_HOST_ORIGIN)
    } catch {
      throw new Error(`Ссылку на этикетку не удалось разобрать: ${link}`)
    }
  }
  if (url.protocol !== 'https:' && url.protocol !== 'http:') {
    throw new Error(
      `Ссылка на этикетку пришла с непонятной схемой (${link}) — печатать по такой нельзя, передайте в поддержку`,
    )
  }
  if (!isMakerHost(url.hostname)) {
    throw new Error(
      `Домен ${url.hostname} не разрешен в приложении — этикетку по такой ссылке не скачать, нужна новая сборка. Передайте в поддержку`,
    )
  }
  return url
}

const RETRYABLE = [
  /error sending request/,
  /failed to fetch/,
  /load failed/,
  /networkerror/,
  /decoding response body/,
  /connection (reset|refused|closed|aborted)/,
  /connection closed before message completed/,
  /unexpected eof/,
  /dns error/,
  /invalid peer certificate/,
  /handshake/,
  /\btls\b/,
  /сервер ответил (502|503|504)(?![\p{L}\p{N}_])/u,
]

/** True when a failed attempt is worth repeating (network trouble, a busy gateway). */
export function isRetryableLabelError(text: string): boolean {
  const lower = text.toLowerCase()
  return RETRYABLE.some((re) => re.test(lower))
}

export function labelTimeoutText(ms: number = LABEL_TIMEOUT_MS): string {
  return `Этикетка не скачалась за ${ms / 1000} секунд — сервер не отдал файл. Попробуйте еще раз; если повторится, передайте в поддержку`
}

const ATTEMPTS_SUFFIX = / — попыток: (\d+)$/

/** The text the picker sees for a failed label download. */
export function translateLabelError(text: string): string {
  const lower = text.toLowerCase()
  const attempts = ATTEMPTS_SUFFIX.exec(text)?.[1]
  if (lower.includes('scheme') && lower.includes('not support')) {
    return 'Ссылку на этикетку не удалось привязать к адресу сервера — печатать по ней нельзя. Передайте в поддержку'
  }
  if (lower.includes('not allowed') || lower.includes('scope')) {
    return 'Домен ссылки на этикетку не разрешен в приложении — нужна сборка с этим доменом. Передайте в поддержку'
  }
  if (lower.includes('error sending request')) {
    const host = /for url \([a-z][a-z0-9+.-]*:\/\/(\[[^\]]*\]|[^/:?#)\s]+)/i.exec(text)?.[1]
    return (
      `Компьютер не смог соединиться с сервером${host ? ` ${host}` : ''}` +
      `${attempts ? ` (попыток подряд: ${attempts})` : ''} — запрос до сервера не дошел. ` +
      'Проверьте интернет, антивирус и прокси на этом компьютере; если сайт открывается, передайте в поддержку'
    )
  }
  if (lower.includes('failed to fetch') || lower.includes('load failed') || lower.includes('networkerror')) {
    return (
      `Этикетку не удалось скачать — связь с сервером оборвалась${attempts ? ` (попыток подряд: ${attempts})` : ''}. ` +
      'Проверьте интернет и попробуйте еще раз; если связь есть, передайте в поддержку'
    )
  }
  return text
}

/** What a label download needs from the outside; tests pass their own. */
export interface LabelFetchDeps {
  invoke: <T>(cmd: string, args?: Record<string, unknown>) => Promise<T>
  invokePlugin: <T>(service: string, command: string, args?: Record<string, unknown>) => Promise<T>
  inHost: () => boolean
  log: (line: string) => void
  now: () => number
  sleep: (ms: number) => Promise<void>
}

function logLine(line: string): void {
  console.info(line)
  writeAppLog(line)
}

export const defaultLabelFetchDeps: LabelFetchDeps = {
  invoke,
  invokePlugin,
  inHost: isDesktopHost,
  log: logLine,
  now: () => Date.now(),
  sleep: (ms) => new Promise((resolve) => setTimeout(resolve, ms)),
}

/** Races `work` against `ms`; the loser's timer is cleared. */
export function withTimeout<T>(work: Promise<T>, ms: number, text: string): Promise<T> {
  let timer: ReturnType<typeof setTimeout> | undefined
  const expired = new Promise<never>((_, reject) => {
    timer = setTimeout(() => reject(new Error(text)), ms)
  })
  return Promise.race([work, expired]).finally(() => clearTimeout(timer))
}

export function base64Bytes(b64: string): Uint8Array {
  const binary = atob(b64)
  const out = new Uint8Array(binary.length)
  for (let i = 0; i < binary.length; i++) out[i] = binary.charCodeAt(i)
  return out
}

/** A raw reply of the bridge as bytes. */
function replyBytes(reply: unknown): Uint8Array {
  if (reply instanceof Uint8Array) return reply
  if (reply instanceof ArrayBuffer) return new Uint8Array(reply)
  if (Array.isArray(reply)) return Uint8Array.from(reply as number[])
  return new Uint8Array(0)
}

function statusFailure(status: number): Error {
  return new Error(`Не удалось скачать этикетку: сервер ответил ${status}`)
}

/** The fallback of an older host: GET through its http service. */
async function fetchThroughHttpService(url: string, deps: LabelFetchDeps): Promise<Uint8Array> {
  let rid: number | undefined
  const cancel = () => {
    if (rid !== undefined) deps.invokePlugin('http', 'fetch_cancel', { rid }).catch(() => {})
  }
  let head: HttpHead
  try {
    head = await withTimeout(
      (async () => {
        rid = await deps.invokePlugin<number>('http', 'fetch', { method: 'GET', url, connectTimeout: LABEL_TIMEOUT_MS })
        return deps.invokePlugin<HttpHead>('http', 'fetch_send', { rid })
      })(),
      LABEL_TIMEOUT_MS,
      labelTimeoutText(),
    )
  } catch (err) {
    cancel()
    throw err
  }
  const bodyRid = head.rid ?? rid
  if (head.status < 200 || head.status > 299) {
    deps.invokePlugin('http', 'fetch_cancel_body', { rid: bodyRid }).catch(() => {})
    throw statusFailure(head.status)
  }
  let body: Uint8Array
  try {
    body = await withTimeout(
      (async () => {
        const parts: Uint8Array[] = []
        let size = 0
        for (;;) {
          const part = replyBytes(await deps.invokePlugin<unknown>('http', 'fetch_read_body', { rid: bodyRid }))
          if (part.length === 0) break
          parts.push(part)
          size += part.length
        }
        const all = new Uint8Array(size)
        let at = 0
        for (const p of parts) {
          all.set(p, at)
          at += p.length
        }
        return all
      })(),
      LABEL_TIMEOUT_MS,
      labelTimeoutText(),
    )
  } catch (err) {
    deps.invokePlugin('http', 'fetch_cancel_body', { rid: bodyRid }).catch(() => {})
    throw new Error(`Этикетка скачалась не до конца: ${errorText(err)}`)
  }
  if (body.length === 0) throw new Error(EMPTY_LABEL)
  return body
}

async function attemptOnce(url: string, deps: LabelFetchDeps): Promise<Uint8Array> {
  let result: LabelFetchResult
  try {
    result = await withTimeout(deps.invoke<LabelFetchResult>('fetch_label', { url }), LABEL_TIMEOUT_MS, labelTimeoutText())
  } catch (err) {
    if (!isCommandNotFound(err, 'fetch_label')) throw err
    deps.log(FETCH_LABEL_MISSING)
    return fetchThroughHttpService(url, deps)
  }
  if (result.status < 200 || result.status > 299) throw statusFailure(result.status)
  deps.log(`[печать] этикетка получена: ${result.via}`)
  const bytes = base64Bytes(result.bytes)
  if (bytes.length === 0) throw new Error(EMPTY_LABEL)
  return bytes
}

/**
 * Downloads the label file of `link` through the host, repeating network
 * failures (at most 4 attempts within 45 s). Rejects with the failure text;
 * `translateLabelError` turns it into what the picker sees.
 */
export async function downloadLabel(
  link: string | null | undefined,
  deps: LabelFetchDeps = defaultLabelFetchDeps,
): Promise<Uint8Array> {
  const url = validateLabelLink(link).href
  if (!deps.inHost()) throw new Error(NOT_IN_HOST)
  const started = deps.now()
  for (let attempt = 1; ; attempt++) {
    try {
      return await attemptOnce(url, deps)
    } catch (err) {
      const text = errorText(err)
      const wait = LABEL_RETRY_WAITS_MS[Math.min(attempt - 1, LABEL_RETRY_WAITS_MS.length - 1)] ?? 0
      const retry =
        attempt < LABEL_MAX_ATTEMPTS &&
        isRetryableLabelError(text) &&
        deps.now() + wait - started < LABEL_BUDGET_MS
      if (!retry) throw new Error(attempt > 1 ? `${text} — попыток: ${attempt}` : text)
      deps.log(`[печать] этикетка не скачалась (попытка ${attempt}): ${text} — повторяем`)
      await deps.sleep(wait)
    }
  }
}
