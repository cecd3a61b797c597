import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest'
import type { Payload } from '../core/envelope'
import { ChannelBase } from '../core/serverChannel'
import { readCachedContents, writeCachedContents } from './dataCache'
import {
  CONTENTS_EMPTY_KNOWN,
  CONTENTS_EMPTY_UNKNOWN,
  fetchDocumentProducts,
  getDocumentList,
  IncompleteContentsError,
} from './documentRequests'
import { useDocumentStore } from './documentStore'
import { pagedRequestOn } from './pagedRequest'
import { normaliseDocument, normalisePositions } from './records'
import { documentsKit, listed, type DocumentsKit } from './testing/documentsKit'

let kit: DocumentsKit
let infoLines: string[]
beforeEach(() => {
  kit = documentsKit()
  infoLines = []
  vi.spyOn(console, 'info').mockImplementation((...a: unknown[]) => void infoLines.push(a.map(String).join(' ')))
})
afterEach(() => {
  kit.end()
  vi.restoreAllMocks()
  vi.useRealTimers()
})

const positions = (n: number) => Array.from({ length: n }, (_, i) => ({ id: `p${i + 1}`, name: `Товар ${i + 1}`, quantity: 1 }))

describe('getDocumentList', () => {
  it('collects pages, skips repeated ids, and carries total, nextOffset and a stale copy', async () => {
    kit.script('getDocumentList', [
      () => [
        { items: [listed('s1'), listed('s2')], offset: 0, final: false, total: 4 },
        { items: [listed('s2'), listed('s3'), { number: 'no id' }], offset: 2, final: true, nextOffset: 3, stale: true, loadedAt: '2026-12-10T09:00:00Z', ozonConfigured: false },
      ],
    ])
    const r = await getDocumentList('shipment', { stage: [], maxPages: 2 })
    expect(r.items.map((d) => d.id)).toEqual(['s1', 's2', 's3'])
    expect(r).toMatchObject({ total: 4, nextOffset: 3, stale: true, staleLoadedAt: '2026-12-10T09:00:00Z', ozonConfigured: false })
    expect(kit.sent[0]!.p).toEqual({ type: 'shipment', pages: true, maxPages: 2 })
  })

  it('an answer without paging fields is one whole answer', async () => {
    kit.script('getDocumentList', [() => ({ items: [listed('s1', { type: undefined })] })])
    const r = await getDocumentList('shipment')
    expect(r.items).toEqual([expect.objectContaining({ id: 's1', type: 'shipment' })])
    expect(r.nextOffset).toBeUndefined()
  })

  it('an error rejects with the items received so far and the server code', async () => {
    kit.script('getDocumentList', [() => [{ items: [listed('s1')], offset: 0, final: false }, { error: 'лимит', errorCode: 'rate-limit', retryAfter: 30 }]])
    await expect(getDocumentList('shipment')).rejects.toMatchObject({ message: 'лимит', errorCode: 'rate-limit', retryAfter: 30, items: [expect.objectContaining({ id: 's1' })] })
  })
})

describe('paged answers and their time-out', () => {
  class Loopback extends ChannelBase {
    readonly token = ''
    init() {}
    send() {}
    destroy() {
      this.dropListeners()
    }
    answer(p: Payload) {
      this.dispatch({ c: 'x.result', p })
    }
  }

  it.each([
    ['pages 4 s and then 14 s apart arrive in time: each page re-arms the wait', [4_000, 14_000], 'done'],
    ['a second page 16 s later is too late', [4_000, 16_000], 'timeout'],
    ['a first page after 6 s is too late', [6_000], 'timeout'],
  ])('%s', async (_what, gaps, outcome) => {
    vi.useFakeTimers()
    const ch = new Loopback()
    let pages = 0
    const done = pagedRequestOn(ch, 'x', {}, {
      replyName: 'x.result',
      firstTimeoutMs: 5_000,
      pageTimeoutMs: 15_000,
      onPage: () => (++pages === gaps.length ? 'done' : 'more'),
    }).then(() => 'done', (e: Error) => e.message)
    for (const gap of gaps) {
      await vi.advanceTimersByTimeAsync(gap)
      ch.answer({})
    }
    expect(await done).toBe(outcome)
  })
})

describe('fetchDocumentProducts', () => {
  function openDocument(id: string, shownPositions = 0) {
    const doc = normaliseDocument(listed(id))!
    doc.products = normalisePositions(positions(shownPositions))
    useDocumentStore().setCurrentDocument(doc)
    return doc
  }

  it('collects the pages of the document, skips another document, and fills the current document', async () => {
    openDocument('d1')
    kit.script('subscribeDocument', [
      (p) => [
        { documentId: 'other', items: positions(3), final: true },
        { documentId: p.documentId, items: positions(2), total: 3, final: false, stage: 'collecting', collector: { id: 'u1', name: 'Игорь' } },
        { documentId: p.documentId, items: [{ id: 'p3', name: 'Товар 3', quantity: 2.5 }], total: 3, final: true },
      ],
    ])
    const got = await fetchDocumentProducts('d1', 'shipment')
    expect(got.map((p) => p.assortmentId)).toEqual(['p1', 'p2', 'p3'])
    const doc = useDocumentStore().currentDocument!
    expect(doc).toMatchObject({ totalPositions: 3, checkedPositions: 0, stage: 'collecting', collector: { id: 'u1', name: 'Игорь' } })
    expect(doc.products[2]!.required).toBe(2.5)
    expect(readCachedContents('d1')!.data).toHaveLength(3)
    expect(infoLines).toContain('[документ] ответ не нашего документа (other) — пропускаем')
    expect(infoLines).toContain('[документ] страница состава: 1 из 3')
  })

  it('98 of 100 positions are refused with the incompleteness text, and nothing is taken', async () => {
    openDocument('d1')
    kit.script('subscribeDocument', [(p) => ({ documentId: p.documentId, items: positions(98), total: 100, final: true })])
    const err = await fetchDocumentProducts('d1', 'shipment').catch((e: unknown) => e)
    expect(err).toBeInstanceOf(IncompleteContentsError)
    expect((err as Error).message).toBe(
      'Товары документа загрузились не полностью: 98 из 100. Откройте документ заново — собирать по неполному списку нельзя.',
    )
    expect(useDocumentStore().currentDocument!.products).toHaveLength(0)
    expect(readCachedContents('d1')).toBeUndefined()
  })

  it.each([
    ['positions already shown', 5, false, CONTENTS_EMPTY_KNOWN],
    ['nothing shown yet', 0, false, CONTENTS_EMPTY_UNKNOWN],
    ['a quiet fetch with a cached copy', 0, true, CONTENTS_EMPTY_KNOWN],
  ])('an empty answer with %s fails with its own text', async (_what, shownCount, silent, text) => {
    openDocument('d1', shownCount)
    if (silent) writeCachedContents('d1', normalisePositions(positions(4)))
    kit.script('subscribeDocument', [(p) => ({ documentId: p.documentId, items: [], final: true })])
    await expect(fetchDocumentProducts('d1', 'shipment', { silent })).rejects.toMatchObject({ kind: 'EmptyAnswer', message: text })
  })

  it('the sample document of 120 positions arrives in pages, whole', async () => {
    const list = await getDocumentList('shipment', { maxPages: 1 })
    const big = list.items[4]!
    expect(big.totalPositions).toBe(120)
    const got = await fetchDocumentProducts(big.id, 'shipment', { silent: true })
    expect(got).toHaveLength(120)
    expect(got.every((p) => p.barcodes.length > 0 && /^\d{13}$/.test(p.barcodes[0]!))).toBe(true)
  })
})
