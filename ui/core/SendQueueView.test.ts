import { flushPromises, mount } from '@vue/test-utils'
import { createPinia, setActivePinia } from 'pinia'
import { beforeEach, describe, expect, it, vi } from 'vitest'
import { createMemoryHistory, createRouter } from 'vue-router'
import ConnectionStatus from './ConnectionStatus.vue'
import SendQueueView from './SendQueueView.vue'
import { useAuthStore } from './authStore'
import { enqueueCompletion } from './sendQueue'
import { configureSession } from './session'
import { useSocketStore } from './socketStore'

function router() {
  return createRouter({ history: createMemoryHistory(), routes: [{ path: '/', component: { template: '<div />' } }] })
}

function queued(documentId: string, extra: { marks?: string[] } = {}) {
  enqueueCompletion(
    {
      documentId,
      documentType: 'demand',
      documentNumber: documentId.toUpperCase(),
      items: [{ positionId: 'p1', quantity: 2, marks: extra.marks ?? [] }, { positionId: 'p2', quantity: 1 }],
      timeline: {},
      markIdentities: [],
    },
    new Date(2026, 11, 9, 14, 5).getTime(),
  )
}

beforeEach(() => {
  localStorage.clear()
  setActivePinia(createPinia())
})

describe('the queue screen', () => {
  it('says that everything is sent when the queue is empty', () => {
    const w = mount(SendQueueView, { global: { plugins: [router()] } })
    expect(w.find('h1').text()).toBe('Очередь отправки')
    expect(w.findAll('[data-test="queue-empty"] p').map((p) => p.text())).toEqual([
      'Все отправлено',
      'Документы, завершенные без связи, появятся здесь и уйдут сами.',
    ])
  })

  it('lists the entries with their time, contents and errors; offline it cannot send', async () => {
    vi.useFakeTimers({ now: new Date(2026, 11, 9, 15, 0) })
    queued('a1', { marks: ['m1', 'm2'] })
    queued('b2')
    const raw = JSON.parse(localStorage.getItem('zv_send_queue')!)
    raw[0].refused = true
    raw[0].lastError = 'Документ уже собирает Иван.'
    raw[1].attempts = 2
    raw[1].lastError = 'timeout'
    localStorage.setItem('zv_send_queue', JSON.stringify(raw))
    const w = mount(SendQueueView, { global: { plugins: [router()] } })
    await flushPromises()
    const rows = w.findAll('[data-test="queue-entry"]').map((r) => r.text())
    expect(rows[0]).toContain('№ A1')
    expect(rows[0]).toContain('09.12, 14:05')
    expect(rows[0]).toContain('Позиций: 2, марок: 2')
    expect(rows[0]).toContain('Сервер не принял: Документ уже собирает Иван. Удалите документ из очереди.')
    expect(rows[1]).toContain('Позиций: 2')
    expect(rows[1]).toContain('Попыток: 2 · timeout')
    vi.advanceTimersByTime(3_000)
    await flushPromises()
    const send = w.get('[data-test="queue-send"]')
    expect(send.text()).toBe('Нет связи')
    expect(send.attributes('disabled')).toBeDefined()
    useSocketStore().setConnected(true)
    await flushPromises()
    expect(w.get('[data-test="queue-send"]').text()).toBe('Отправить сейчас')
    vi.useRealTimers()
  })

  it('asks before removing one document and before clearing the queue', async () => {
    queued('a1')
    queued('b2')
    const w = mount(SendQueueView, { global: { plugins: [router()] } })
    await w.findAll('[data-test="queue-remove"]')[0]!.trigger('click')
    expect(w.get('[data-test="queue-confirm"]').text()).toContain('Удалить документ № A1?')
    expect(w.get('[data-test="queue-confirm"]').text()).toContain('Отсканированное по нему не попадет на сервер. Документ придется собрать заново.')
    await w.get('[data-test="queue-confirm-yes"]').trigger('click')
    expect(w.findAll('[data-test="queue-entry"]')).toHaveLength(1)

    await w.get('[data-test="queue-clear"]').trigger('click')
    expect(w.get('[data-test="queue-confirm"]').text()).toContain('Очистить всю очередь?')
    expect(w.get('[data-test="queue-confirm"]').text()).toContain('1 документ не попадет на сервер. Это нельзя отменить.')
    await w.get('[data-test="queue-confirm-yes"]').trigger('click')
    expect(w.find('[data-test="queue-empty"]').exists()).toBe(true)
    expect(JSON.parse(localStorage.getItem('zv_send_queue')!)).toEqual([])
  })
})

describe('the connection status at the top of the screens', () => {
  it('shows the connection notice and the session banner, which signs out and goes to quick login', async () => {
    const navigate = vi.fn()
    configureSession({ navigate })
    const socket = useSocketStore()
    const w = mount(ConnectionStatus)
    expect(w.get('[data-test="connection-notice"]').text()).toBe('Нет соединения с сервером')
    socket.setReconnecting(true)
    await flushPromises()
    expect(w.get('[data-test="connection-notice"]').text()).toBe('Переподключение...')
    socket.setConnected(true)
    socket.setSessionBanner('Сервер не признает это устройство. Активируйте его заново — по PIN-коду или QR-коду')
    useAuthStore().setDeviceJwt('t')
    await flushPromises()
    expect(w.find('[data-test="connection-notice"]').exists()).toBe(false)
    const banner = w.get('[data-test="session-banner"]')
    expect(banner.text()).toBe('⚠️ Сервер не признает это устройство. Активируйте его заново — по PIN-коду или QR-коду')
    await banner.trigger('click')
    await flushPromises()
    expect(w.find('[data-test="session-banner"]').exists()).toBe(false)
    expect(useAuthStore().deviceJwt).toBeNull()
    expect(navigate).toHaveBeenCalledWith('/quick-login')
  })
})
