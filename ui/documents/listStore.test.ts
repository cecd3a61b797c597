import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest'
import { enqueueCompletion } from '../core/sendQueue'
import { useAccountStore } from '../core/accountStore'
import { useSettingsStore } from '../core/settings'
import { markCompleted, readCompletedMarks } from './completedMarks'
import { readCachedList } from './dataCache'
import { useDocumentStore } from './documentStore'
import { useDocumentListStore } from './listStore'
import { EMPTY_FIRST_PAGE_NOTE, loadMoreText, progressText } from './listTexts'
import { normaliseDocuments } from './records'
import { documentsKit, listed, page, type DocumentsKit } from './testing/documentsKit'

let kit: DocumentsKit
beforeEach(() => {
  kit = documentsKit()
  vi.spyOn(console, 'info').mockImplementation(() => {})
})
afterEach(() => {
  kit.end()
  vi.restoreAllMocks()
  vi.useRealTimers()
})

const shown = () => useDocumentStore().documents.filter((d) => d.type === 'shipment')
const ids = (n: number, from = 1) => Array.from({ length: n }, (_, i) => `s${from + i}`)

function show(idList: string[]) {
  useDocumentStore().replaceTypeDocuments('shipment', normaliseDocuments(idList.map((id) => listed(id))))
}

describe('loading a list', () => {
  it('loads the sample shipments up to the budget, then continues with "Загрузить еще"', async () => {
    const list = useDocumentListStore()
    const view = await list.loadDocumentList('shipment')
    expect(view).toMatchObject({ phase: 'limit', loaded: 200, total: 1200, target: 200, more: true, running: false })
    expect(shown()).toHaveLength(200)
    const asked = kit.sent.filter((m) => m.c === 'getDocumentList').map((m) => m.p)
    expect(asked).toEqual([
      { type: 'shipment', pages: true, maxPages: 1 },
      { type: 'shipment', pages: true, maxPages: 1, offset: 100 },
    ])
    expect(progressText(view.loaded, view.target, view.total)).toBe('Загружено 200 из 200… (всего 1200)')
    expect(loadMoreText(view.total, list.sessionSeen())).toBe('Загрузить еще 1000')

    const more = await list.loadMoreDocuments()
    expect(more).toMatchObject({ phase: 'limit', loaded: 400, target: 400 })
    expect(shown()).toHaveLength(400)
    // The newest first, as the server ordered them; cached for the next start.
    expect(readCachedList('shipment')!.data).toHaveLength(400)
  })

  it('keeps what is shown after an empty first page, with the note; the second empty answer empties the list', async () => {
    show(ids(30))
    kit.script('getDocumentList', [() => page([])])
    const list = useDocumentListStore()

    const first = await list.loadDocumentList('shipment')
    expect(first).toMatchObject({ phase: 'empty', note: EMPTY_FIRST_PAGE_NOTE })
    expect(shown()).toHaveLength(30)

    const second = await list.loadDocumentList('shipment')
    expect(second.phase).toBe('done')
    expect(shown()).toHaveLength(0)
  })

  it('ends the load and prunes when nextOffset is not above the offset asked', async () => {
    show(['old1', 'old2', 's1'])
    kit.script('getDocumentList', [
      () => page([listed('s1'), listed('s2')], { final: true, offset: 0, nextOffset: 2, total: 10 }),
      (p) => page([listed('s3')], { final: true, offset: p.offset, nextOffset: p.offset, total: 10 }),
      () => page([listed('never')]),
    ])
    const view = await useDocumentListStore().loadDocumentList('shipment')
    expect(view.phase).toBe('done')
    expect(shown().map((d) => d.id)).toEqual(['s1', 's2', 's3'])
    expect(kit.sent.filter((m) => m.c === 'getDocumentList')).toHaveLength(2)
  })

  it('a failure after the first page keeps what came, says how many, and "Загрузить еще" retries from there', async () => {
    kit.script('getDocumentList', [
      () => page(ids(2).map((id) => listed(id)), { nextOffset: 2, total: 3 }),
      () => ({ error: 'timeout from MoySklad' }),
      (p) => page([listed('s3')], { offset: p.offset, total: 3 }),
    ])
    const list = useDocumentListStore()
    const view = await list.loadDocumentList('shipment')
    expect(view).toMatchObject({
      phase: 'failed',
      more: true,
      note: 'Загружено 2 документа, дальше МойСклад не ответил. Нажмите «Загрузить еще», чтобы повторить',
    })
    expect(shown()).toHaveLength(2)
    expect((await list.loadMoreDocuments()).phase).toBe('done')
    expect(shown().map((d) => d.id)).toEqual(['s1', 's2', 's3'])
  })

  it('a failing first page shows the error; "МойСклад не подключен" reads as the need for MoySklad', async () => {
    show(['s1'])
    kit.script('getDocumentList', [() => ({ error: 'МойСклад не подключён к аккаунту' }), () => ({ error: 'x', errorCode: 'ms-not-connected' })])
    const list = useDocumentListStore()
    for (let i = 0; i < 2; i++) {
      const view = await list.loadDocumentList('shipment')
      expect(view).toMatchObject({ phase: 'failed', error: 'Для этого нужен МойСклад' })
    }
    expect(shown()).toHaveLength(1)
  })

  it('a newer load cancels the running one, which leaves the list and the view alone', async () => {
    kit.script('getDocumentList', [
      () => page([listed('a1')], { nextOffset: 1, total: 5 }),
      (p) => page([listed(`b${p.offset}`)], { offset: p.offset }),
    ])
    const list = useDocumentListStore()
    const first = list.loadDocumentList('shipment')
    list.cancelDocumentListLoad()
    expect((await first).phase).toBe('cancelled')
    expect(list.view.phase).toBe('cancelled')
    expect(shown()).toHaveLength(0)
  })
})

