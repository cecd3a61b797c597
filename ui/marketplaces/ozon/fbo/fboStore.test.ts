import { createPinia, setActivePinia } from 'pinia'
import { afterEach, beforeEach, describe, expect, it } from 'vitest'
import type { Payload } from '../../../core/envelope'
import { TIMEOUT_MESSAGE } from '../../../core/requests'
import { installMemoryStorage } from '../../../core/testing/memoryStorage'
import { pauseSeconds } from '../ozonLogic'
import { useFboDeps } from './fboDeps'
import { readRows } from './fboRecords'
import { useOzonFboStore } from './fboStore'

const row = readRows([{ supplyId: '61840013', orderId: '29170007', orderNumber: '20001187411', bundleId: 'b-1', cargoCount: 2, createdAt: '2026-12-09T10:00:00Z' }])[0]!

/** A fake server answering from per-request queues (the last answer repeats); one shared pause; prints recorded. */
function rig(answers: Record<string, Array<Payload | Error>>) {
  let clock = 1_000_000
  let pauseUntil = 0
  const asked: Array<{ c: string; p: Payload }> = []
  const printed: string[] = []
  useFboDeps({
    ask: async (c, p) => {
      asked.push({ c, p })
      const q = answers[c] ?? [{}]
      const a = (q.length > 1 ? q.shift() : q[0]) ?? {}
      if (a instanceof Error) throw a
      return a
    },
    pause: {
      paused: () => pauseUntil > clock,
      left: () => Math.ceil((pauseUntil - clock) / 1000),
      start: (p) => { pauseUntil = clock + pauseSeconds(p) * 1000; return pauseSeconds(p) },
    },
    print: async (link) => { printed.push(link); return { ok: true, text: 'Этикетка Ozon  отправлена на принтер «Zebra» этого компьютера' } },
    now: () => clock,
    failureText: (err) => (err instanceof Error ? err.message : String(err)),
  })
  return { asked, printed, advance: (s: number) => (clock += s * 1000) }
}

beforeEach(() => {
  installMemoryStorage()
  setActivePinia(createPinia())
})
afterEach(() => useFboDeps())

describe('the FBO supplies list', () => {
  it('loads at most once a minute unless forced; newest first; "configured" false empties it', async () => {
    const older = { ...row, supplyId: '1', createdAt: '2026-12-01T10:00:00Z' }
    const { asked, advance } = rig({ ozonFboSupplies: [{ supplies: [older, row], configured: true }, { supplies: [row], configured: false }] })
    const fbo = useOzonFboStore()
    await fbo.loadSupplies(false)
    expect(fbo.rows.map((r) => r.supplyId)).toEqual(['61840013', '1'])
    await fbo.loadSupplies(false)
    advance(59)
    await fbo.loadSupplies(false)
    expect(asked).toHaveLength(1)
    await fbo.loadSupplies(true)
    expect(fbo.rows).toEqual([])
  })

  it.each<[string, Payload | Error, string]>([
    ['an error with a message', { errorCode: 'ozon-error', message: 'Ozon недоступен' }, 'Ozon недоступен'],
    ['an error without texts', { errorCode: 'x-1' }, 'Ozon не отдал список поставок'],
    ['no answer in time', new Error(TIMEOUT_MESSAGE), 'Сервер не ответил. Попробуйте обновить позже'],
  ])('%s', async (_name, answer, shown) => {
    rig({ ozonFboSupplies: [answer] })
    const fbo = useOzonFboStore()
    await fbo.loadSupplies(true)
    expect(fbo.error).toBe(shown)
  })

  it('a rate-limited list answer blocks the next label request until the pause ends', async () => {
    const { asked, printed, advance } = rig({ ozonFboSupplies: [{ errorCode: 'ozon-rate-limited', retryAfter: 20 }], ozonSupplyLabel: [{ labelUrl: '/l/cargo.pdf' }] })
    const fbo = useOzonFboStore()
    await fbo.loadSupplies(true)
    expect(fbo.error).toBe('Ozon временно ограничил запросы этого магазина. Подождите 20 с и нажмите «Обновить»')
    expect(await fbo.printLabels('cargo', row)).toBe(false)
    expect(fbo.note).toBe('Ozon временно ограничил запросы магазина, этикетка не напечатана. Повторите через 20 с')
    expect(asked.map((a) => a.c)).toEqual(['ozonFboSupplies'])
    advance(20)
    expect(await fbo.printLabels('cargo', row)).toBe(true)
    expect(printed).toEqual(['/l/cargo.pdf'])
  })
})

