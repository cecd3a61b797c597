import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest'
import { FETCH_URL_MISSING, netFetch, type NetFetchDeps } from './netFetch'

const lines: string[] = []

function host(answer: (cmd: string, args?: Record<string, unknown>) => Promise<unknown>, flag = true) {
  const calls: Array<[string, unknown]> = []
  const deps: NetFetchDeps = {
    invoke: <T>(cmd: string, args?: Record<string, unknown>) => {
      calls.push([cmd, args])
      return answer(cmd, args) as Promise<T>
    },
    hostFlag: () => flag,
    log: (line) => lines.push(line),
  }
  return { calls, deps }
}

const fallbackAnswer = { from: 'fallback' }

beforeEach(() => {
  lines.length = 0
})
afterEach(() => {
  vi.useRealTimers()
})

describe('netFetch', () => {
  it('routes a maker host through fetch_url and answers like a response', async () => {
    const { calls, deps } = host(async () => ({
      bytes: btoa(String.fromCharCode(...new TextEncoder().encode('{"token":"т"}'))),
      status: 200,
      contentType: 'application/json',
      via: 'localhost → 127.0.0.1:8787, попытка 1',
    }))
    const fallback = vi.fn(async () => fallbackAnswer)
    const res = await netFetch('http://LOCALHOST:8787/get-token', fallback, {}, deps)
    expect(fallback).not.toHaveBeenCalled()
    expect(calls).toEqual([['fetch_url', { url: 'http://LOCALHOST:8787/get-token' }]])
    expect(lines).toEqual(['[netFetch] http://LOCALHOST:8787/get-token → localhost → 127.0.0.1:8787, попытка 1'])
    if (!('ok' in res)) throw new Error('expected a response')
    expect(res.ok).toBe(true)
    expect(res.status).toBe(200)
    expect(await res.json()).toEqual({ token: 'т' })
    expect(await res.text()).toBe('{"token":"т"}')
    expect(new Uint8Array(await res.arrayBuffer())[0]).toBe('{'.charCodeAt(0))
  })

  it('is not ok outside 2xx', async () => {
    const { deps } = host(async () => ({ bytes: '', status: 503, contentType: '', via: 'v' }))
    const res = await netFetch('http://127.0.0.1:8787/x', async () => fallbackAnswer, {}, deps)
    expect(res).toMatchObject({ ok: false, status: 503 })
  })

  it.each([
    ['another host', 'https://example.org/x', true],
    ['a look-alike host', 'http://localhost.evil.test/x', true],
    ['not a URL', '/relative', true],
    ['the host flag unset', 'http://localhost:8787/x', false],
  ])('uses the fallback for %s', async (_, url, flag) => {
    const { calls, deps } = host(async () => null, flag)
    expect(await netFetch(url, async () => fallbackAnswer, {}, deps)).toBe(fallbackAnswer)
    expect(calls).toEqual([])
  })

  it('falls back on a host without fetch_url', async () => {
    const { deps } = host(async () => {
      throw 'Command fetch_url not found'
    })
    expect(await netFetch('http://localhost:8787/x', async () => fallbackAnswer, {}, deps)).toBe(fallbackAnswer)
    expect(lines).toEqual([FETCH_URL_MISSING])
  })

  it("races the caller's time-out and passes other failures on", async () => {
    vi.useFakeTimers()
    const { deps } = host(() => new Promise(() => {}))
    const late = netFetch('http://localhost:8787/x', async () => fallbackAnswer, { timeoutMs: 8000 }, deps).catch(
      (e: Error) => e.message,
    )
    await vi.advanceTimersByTimeAsync(8000)
    expect(await late).toBe('netFetch: нет ответа за 8 с')

    const failing = host(async () => {
      throw 'Домен x не разрешен для скачивания этикетки'
    })
    await expect(netFetch('http://localhost:8787/x', async () => fallbackAnswer, {}, failing.deps)).rejects.toBe(
      'Домен x не разрешен для скачивания этикетки',
    )
  })
})
