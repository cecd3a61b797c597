import { describe, expect, it } from 'vitest'
import type { Payload } from '../../core/envelope'
import { createOzonCore } from './ozonCore'
import { LABEL_NOT_READY } from './ozonLogic'

const P = '12345678-0001-1'

/** a fake server answering from per-request queues; the last answer repeats */
function rig(answers: Record<string, Array<Payload | Error>>) {
  let clock = 1_000_000
  const asked: string[] = []
  const prints: string[] = []
  const core = createOzonCore({
    ask: async (name) => {
      asked.push(name)
      const q = answers[name] ?? [{}]
      const a = (q.length > 1 ? q.shift() : q[0]) ?? {}
      if (a instanceof Error) throw a
      return a
    },
    sleep: async (s) => { clock += s * 1000 },
    print: async (posting) => { prints.push(posting.postingNumber); return { ok: true, text: 'отправлена' } },
    now: () => clock,
  })
  return { core, asked, prints, advance: (s: number) => (clock += s * 1000) }
}

const notReady = { errorCode: 'label-not-ready', retryAfterSec: 2 }
const ready = { labelUrl: 'http://127.0.0.1/l.pdf' }

describe('the Ozon posting label', () => {
  it.each([
    [5, 'printed', 1],
    [6, 'failed', 0],
  ])('not ready %i times', async (n, outcome, printed) => {
    const { core, asked, prints } = rig({ ozonLabel: [...Array(n).fill(notReady), ready] })
    expect(await core.label(P, true)).toBe(outcome)
    expect(asked.length).toBe(6)
    expect(prints.length).toBe(printed)
    if (outcome === 'failed') expect(core.note).toBe(LABEL_NOT_READY)
  })

  it('a rate-limited list answer blocks the next label request until the pause ends', async () => {
    const { core, asked, prints, advance } = rig({ ozonPostings: [{ errorCode: 'ozon-rate-limited', retryAfter: 8 }], ozonLabel: [ready] })
    await core.loadPostings()
    expect(await core.label(P, true)).toBe('failed')
    expect(asked).toEqual(['ozonPostings'])
    expect(core.note).toContain('через 8 с')
    advance(8)
    expect(await core.label(P, true)).toBe('printed')
    expect(prints).toEqual([P])
  })

  it('a prefetch does not arm printing: a pending answer then labelReady.push prints nothing', async () => {
    const { core, prints } = rig({ ozonLabel: [{ pending: true }] })
    expect(await core.label(P, false)).toBe('pending')
    expect(await core.labelReady({ postingNumber: P, ...ready })).toBeNull()
    expect(prints).toEqual([])
    expect(await core.afterAssembly(P)).toBe('printed')
    expect(prints).toEqual([P])
  })

  it('a label is printed once: pending after assembly, the push, then ship and completion again', async () => {
    const { core, prints } = rig({ ozonLabel: [{ pending: true }], ozonShip: [{}], ozonPostings: [{ postings: [{ postingNumber: P, status: 'awaiting_packaging' }] }] })
    expect(await core.afterAssembly(P)).toBe('pending')
    expect(await core.labelReady({ postingNumber: P, ...ready })).toBe('printed')
    await core.ship('d1', P)
    await core.afterAssembly(P)
    expect(prints).toEqual([P])
  })
})

describe('handing a posting over', () => {
  it.each([
    ['no error', {}, 'awaiting_packaging', true],
    ['wrong-status, Ozon moved it on', { errorCode: 'wrong-status' }, 'awaiting_deliver', true],
    ['wrong-status, cancelled', { errorCode: 'wrong-status' }, 'cancelled', false],
  ])('%s', async (_name, answer, statusNow, shipped) => {
    const { core, prints } = rig({ ozonShip: [answer], ozonPostings: [{ postings: [{ posting_number: P, status: statusNow }] }], ozonLabel: [ready] })
    expect(await core.ship('d1', P)).toBe(shipped)
    expect(prints.length).toBe(shipped ? 1 : 0)
    if (shipped) expect(core.postings.get(P)?.status).toBe('awaiting_deliver')
  })

  it.each([
    [{ errorCode: 'ozon-rate-limited' }, 'отправление не передано. Повторите через минуту'],
    [{ errorCode: 'bad-request' }, 'Не удалось передать отправление: некорректный запрос'],
    [{ error: 'Нет остатка.', message: 'Нет остатка' }, 'Нет остатка'],
    [{ error: 'MANDATORY_MARK_HAS_INCORRECT_CRYPTOTAIL' }, 'не совпал криптохвост'],
    [{ error: 'Request validation error: x' }, 'Подробности сохранены для поддержки.'],
  ])('refused %j', async (answer, text) => {
    const { core, prints } = rig({ ozonShip: [answer] })
    expect(await core.ship('d1', P)).toBe(false)
    expect(core.note).toContain(text)
    expect(prints).toEqual([])
  })
})

describe('after assembly', () => {
  const listed = { ozonPostings: [{ postings: [{ postingNumber: P, status: 'awaiting_packaging' }] }] }

  it.each([
    ['autoPrint off', { ...listed, ozonLabel: [ready] }, { autoPrint: false }, `Заказ Ozon ${P}: этикетка не печаталась — включите «После сборки печатать: этикетка отправления» в настройках печати`],
    ['Ozon does not know the posting', { ozonPostings: [{ postings: [] }], ozonLabel: [ready] }, {}, `Заказ ${P}: Ozon не подтвердил отправление, этикетка не напечатана — откройте список отгрузок и нажмите «Загрузить»`],
    ['the label request times out', { ...listed, ozonLabel: [new Error('timeout')] }, {}, 'Сервер не ответил за 30 секунд — этикетку не запросить. Попробуйте еще раз'],
  ])('%s: nothing printed', async (_name, answers, options, text) => {
    const { core, prints } = rig(answers)
    expect(await core.afterAssembly(P, options)).toBe('failed')
    expect(core.note).toBe(text)
    expect(prints).toEqual([])
  })

  it('product labels follow the posting label, each with its copies; failures are named per product', async () => {
    const printed: Array<[string, number | undefined]> = []
    const answers: Record<string, Payload> = {
      'sku-1': { labelUrl: 'http://127.0.0.1/p1.pdf' },
      'sku-2': { errorCode: 'no-barcode' },
      'sku-3': { errorCode: 'ozon-rate-limited', retryAfter: 9 },
    }
    const core = createOzonCore({
      ask: async (name, p) => (name === 'ozonProductLabel' ? answers[String(p.sku)]! : name === 'ozonLabel' ? ready : { postings: [{ postingNumber: P }] }),
      sleep: async () => {},
      print: async (posting, _a, copies) => { printed.push([posting.labelUrl, copies]); return { ok: true, text: `Этикетка Ozon ${P} отправлена` } },
      now: () => 0,
    })
    const products = [{ sku: 'sku-1', name: 'Кружка', copies: 3 }, { sku: 'sku-2', name: 'Кабель', copies: 1 }, { sku: 'sku-3', name: 'Чай', copies: 1 }]
    expect(await core.afterAssembly(P, { products, documentId: 'd1' })).toBe('printed')
    expect(printed).toEqual([[ready.labelUrl, undefined], ['http://127.0.0.1/p1.pdf', 3]])
    expect(core.note).toBe(`Этикетка Ozon ${P} отправлена. У товара «Кабель» в Ozon нет штрихкода. Этикетка товара «Чай» не напечатана: Ozon временно ограничил запросы магазина. Повторите через 9 с`)
    await core.afterAssembly(P, { products, documentId: 'd1' })
    expect(printed).toHaveLength(2)
  })
})
