import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest'
import {
  downloadLabel,
  EMPTY_LABEL,
  FETCH_LABEL_MISSING,
  isRetryableLabelError,
  labelTimeoutText,
  NOT_IN_HOST,
  translateLabelError,
  validateLabelLink,
  type LabelFetchDeps,
  defaultLabelFetchDeps,
} from './labelFetch'
import { installFakeBridge, removeFakeBridge } from './testing/fakeBridge'

const lines: string[] = []
const deps: LabelFetchDeps = { ...defaultLabelFetchDeps, log: (line) => lines.push(line) }

function b64(text: string): string {
  return btoa(text)
}

const LINK = 'https://127.0.0.1/labels/1.pdf'
const SEND_FAILURE = 'error sending request for url (https://127.0.0.1/labels/1.pdf): адреса не отвечают — 127.0.0.1: Connection refused'

beforeEach(() => {
  lines.length = 0
  vi.useFakeTimers()
})

afterEach(() => {
  vi.useRealTimers()
  removeFakeBridge()
})

describe('label link validation', () => {
  it.each([
    ['', 'Сервер не дал ссылку на этикетку'],
    ['   ', 'Сервер не дал ссылку на этикетку'],
    [null, 'Сервер не дал ссылку на этикетку'],
    ['http://[bad', 'Ссылку на этикетку не удалось разобрать: http://[bad'],
    [
      'ftp://127.0.0.1/x.pdf',
      'Ссылка на этикетку пришла с непонятной схемой (ftp://127.0.0.1/x.pdf) — печатать по такой нельзя, передайте в поддержку',
    ],
    [
      'https://evil.test/x.pdf',
      'Домен evil.test не разрешен в приложении — этикетку по такой ссылке не скачать, нужна новая сборка. Передайте в поддержку',
    ],
    [
      'https://127.0.0.1@evil.test/x.pdf',
      'Домен evil.test не разрешен в приложении — этикетку по такой ссылке не скачать, нужна новая сборка. Передайте в поддержку',
    ],
  ])('%s', (link, text) => {
    expect(() => validateLabelLink(link)).toThrow(text)
  })

  it('accepts the maker hosts in any letter case and resolves relative links on the application host', () => {
    expect(validateLabelLink('HTTP://LOCALHOST:8787/a.pdf').href).toBe('http://localhost:8787/a.pdf')
    expect(validateLabelLink('/labels/2.pdf').href).toBe('http://localhost:8787/labels/2.pdf')
  })
})

