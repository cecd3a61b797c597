import { mount } from '@vue/test-utils'
import { afterEach, describe, expect, it, vi } from 'vitest'
import { createMemoryHistory, createRouter } from 'vue-router'
import PrintHelpView from './PrintHelpView.vue'

afterEach(() => vi.restoreAllMocks())

function open(userAgent: string) {
  vi.spyOn(navigator, 'userAgent', 'get').mockReturnValue(userAgent)
  const router = createRouter({ history: createMemoryHistory(), routes: [{ path: '/:p(.*)*', component: { template: '<div />' } }] })
  return mount(PrintHelpView, { global: { plugins: [router] } })
}

describe('the print help page', () => {
  it.each([
    ['Mozilla/5.0 (Windows NT 10.0; Win64; x64)', 'windows', 'Пробная печать'],
    ['Mozilla/5.0 (Macintosh; Intel Mac OS X 14_2)', 'macos', 'Напечатать пробную страницу'],
    ['Mozilla/5.0 (X11; Linux x86_64)', 'linux', 'http://localhost:631/printers'],
  ])('%s: the advice for %s with its printer settings and system test page', (ua, os, testPage) => {
    const w = open(ua)
    expect(w.find('h1').text()).toBe('Как настроить печать')
    expect(w.find('[data-test="help-os"]').attributes('data-os')).toBe(os)
    expect(w.find('ol').text()).toContain(testPage)
  })
})
