import { mount } from '@vue/test-utils'
import { createPinia, setActivePinia } from 'pinia'
import { describe, expect, it } from 'vitest'
import { nextTick } from 'vue'
import ConnectionStatus from './ConnectionStatus.vue'
import OfflineBanner from './OfflineBanner.vue'
import { isOffline, OFFLINE_AFTER_MS } from './offline'
import { useSocketStore } from './socketStore'

const NOW = 1_000_000

describe('offline', () => {
  it.each([
    ['a connected channel, though the browser says there is no network (a server on the local network)', false, true, null, false],
    ['a connected channel and the network', true, true, null, false],
    ['no network and no channel', false, false, NOW, true],
    ['the channel dropped a moment ago', true, false, NOW - OFFLINE_AFTER_MS, false],
    ['the channel dropped longer ago than that', true, false, NOW - OFFLINE_AFTER_MS - 1, true],
    ['never connected yet', true, false, null, false],
  ])('%s', (_what, browserOnline, connected, disconnectedAt, expected) => {
    expect(isOffline(browserOnline, connected, disconnectedAt, NOW)).toBe(expected)
  })
})

describe('the bars at the top of a screen offline', () => {
  it('say "no connection" once: the connection strip keeps quiet while the screen shows its offline banner', async () => {
    setActivePinia(createPinia())
    const socket = useSocketStore()
    socket.disconnectedAt = Date.now() - OFFLINE_AFTER_MS - 1
    const strip = mount(ConnectionStatus)
    expect(strip.find('[data-test="connection-notice"]').text()).toBe('Нет соединения с сервером')
    const banner = mount(OfflineBanner)
    await nextTick()
    expect(banner.find('[data-test="offline-banner"]').text()).toBe('Нет связи — работаем офлайн')
    expect(strip.find('[data-test="connection-notice"]').exists()).toBe(false)
    banner.unmount()
    await nextTick()
    expect(strip.find('[data-test="connection-notice"]').exists()).toBe(true)
    socket.setConnected(true)
    await nextTick()
    expect(strip.find('[data-test="connection-notice"]').exists()).toBe(false)
    strip.unmount()
  })
})