describe('label download', () => {
  it('fails outside the host after validating the link', async () => {
    await expect(downloadLabel('https://evil.test/x', deps)).rejects.toThrow('Домен evil.test')
    await expect(downloadLabel(LINK, deps)).rejects.toThrow(NOT_IN_HOST)
  })

  it('returns the bytes and logs the address that answered', async () => {
    const { calls } = installFakeBridge(async () => ({ bytes: b64('%PDF'), status: 200, contentType: 'application/pdf', via: 'v' }))
    const bytes = await downloadLabel(LINK, deps)
    expect(new TextDecoder().decode(bytes)).toBe('%PDF')
    expect(calls.map((c) => [c.cmd, c.args])).toEqual([['fetch_label', { url: LINK }]])
    expect(lines).toEqual(['[печать] этикетка получена: v'])
  })

  it.each([
    [{ bytes: '', status: 404, contentType: '', via: 'v' }, 'Не удалось скачать этикетку: сервер ответил 404'],
    [{ bytes: '', status: 200, contentType: '', via: 'v' }, EMPTY_LABEL],
  ])('judges the answer: %o', async (answer, text) => {
    installFakeBridge(async () => answer)
    await expect(downloadLabel(LINK, deps)).rejects.toThrow(new Error(text))
  })

  it('retries network failures after 400, 1200 and 2000 ms, then adds the attempt count', async () => {
    const { calls } = installFakeBridge(async () => {
      throw SEND_FAILURE
    })
    const done = downloadLabel(LINK, deps).catch((e: Error) => e)
    await vi.runAllTimersAsync()
    const err = await done
    expect((err as Error).message).toBe(`${SEND_FAILURE} — попыток: 4`)
    const start = calls[0]!.at
    expect(calls.map((c) => c.at - start)).toEqual([0, 400, 1600, 3600])
    expect(lines).toEqual([1, 2, 3].map((n) => `[печать] этикетка не скачалась (попытка ${n}): ${SEND_FAILURE} — повторяем`))
  })

  it('starts no attempt once 45 s have passed since the first', async () => {
    // Each attempt fails after 20 s: attempts start at 0, 20.4 s and 41.6 s; a fourth would start at 63.6 s.
    const { calls } = installFakeBridge(
      () => new Promise((_, reject) => setTimeout(() => reject(new Error('connection reset by peer')), 20_000)),
    )
    const done = downloadLabel(LINK, deps).catch((e: Error) => e)
    await vi.runAllTimersAsync()
    expect(((await done) as Error).message).toBe('connection reset by peer — попыток: 3')
    const start = calls[0]!.at
    expect(calls.map((c) => c.at - start)).toEqual([0, 20_400, 41_600])
  })

  it('gives up on one attempt after 30 s, which is not retried', async () => {
    const { calls } = installFakeBridge(() => new Promise(() => {}))
    const done = downloadLabel(LINK, deps).catch((e: Error) => e)
    await vi.advanceTimersByTimeAsync(30_000)
    expect(((await done) as Error).message).toBe(labelTimeoutText())
    expect(labelTimeoutText()).toBe(
      'Этикетка не скачалась за 30 секунд — сервер не отдал файл. Попробуйте еще раз; если повторится, передайте в поддержку',
    )
    expect(calls).toHaveLength(1)
  })

  it('retries a busy gateway but not a missing file, and succeeds on a later attempt', async () => {
    let n = 0
    const { calls } = installFakeBridge(async () => {
      n += 1
      return n === 1
        ? { bytes: '', status: 503, contentType: '', via: 'a' }
        : { bytes: b64('ok'), status: 200, contentType: '', via: 'b' }
    })
    const done = downloadLabel(LINK, deps)
    await vi.runAllTimersAsync()
    expect(new TextDecoder().decode(await done)).toBe('ok')
    expect(calls).toHaveLength(2)
  })

  it.each([
    ['error sending request for url (x)', true],
    ['TypeError: Failed to fetch', true],
    ['Load failed', true],
    ['NetworkError when attempting to fetch resource.', true],
    ['error decoding response body', true],
    ['Connection refused', true],
    ['connection closed before message completed', true],
    ['Connection aborted', true],
    ['unexpected EOF', true],
    ['dns error: no record', true],
    ['invalid peer certificate: UnknownIssuer', true],
    ['TLS handshake failed', true],
    ['received fatal alert from tls peer', true],
    ['Не удалось скачать этикетку: сервер ответил 502', true],
    ['Не удалось скачать этикетку: сервер ответил 504', true],
    ['Не удалось скачать этикетку: сервер ответил 5030', false],
    ['Не удалось скачать этикетку: сервер ответил 500', false],
    ['Не удалось скачать этикетку: сервер ответил 404', false],
    ['stls is not a word here', false],
    ['Домен evil.test не разрешен для скачивания этикетки', false],
    [EMPTY_LABEL, false],
  ])('retryable %s → %s', (text, retryable) => {
    expect(isRetryableLabelError(text)).toBe(retryable)
  })
})

