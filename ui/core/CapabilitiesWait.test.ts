import { flushPromises, mount } from '@vue/test-utils'
import { createPinia, setActivePinia } from 'pinia'
import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest'
import CapabilitiesWait from './CapabilitiesWait.vue'
import { useAccountStore } from './accountStore'
import { restartCapabilitiesWait, resetSession } from './session'
import { useSocketStore } from './socketStore'

beforeEach(() => {
  vi.useFakeTimers()
  setActivePinia(createPinia())
  resetSession()
})
afterEach(() => vi.useRealTimers())

describe('the wait for the account capabilities', () => {
  it('counts as over at once when the channel is not connected', () => {
    restartCapabilitiesWait()
    expect(useAccountStore().received).toBe(true)
    expect(mount(CapabilitiesWait).find('[data-test="capabilities-wait"]').exists()).toBe(false)
  })

  it('tells the user it is slow after 3 s, offers a retry after 10 s while connected, and waits for the answer', async () => {
    useSocketStore().setConnected(true)
    const w = mount(CapabilitiesWait)
    restartCapabilitiesWait()
    await flushPromises()
    const text = () => w.get('[data-test="capabilities-wait"]').text()
    expect(text()).toBe('Проверяем возможности аккаунта…')
    vi.advanceTimersByTime(3_000)
    await flushPromises()
    expect(text()).toBe('Проверяем возможности аккаунта…Сервер отвечает дольше обычного...')
    vi.advanceTimersByTime(7_000)
    await flushPromises()
    expect(text()).toContain('Сервер долго не отвечает')
    // the retry fails (no channel): the text stays
    await w.get('[data-test="capabilities-retry"]').trigger('click')
    await flushPromises()
    expect(text()).toContain('Сервер долго не отвечает')
    useAccountStore().apply({ uid: 'acc-1', roles: ['collector'] })
    await flushPromises()
    expect(w.find('[data-test="capabilities-wait"]').exists()).toBe(false)
  })

  it('keeps waiting without the retry while disconnected', async () => {
    const w = mount(CapabilitiesWait)
    useAccountStore().reset()
    await flushPromises()
    vi.advanceTimersByTime(15_000)
    await flushPromises()
    expect(w.get('[data-test="capabilities-wait"]').text()).toContain('Сервер отвечает дольше обычного...')
    expect(w.find('[data-test="capabilities-retry"]').exists()).toBe(false)
  })
})
