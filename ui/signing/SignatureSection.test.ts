import { flushPromises, mount, type VueWrapper } from '@vue/test-utils'
import { createPinia, setActivePinia } from 'pinia'
import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest'
import { createMemoryHistory, createRouter } from 'vue-router'
import { useSettingsStore } from '../core/settings'
import { installMemoryStorage } from '../core/testing/memoryStorage'
import SignatureSection from './SignatureSection.vue'
import { certificate, FakeSigningHost, PERSON_THUMBPRINT } from './testing/fakeSigningHost'

let host: FakeSigningHost
let wrapper: VueWrapper | undefined
beforeEach(() => {
  installMemoryStorage()
  setActivePinia(createPinia())
  host = new FakeSigningHost().install()
})
afterEach(() => {
  wrapper?.unmount()
  wrapper = undefined
  vi.useRealTimers()
  FakeSigningHost.uninstall()
})

async function open(crypto: Record<string, unknown> = {}) {
  const settings = useSettingsStore()
  let record: unknown = { crypto }
  settings.useBackend({ read: async () => record, write: async (r) => void (record = r) })
  await settings.loadDeviceSettings()
  const router = createRouter({ history: createMemoryHistory(), routes: [{ path: '/:p(.*)*', component: { template: '<div />' } }] })
  await router.push('/settings?section=signing')
  wrapper = mount(SignatureSection, { attachTo: document.body, global: { plugins: [router] } })
  await flushPromises()
  return wrapper
}

describe('the "🔐 Честный Знак" section', () => {
  it('lists an expired certificate with its button disabled', async () => {
    host.certificates = [certificate(), certificate({ thumbprint: PERSON_THUMBPRINT, subject: 'CN=Петров Пётр', validTo: '01.01.2021 10:00:00 UTC' })]
    const w = await open()
    const buttons = w.findAll('[data-test="cz-cert"]')
    expect(buttons.map((b) => b.text())).toEqual([
      'Иванов Иван Иванович · ИНН 7701234567 · до 01.01.2120 00:00:00 UTC',
      'Петров Пётр · ИНН 7701234567 · срок истек',
    ])
    expect(buttons.map((b) => b.attributes('disabled') !== undefined)).toEqual([false, true])
  })

  it('shows what is missing with the support code, and the folder field', async () => {
    host.status = { ...host.status, available: false, certmgrPath: null, cryptcpPath: null, csptestPath: '/x/csptest' }
    const w = await open()
    expect(w.get('[data-test="cz-status"]').text()).toBe('Не найден · CP-0T')
    expect(w.get('[data-test="cz-code"]').text()).toBe('CP-0T')
    expect(w.get('[data-test="cz-missing"]').text()).toBe('КриптоПро не найден. Если он установлен — укажите каталог установки.')
    expect(w.find('[data-test="cz-folder"]').exists()).toBe(true)
    expect(w.find('[data-test="cz-cert"]').exists()).toBe(false)
  })

  it('reveals the contour switch after ten taps on the title, each within 3 s; a longer pause starts over', async () => {
    vi.useFakeTimers({ toFake: ['Date'] })
    vi.setSystemTime(Date.UTC(2026, 5, 1))
    const w = await open()
    const title = w.get('[data-test="cz-title"]')
    const tapAfter = async (ms: number) => {
      vi.setSystemTime(Date.now() + ms)
      await title.trigger('click')
    }
    for (let i = 0; i < 9; i++) await tapAfter(2900)
    await tapAfter(3100)
    expect(w.find('[data-test="cz-contour"]').exists()).toBe(false)
    for (let i = 0; i < 9; i++) await tapAfter(500)
    expect(w.find('[data-test="cz-contour"]').exists()).toBe(true)
    expect(w.find('[data-test="cz-stand-prod"]').text()).toBe('Промышленный контур')
  })
})
