import { flushPromises, mount, type VueWrapper } from '@vue/test-utils'
import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest'
import { createMemoryHistory, createRouter, type Router } from 'vue-router'
import { enqueueCompletion } from '../core/sendQueue'
import { useSettingsStore } from '../core/settings'
import { changeCheckState } from '../demo'
import { markCompleted, readCompletedMarks } from './completedMarks'
import { writeCachedList } from './dataCache'
import { applyDocumentChanged } from './documentChanges'
import DocumentListView from './DocumentListView.vue'
import { useDocumentStore } from './documentStore'
import { normaliseDocuments } from './records'
import { documentsKit, listed, page, type DocumentsKit } from './testing/documentsKit'

let kit: DocumentsKit
let router: Router
let wrapper: VueWrapper | undefined

beforeEach(() => {
  kit = documentsKit()
  useSettingsStore().work.listAutoLoad = 50
  vi.spyOn(console, 'info').mockImplementation(() => {})
  router = createRouter({
    history: createMemoryHistory(),
    routes: [
      { path: '/documents', component: DocumentListView },
      { path: '/documents/:id', component: { template: '<div data-test="picking" />' } },
      { path: '/:any(.*)', component: { template: '<div />' } },
    ],
  })
})
afterEach(() => {
  wrapper?.unmount()
  wrapper = undefined
  kit.end()
  vi.restoreAllMocks()
  vi.useRealTimers()
})

async function openList(query = 'type=shipment&grid=all') {
  await router.push(`/documents?${query}`)
  wrapper = mount({ template: '<RouterView />' }, { global: { plugins: [router] }, attachTo: document.body })
  await settle()
  return wrapper
}

async function settle() {
  for (let i = 0; i < 5; i++) {
    await flushPromises()
    await new Promise((r) => setTimeout(r, 0))
  }
}

const cards = () => wrapper!.findAll('[data-test="doc-card"]')
const sentOf = (c: string) => kit.sent.filter((m) => m.c === c)

async function searchFor(text: string) {
  const input = wrapper!.find('[data-test="doc-search"]')
  await input.setValue(text)
  await input.trigger('keyup', { key: 'Enter' })
  await settle()
}