describe('completed-here marks against the server', () => {
  const now = new Date(2026, 11, 10, 12, 0).getTime()

  it.each([
    ['two minutes old, the server lists it as pending', 120_000, false, false],
    ['the same while it waits in the send queue', 120_000, true, true],
    ['one minute old: the server may not know yet', 60_000, false, true],
  ])('%s', async (_what, age, queued, keeps) => {
    vi.useFakeTimers({ now, toFake: ['Date'] })
    markCompleted('s1', { at: now - age, by: 'Анна' })
    if (queued)
      enqueueCompletion({ documentId: 's1', documentType: 'shipment', documentNumber: '1', items: [], timeline: {}, markIdentities: [] }, now)
    kit.script('getDocumentList', [() => page([listed('s1'), listed('s2')])])
    await useDocumentListStore().loadDocumentList('shipment')
    expect('s1' in readCompletedMarks(now)).toBe(keeps)
    expect(shown().find((d) => d.id === 's1')!.status).toBe(keeps ? 'completed' : 'pending')
  })
})

describe('the reload policy', () => {
  it('skips a reload while the last first page is fresh, shares a running one, and a forced one always goes', async () => {
    kit.script('getDocumentList', [() => page([listed('s1')])])
    const list = useDocumentListStore()
    const a = list.reload('shipment')
    const b = list.reload('shipment')
    await Promise.all([a, b])
    expect(kit.sent.filter((m) => m.c === 'getDocumentList')).toHaveLength(1)
    await list.reload('shipment')
    expect(kit.sent.filter((m) => m.c === 'getDocumentList')).toHaveLength(1)
    await list.reload('shipment', { force: true })
    expect(kit.sent.filter((m) => m.c === 'getDocumentList')).toHaveLength(2)
  })

  it('shows the cached list first, unconfirmed, and the server list replaces it', async () => {
    useSettingsStore().work.listAutoLoad = 50
    const list = useDocumentListStore()
    await list.loadDocumentList('shipment')
    expect(shown()).toHaveLength(100)
    useDocumentStore().reset()

    // A fresh page: nothing in memory, so the cache goes on screen first.
    const cachedAt = list.showCachedDocuments('shipment')
    expect(cachedAt).not.toBeNull()
    expect(list.cachedAt).toBe(cachedAt)
    expect(shown()).toHaveLength(100)
    expect(shown().every((d) => d.unconfirmed)).toBe(true)

    const keep = shown()[3]!
    kit.script('getDocumentList', [() => page([{ ...listed(keep.id), number: keep.number }])])
    await list.loadDocumentList('shipment')
    expect(shown()).toEqual([expect.objectContaining({ id: keep.id, number: keep.number })])
    expect(shown()[0]!.unconfirmed).toBeUndefined()
    expect(list.cachedAt).toBeNull()
  })

  it('the list opened again while a cancelled load is still out loads anew and shows it', async () => {
    const list = useDocumentListStore()
    const left = list.enterList('shipment')
    // The screen is left before the first page is back, and opened again at once.
    list.cancelDocumentListLoad()
    const again = await list.enterList('shipment')
    expect((await left).phase).toBe('cancelled')
    expect(again).toMatchObject({ phase: 'limit', loaded: 200 })
    expect(list.view).toMatchObject({ phase: 'limit', running: false })
    expect(shown()).toHaveLength(200)
  })

  it('switching roles several times in a row reloads once, 250 ms after the last switch', async () => {
    vi.useFakeTimers()
    kit.script('getDocumentList', [() => page([listed('s1')])])
    const list = useDocumentListStore()
    for (let i = 0; i < 3; i++) {
      list.reloadAfterRoleSwitch('shipment')
      await vi.advanceTimersByTimeAsync(100)
    }
    expect(kit.sent).toHaveLength(0)
    await vi.advanceTimersByTimeAsync(200)
    expect(kit.sent.filter((m) => m.c === 'getDocumentList')).toHaveLength(1)
  })

  it('the menu preloads shipments at most every 30 s, and never beside a running load', async () => {
    vi.useFakeTimers({ now: 1_000_000, toFake: ['Date'] })
    kit.script('getDocumentList', [() => page([listed('s1')])])
    const list = useDocumentListStore()
    useAccountStore().markReceived()
    const running = list.loadDocumentList('order')
    expect(list.preload()).toBeUndefined()
    await running
    await list.preload()
    expect(list.preload()).toBeUndefined()
    vi.setSystemTime(1_000_000 + 30_000)
    expect(list.preload()).toBeDefined()
  })
})