describe('supply labels', () => {
  it.each<[string, 'cargo' | 'products', Partial<typeof row>, Array<Payload | Error>, string, boolean]>([
    ['cargo labels printed here', 'cargo', {}, [{ labelUrl: '/l.pdf' }], 'Этикетки поставки 20001187411 отправлены на принтер «Zebra» этого компьютера', true],
    ['product labels printed here', 'products', {}, [{ labelUrl: '/l.pdf' }], 'Этикетки товаров поставки 20001187411 отправлены на принтер «Zebra» этого компьютера', true],
    ['no bundle: nothing asked', 'products', { bundleId: '' }, [], 'У поставки 20001187411 нет bundleId — этикетки товаров не напечатать', false],
    ['not ready', 'cargo', {}, [{ errorCode: 'label-not-ready', retryAfterSec: 7 }], 'Ozon еще готовит этикетки — нажмите печать через 7 с', false],
    ['no link', 'products', {}, [{}], 'Этикетки товаров пока не готовы — попробуйте через минуту', false],
    ['no answer', 'cargo', {}, [new Error(TIMEOUT_MESSAGE)], 'Сервер не ответил по поставке', false],
  ])('%s', async (_name, kind, change, answers, note, ok) => {
    const { asked } = rig({ ozonSupplyLabel: answers, ozonSupplyProductLabels: answers })
    const fbo = useOzonFboStore()
    expect(await fbo.printLabels(kind, { ...row, ...change })).toBe(ok)
    expect(fbo.note).toBe(note)
    expect(fbo.noteOk).toBe(ok)
    expect(fbo.isBusy(kind, row.supplyId)).toBe(false)
    if (answers.length > 0) expect(asked[0]!.p).toEqual(kind === 'cargo' ? { supplyId: row.supplyId } : { supplyId: row.supplyId, bundleId: 'b-1' })
  })
})

describe('content and saving', () => {
  it('content: "no-items" is an empty supply; a failure is tried again on the next opening', async () => {
    rig({ ozonSupplyItems: [{ errorCode: 'no-items' }, new Error('нет связи'), { items: [{ name: 'Мыло', quantity: 2 }] }] })
    const fbo = useOzonFboStore()
    await fbo.loadContent(row)
    expect(fbo.contents[row.supplyId]).toEqual({ status: 'ready', content: { items: [], itemsCount: 0, itemsShown: 0, itemsTotal: 0 } })
    const other = { ...row, supplyId: '2' }
    await fbo.loadContent(other)
    expect(fbo.contents['2']).toEqual({ status: 'failed', text: 'Не удалось получить состав поставки: нет связи' })
    await fbo.loadContent(other)
    expect(fbo.contents['2']).toMatchObject({ status: 'ready', content: { itemsCount: 1, itemsTotal: 2 } })
  })

  it.each<[string, Payload | Error, string]>([
    ['rate-limited with a wait', { errorCode: 'ozon-rate-limited', retryAfter: 30 }, 'Ozon просит подождать 30 секунд'],
    ['rate-limited without one', { error: 'Too Many Requests' }, 'Ozon не ответил — повторите позже'],
    ['the server\'s text', { errorCode: 'content-locked', error: 'слот уже забронирован' }, 'слот уже забронирован'],
    ['no answer', new Error(TIMEOUT_MESSAGE), 'Сервер не ответил — состав не сохранён. Попробуйте еще раз'],
  ])('a refused content save: %s', async (_name, answer, shown) => {
    rig({ ozonSupplyContent: [answer] })
    const fbo = useOzonFboStore()
    const page = { orderId: '7', supplyId: '8', clientId: '', items: [{ sku: '1', name: 'Мыло', offerId: 'M', barcode: '46', quantity: 2, quant: 1 }] }
    expect(await fbo.saveContent(page as never, ['3'])).toEqual({ ok: false, errors: [shown] })
  })
})