describe('the list screen', () => {
  it('shows the first pages up to the budget and continues with "Загрузить еще"', async () => {
    await openList()
    expect(wrapper!.find('[data-test="doc-list-title"]').text()).toBe('Отгрузки')
    const open = () => useDocumentStore().documents.filter((d) => d.status !== 'completed')
    // The "Все" tab shows what is still to pick, newest first.
    expect(useDocumentStore().documents).toHaveLength(100)
    expect(cards()).toHaveLength(open().length)
    expect(cards()[0]!.text()).toContain(`№ ${open()[0]!.number}`)
    const more = wrapper!.find('[data-test="load-more"]')
    expect(more.text()).toBe('Загрузить еще 1100')
    await more.trigger('click')
    await settle()
    expect(useDocumentStore().documents).toHaveLength(200)
    expect(cards()).toHaveLength(open().length)
    expect(wrapper!.find('[data-test="load-more"]').text()).toBe('Загрузить еще 1000')
  })

  it('searches: a code opens the document, a text with a blank never asks the server, a number does', async () => {
    await openList()
    const first = useDocumentStore().documents[0]!
    await searchFor(`00${first.number}`)
    expect(router.currentRoute.value.path).toBe(`/documents/${first.id}`)
    expect(useDocumentStore().currentDocument?.id).toBe(first.id)

    await router.push('/documents?type=shipment&grid=all')
    await settle()
    await searchFor('12 3')
    expect(sentOf('findDocument')).toHaveLength(0)

    await searchFor('1500')
    expect(sentOf('findDocument').map((m) => m.p)).toEqual([{ type: 'shipment', number: '1500' }])
    expect(router.currentRoute.value.path).toMatch(/^\/documents\/acc-demo-shipment-/)
    expect(useDocumentStore().documents.some((d) => d.number === '1500')).toBe(true)
  })

  it('a scan from the native scanner replaces the search text and opens the document', async () => {
    await openList()
    const doc = useDocumentStore().documents[5]!
    await wrapper!.find('[data-test="doc-search"]').setValue('что-то')
    window.dispatchEvent(new CustomEvent('native-scan', { detail: JSON.stringify({ action: 'scan', barcode_string: doc.number }) }))
    await settle()
    expect(router.currentRoute.value.path).toBe(`/documents/${doc.id}`)
  })

  it.each([
    ['a number outside the statuses', '1002', /^Документ №1002 есть в МоемСкладе, но его статус «.+» не входит в статусы для сборки/],
    ['an unknown number', '99999', /^Документ №99999 в МоемСкладе не найден$/],
  ])('says what MoySklad answered for %s, and asks once per number', async (_what, number, note) => {
    await openList()
    await searchFor(number)
    expect(wrapper!.find('[data-test="doc-note"]').text()).toMatch(note)
    await searchFor(`0${number}`)
    expect(sentOf('findDocument')).toHaveLength(1)
  })

  it('a change made in MoySklad shows its note and reloads the list', async () => {
    await openList()
    kit.channel.onCommand('documentChanged.push', (p) => void applyDocumentChanged(p))
    const doc = useDocumentStore().documents[2]!
    const before = sentOf('getDocumentList').length
    changeCheckState(kit.backend, doc.id, 'checked')
    await settle()
    expect(wrapper!.find('[data-test="doc-note"]').text()).toBe(`Документ ${doc.number} отмечен проверенным в МоемСкладе`)
    expect(sentOf('getDocumentList').length).toBeGreaterThan(before)
    expect(useDocumentStore().documents.find((d) => d.id === doc.id)!.status).toBe('completed')
    expect(cards().map((c) => c.attributes('data-id'))).not.toContain(doc.id)
  })

  it('a failed first load offers "Повторить", which loads again', async () => {
    kit.script('getDocumentList', [() => ({ error: 'МойСклад не отвечает' }), () => page([listed('s1')])])
    await openList()
    expect(wrapper!.find('[data-test="doc-empty"]').text()).toContain('Не удалось загрузить документы')
    expect(wrapper!.find('[data-test="empty-error"]').text()).toBe('МойСклад не отвечает')
    await wrapper!.find('[data-test="retry"]').trigger('click')
    await settle()
    expect(cards()).toHaveLength(1)
  })

  it('shows the cached list first with its banner, and says when the update failed', async () => {
    vi.useFakeTimers({ now: new Date(2026, 11, 10, 9, 41), toFake: ['Date'] })
    writeCachedList('shipment', normaliseDocuments([listed('s1'), listed('s2')]), new Date(2026, 11, 10, 8, 5).getTime())
    kit.script('getDocumentList', [() => ({ error: 'timeout' })])
    await router.push('/documents?type=shipment&grid=all')
    wrapper = mount({ template: '<RouterView />' }, { global: { plugins: [router] } })
    await flushPromises()
    expect(wrapper.find('[data-test="cache-banner"]').text()).toBe('Обновляем данные… показаны от 08:05')
    expect(cards()).toHaveLength(2)
    await settle()
    expect(wrapper.find('[data-test="cache-banner"]').text()).toBe('Обновить не удалось — показаны данные от 08:05')
    expect(cards()).toHaveLength(2)
  })

  it('the send-queue banner opens the queue', async () => {
    enqueueCompletion({ documentId: 'x', documentType: 'shipment', documentNumber: '7', items: [], timeline: {}, markIdentities: [] })
    await openList()
    const banner = wrapper!.find('[data-test="queue-banner"]')
    expect(banner.text()).toBe('📦 Ждут отправки: 1 — открыть')
    await banner.trigger('click')
    await settle()
    expect(router.currentRoute.value.path).toBe('/send-queue')
  })

  it('a document completed here is pinned, then in the done tab it can go back to work', async () => {
    vi.useFakeTimers({ now: new Date(2026, 11, 10, 15, 0), toFake: ['Date'] })
    markCompleted('s2', { at: new Date(2026, 11, 10, 14, 30).getTime(), by: 'Анна' })
    kit.script('getDocumentList', [() => page([listed('s1'), listed('s2', { status: 'completed' })])])
    await openList()
    expect(cards()[0]!.attributes('data-id')).toBe('s2')
    expect(cards()[0]!.find('[data-test="doc-pinned"]').text()).toBe('Собран 14:30')

    await wrapper!.find('[data-test="tab-completed"]').trigger('click')
    expect(cards()).toHaveLength(1)
    expect(cards()[0]!.find('[data-test="doc-completed"]').text()).toBe('✓ Анна · сегодня в 14:30')
    expect(wrapper!.find('[data-test="status-model-hint"]').exists()).toBe(true)
    const before = sentOf('getDocumentList').length
    await cards()[0]!.find('[data-test="doc-reopen"]').trigger('click')
    await settle()
    expect(readCompletedMarks()).toEqual({})
    expect(sentOf('getDocumentList').length).toBe(before + 1)
  })
})