describe('loading a list with roles', () => {
  it('the menu\'s preload waits for the capabilities that name the role, then asks for its stages', async () => {
    const list = useDocumentListStore()
    expect(list.preload()).toBeUndefined()
    expect(kit.sent.filter((m) => m.c === 'getDocumentList')).toEqual([])
    useAccountStore().apply({ userId: 'u-x', features: { roles: true }, roles: ['checker'], activeRole: 'checker' })
    await vi.waitFor(() => expect(kit.sent.filter((m) => m.c === 'getDocumentList').map((m) => m.p.stage)).toEqual([['collected']]))
  })

  it('a load made before the role was known is done again with the role\'s stages', async () => {
    const list = useDocumentListStore()
    await list.loadDocumentList('shipment')
    // The account description arrives: roles on, a collector.
    useAccountStore().apply({ userId: 'u-x', features: { roles: true }, roles: ['collector'], activeRole: 'collector' })
    await list.enterList('shipment')
    const asked = kit.sent.filter((m) => m.c === 'getDocumentList' && !m.p.offset).map((m) => m.p.stage)
    expect(asked).toEqual([undefined, ['new', 'collecting']])
    // Fresh and right: nothing is asked again.
    await list.enterList('shipment')
    expect(kit.sent.filter((m) => m.c === 'getDocumentList' && !m.p.offset)).toHaveLength(2)
  })
})
