import { afterEach, describe, expect, it } from 'vitest'
import { writeCachedContents } from '../dataCache'
import type { PositionRecord } from '../records'
import { failedFetchView, shortTime, type ContentsSource } from './contentsLoading'
import { deviceContentsSource } from './contentsSource'
import { DOC_ID, pickingKit, PRODUCTS, record, type PickingKit } from './testing/pickingKit'

const NOW = new Date(2026, 11, 10, 15, 30).getTime()
const EARLIER_TODAY = new Date(2026, 11, 10, 9, 5).getTime()

describe('what a failed fetch shows', () => {
  it.each([
    ['cached positions shown: a banner with their age', { checkMode: false, shown: true, text: null, cachedAt: EARLIER_TODAY }, { banner: 'Обновить не удалось — показаны данные от 09:05' }],
    ['cached positions shown, the server said why: its text', { checkMode: false, shown: true, text: 'Сервер занят' }, { banner: 'Сервер занят' }],
    ['nothing shown: the empty list says there are no positions', { checkMode: false, shown: false, text: null }, { emptyText: 'В документе нет позиций' }],
    ['nothing shown, the server said why: its text', { checkMode: false, shown: false, text: 'Не полностью' }, { emptyText: 'Не полностью' }],
    [
      'check mode: never the older positions, the list stays empty',
      { checkMode: true, shown: true, text: null, cachedAt: EARLIER_TODAY },
      { emptyText: 'Состав не загрузился. Проверка начинается со свежих данных — проверьте связь и откройте документ еще раз.' },
    ],
  ])('%s', (_what, o, view) => {
    expect(failedFetchView({ ...o, now: NOW })).toEqual(view)
  })

  it('shortTime gives the day only for another day', () => {
    expect(shortTime(EARLIER_TODAY, NOW)).toBe('09:05')
    expect(shortTime(new Date(2026, 10, 3, 7, 0).getTime(), NOW)).toBe('03.11 07:00')
  })
})

describe('loading through the session', () => {
  let kit: PickingKit | null = null
  afterEach(() => {
    kit?.session.close()
    kit?.end()
    kit = null
  })

  const mugLine = (): PositionRecord => ({
    assortmentId: PRODUCTS.mug.id,
    name: PRODUCTS.mug.name,
    code: '',
    barcodes: [PRODUCTS.mug.barcode],
    required: 2,
    checked: 0,
    status: 'pending',
    cell: '',
  })

  /** Contents from nowhere but the test: each fetch waits until the test answers it with fresh lines. */
  function heldContents() {
    const answers: Array<() => PositionRecord[]> = []
    const source: ContentsSource = {
      cached: () => null,
      fetch: () => new Promise((resolve) => answers.push(() => (resolve([mugLine()]), []))),
      failureText: () => null,
    }
    const answer = async (at: number) => {
      answers[at]!()
      await new Promise((r) => setTimeout(r, 0))
    }
    return { source, answer, answers }
  }

  it('an answer that comes after the screen was left is dropped', async () => {
    const contents = heldContents()
    kit = pickingKit({ contents: contents.source })
    const s = kit.session
    const loading = s.open(record())
    expect(s.state.loading).toBe(true)
    s.close()
    await contents.answer(0)
    await loading
    expect(s.products.value).toEqual([])
    expect(s.state.shown).toBe(false)
  })

  it('an answer for a document opened before the current one is dropped; the current one is shown', async () => {
    const contents = heldContents()
    kit = pickingKit({ contents: contents.source })
    const s = kit.session
    const first = s.open(record())
    const second = s.open(record())
    await contents.answer(1)
    await second
    expect(s.scan(PRODUCTS.mug.barcode)).toMatchObject({ kind: 'progress', checked: 1 })
    const shown = kit.documents.currentDocument!.products
    await contents.answer(0)
    await first
    expect(kit.documents.currentDocument!.products).toBe(shown)
  })

  it('check mode shows neither positions in memory nor the cache, and fresh lines take the order from their quantity', async () => {
    kit = pickingKit({ checkMode: () => true })
    writeCachedContents(DOC_ID, [
      { assortmentId: 'p-old', name: 'Старое', code: '', barcodes: ['777'], required: 1, checked: 0, status: 'pending', cell: '' },
    ])
    const inMemory: PositionRecord = { assortmentId: 'p-mem', name: 'В памяти', code: '', barcodes: ['888'], required: 1, checked: 1, status: 'done', cell: '' }
    const loading = kit.session.open(record(DOC_ID, { products: [inMemory] }))
    expect(kit.session.products.value).toEqual([])
    expect(kit.session.state.banner).toBe('')
    await loading
    const shown = kit.session.products.value.map((p) => [p.assortmentId, p.required, p.orderedQuantity])
    expect(shown).toEqual(Object.values(PRODUCTS).map((p) => [p.id, p.quantity, p.quantity]))
  })

  it('check mode without an answer: the empty list says to open the document again', async () => {
    kit = pickingKit({ checkMode: () => true, contents: { ...deviceContentsSource(), fetch: () => Promise.reject(new Error('no answer')) } })
    await kit.session.open(record())
    expect(kit.session.state).toMatchObject({
      shown: true,
      loading: false,
      emptyText: 'Состав не загрузился. Проверка начинается со свежих данных — проверьте связь и откройте документ еще раз.',
    })
  })
})
