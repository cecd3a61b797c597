import type { VueWrapper } from '@vue/test-utils'
import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest'
import type { Payload } from '../../core/envelope'
import { DEMO_ACCOUNT_ID, limitWb, wbState, type MemoryBackend } from '../../demo'
import { marketplaceKit, settle, type MarketplaceKit } from '../testing/marketplaceKit'
import WbTaskListView from './WbTaskListView.vue'

let kit: MarketplaceKit
let wrapper: VueWrapper
let backend: MemoryBackend
let router: MarketplaceKit['router']

beforeEach(() => {
  kit = marketplaceKit({ '/marketplaces/wb': WbTaskListView })
  ;({ backend, router } = kit)
})
afterEach(() => {
  kit.end()
  vi.useRealTimers()
})

async function open() {
  wrapper = await kit.open('/marketplaces/wb')
}

const asked = (c: string) => kit.sent.filter((m) => m.c === c).length
const text = (css: string) => wrapper.find(css).text()
const numbers = () => wrapper.findAll('[data-test="wb-task-number"]').map((n) => n.text())

describe('the Wildberries task list', () => {
  it('shows the tasks of both shops with stage, price and labels; chips and the search narrow it', async () => {
    await open()
    const tasks = wbState(backend, DEMO_ACCOUNT_ID).tasks
    expect(wrapper.findAll('[data-test="wb-task"]')).toHaveLength(tasks.length)
    expect(wrapper.findAll('[data-test="wb-chip"]').map((c) => c.text())).toEqual(['Все', 'Лесная — основной', 'ИП Смирнова А. В.'])
    const inSupply = wrapper.find(`[data-id="${tasks.find((t) => t.supplyId)!.id}"]`)
    expect(inSupply.find('[data-test="wb-stage"]').text()).toBe('В поставке')
    expect(inSupply.findAll('button').map((b) => b.text())).toEqual(['🏷 Стикер задания', '🔳 QR поставки', '🏷 Этикетка товара'])
    const fresh = wrapper.find(`[data-id="${tasks[0]!.id}"]`)
    expect(fresh.find('[data-test="wb-task-price"]').text()).toBe('1899,00 ₽')
    expect(fresh.findAll('button').map((b) => b.text())).toEqual(['🏷 Этикетка товара'])
    expect(fresh.find('[data-test="wb-task-hint"]').exists()).toBe(true)

    await wrapper.find('[data-test="wb-search"]').setValue(' kf0-457-b ')
    expect(numbers()).toHaveLength(1)
    await wrapper.find('[data-test="wb-search"]').setValue('KF-0457')
    expect(numbers()).toHaveLength(2)
    await wrapper.find('[data-test="wb-search"]').setValue('')
    await wrapper.findAll('[data-test="wb-chip"]')[2]!.trigger('click')
    expect(numbers()).toHaveLength(tasks.filter((t) => t.sellerId === '4021988').length)
    await wrapper.find('[data-test="wb-search"]').setValue('zzz')
    expect(text('[data-test="wb-empty"]')).toBe('Ничего не найдено')
  })

  it('a rate-limited refresh keeps the list, shows the pause, counts down and then loads again', async () => {
    vi.useFakeTimers({ toFake: ['Date'] })
    vi.setSystemTime(Date.parse('2026-12-11T03:00:00Z'))
    await open()
    const before = numbers()
    limitWb(backend, DEMO_ACCOUNT_ID, { commands: ['wbOrders'], retryAfter: '7.2' })
    await wrapper.find('[data-test="wb-refresh"]').trigger('click')
    await settle()
    expect(text('[data-test="wb-warning"]')).toBe('Wildberries временно ограничил запросы. Подождите 8 с и нажмите «Обновить».')
    expect(numbers()).toEqual(before)
    const refresh = wrapper.find('[data-test="wb-refresh"]')
    expect(refresh.text()).toBe('Обновить через 8 с')
    expect(refresh.attributes('disabled')).toBeDefined()
    await refresh.trigger('click')
    await settle()
    expect(asked('wbOrders')).toBe(2)

    vi.setSystemTime(Date.parse('2026-12-11T03:00:08Z'))
    await new Promise((r) => setTimeout(r, 1100))
    await settle()
    expect(refresh.text()).toBe('Обновить')
    await refresh.trigger('click')
    await settle()
    expect(asked('wbOrders')).toBe(3)
    expect(wrapper.find('[data-test="wb-warning"]').exists()).toBe(false)
    expect(numbers()).toEqual(before)
  })

  it('an account without shops is asked to set them up', async () => {
    wbState(backend, DEMO_ACCOUNT_ID).shops = []
    await open()
    expect(text('[data-test="wb-not-configured"]')).toContain('Магазины Wildberries не заведены')
    expect(text('[data-test="wb-not-configured"]')).toContain('Добавьте магазин и токен — тогда здесь появятся новые задания')
    await wrapper.find('[data-test="wb-setup-shops"]').trigger('click')
    await settle()
    expect(router.currentRoute.value.path).toBe('/settings/account/marketplaces')
  })

  it.each<[string, Payload, string, boolean]>([
    ['a refused token', { errorCode: 'wb-unauthorized' }, 'Wildberries не принял токен магазина. Проверьте токен в настройках аккаунта.', true],
    ['no token, with the server’s text', { errorCode: 'wb-no-token', error: 'Добавьте токен' }, 'Добавьте токен', true],
    ['a marketplace failure', { errorCode: 'wb-server' }, 'Wildberries не отдал список заданий. Попробуйте обновить позже', false],
    ['an error text', { error: 'Сломалось' }, 'Сломалось', false],
  ])('%s empties the list and says so', async (_what, answer, shown, settings) => {
    await open()
    backend.register('wbOrders', () => answer)
    await wrapper.find('[data-test="wb-refresh"]').trigger('click')
    await settle()
    expect(text('[data-test="wb-problem"]')).toContain(shown)
    expect(wrapper.find('[data-test="wb-setup-shops"]').exists()).toBe(settings)
    expect(numbers()).toEqual([])
  })

  it('shops that did not answer are named; a shop filter that is gone resets', async () => {
    await open()
    await wrapper.findAll('[data-test="wb-chip"]')[2]!.trigger('click')
    backend.register('wbOrders', () => ({
      items: [{ id: 5, sellerId: '4021117' }],
      shops: [{ sellerId: '4021117', title: 'Основной' }],
      partial: true,
      shopErrors: [{ shop: 'ИП Смирнова', sellerId: '4021988' }, { sellerId: '77' }],
    }))
    await wrapper.find('[data-test="wb-refresh"]').trigger('click')
    await settle()
    expect(text('[data-test="wb-warning"]')).toBe('Часть магазинов не ответила: ИП Смирнова, 77. Список может быть неполным.')
    expect(numbers()).toEqual(['№ 5'])
  })
})