describe('fallback to the http service of an older host', () => {
  it('downloads through fetch, fetch_send and fetch_read_body when fetch_label is missing', async () => {
    const body = [new Uint8Array([37, 80]), new Uint8Array([68, 70]), new Uint8Array(0)]
    const { calls } = installFakeBridge(async (cmd) => {
      switch (cmd) {
        case 'fetch_label':
          throw 'Command fetch_label not found'
        case 'plugin:http|fetch':
          return 7
        case 'plugin:http|fetch_send':
          return { status: 200, statusText: 'OK', rid: 7, headers: [] }
        case 'plugin:http|fetch_read_body':
          return body.shift()!.buffer
        default:
          throw new Error(`unexpected ${cmd}`)
      }
    })
    const bytes = await downloadLabel(LINK, deps)
    expect(new TextDecoder().decode(bytes)).toBe('%PDF')
    expect(lines).toEqual([FETCH_LABEL_MISSING])
    expect(calls[1]).toMatchObject({ cmd: 'plugin:http|fetch', args: { method: 'GET', url: LINK, connectTimeout: 30_000 } })
    expect(calls.filter((c) => c.cmd === 'plugin:http|fetch_read_body')).toHaveLength(3)
  })

  it.each([
    [{ status: 404 }, [], 'Не удалось скачать этикетку: сервер ответил 404'],
    [{ status: 200 }, [new Uint8Array(0)], EMPTY_LABEL],
  ])('judges the answer %o', async (head, body, text) => {
    installFakeBridge(async (cmd) => {
      if (cmd === 'fetch_label') throw new Error('command FETCH_LABEL not found')
      if (cmd === 'plugin:http|fetch') return 1
      if (cmd === 'plugin:http|fetch_send') return { ...head, rid: 1 }
      if (cmd === 'plugin:http|fetch_read_body') return body.shift()
      return null
    })
    await expect(downloadLabel(LINK, deps)).rejects.toThrow(new Error(text))
  })

  it('reports a body that stops coming and cancels it', async () => {
    const { calls } = installFakeBridge(async (cmd) => {
      if (cmd === 'fetch_label') throw 'Command fetch_label not found'
      if (cmd === 'plugin:http|fetch') return 3
      if (cmd === 'plugin:http|fetch_send') return { status: 200, rid: 3 }
      if (cmd === 'plugin:http|fetch_read_body') return new Promise(() => {})
      return null
    })
    const done = downloadLabel(LINK, deps).catch((e: Error) => e)
    await vi.advanceTimersByTimeAsync(30_000)
    expect(((await done) as Error).message).toBe(`Этикетка скачалась не до конца: ${labelTimeoutText()}`)
    expect(calls.at(-1)).toMatchObject({ cmd: 'plugin:http|fetch_cancel_body', args: { rid: 3 } })
  })

  it('reports a scope refusal of the http service in the picker’s words', async () => {
    installFakeBridge(async (cmd) => {
      if (cmd === 'fetch_label') throw 'Command fetch_label not found'
      throw 'url not allowed on the configured scope: https://127.0.0.1/labels/1.pdf'
    })
    const err = await downloadLabel(LINK, deps).catch((e: Error) => e)
    expect(translateLabelError((err as Error).message)).toBe(
      'Домен ссылки на этикетку не разрешен в приложении — нужна сборка с этим доменом. Передайте в поддержку',
    )
  })
})

describe('error translation', () => {
  it.each([
    [
      'scheme ftp not supported',
      'Ссылку на этикетку не удалось привязать к адресу сервера — печатать по ней нельзя. Передайте в поддержку',
    ],
    [
      'url not allowed on the configured scope: https://x/',
      'Домен ссылки на этикетку не разрешен в приложении — нужна сборка с этим доменом. Передайте в поддержку',
    ],
    [
      `${SEND_FAILURE} — попыток: 4`,
      'Компьютер не смог соединиться с сервером 127.0.0.1 (попыток подряд: 4) — запрос до сервера не дошел. Проверьте интернет, антивирус и прокси на этом компьютере; если сайт открывается, передайте в поддержку',
    ],
    [
      'error sending request',
      'Компьютер не смог соединиться с сервером — запрос до сервера не дошел. Проверьте интернет, антивирус и прокси на этом компьютере; если сайт открывается, передайте в поддержку',
    ],
    [
      'TypeError: Failed to fetch — попыток: 2',
      'Этикетку не удалось скачать — связь с сервером оборвалась (попыток подряд: 2). Проверьте интернет и попробуйте еще раз; если связь есть, передайте в поддержку',
    ],
    [
      'Load failed',
      'Этикетку не удалось скачать — связь с сервером оборвалась. Проверьте интернет и попробуйте еще раз; если связь есть, передайте в поддержку',
    ],
    ['Этикетка пришла пустой', 'Этикетка пришла пустой'],
  ])('%s', (text, shown) => {
    expect(translateLabelError(text)).toBe(shown)
  })
})
