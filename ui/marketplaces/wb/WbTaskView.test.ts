import type { VueWrapper } from '@vue/test-utils'
import { afterEach, beforeEach, describe, expect, it } from 'vitest'
import { DEMO_ACCOUNT_ID, wbState, type MemoryBackend } from '../../demo'
import { marketplaceKit, settle, type MarketplaceKit } from '../testing/marketplaceKit'
import WbTaskView from './WbTaskView.vue'

let kit: MarketplaceKit
let wrapper: VueWrapper
let backend: MemoryBackend
let sent: MarketplaceKit['sent']

beforeEach(() => {
  kit = marketplaceKit({ '/marketplaces/wb/:id': WbTaskView })
  ;({ backend, sent } = kit)
})
afterEach(() => kit.end())

async function open(path: string) {
  wrapper = await kit.open(path)
}

const text = (css: string) => wrapper.find(css).text()
async function click(css: string) {
  await wrapper.find(css).trigger('click')
  await settle()
}

describe('the Wildberries task page', () => {
  it('takes a new task into assembly and adds it to a new supply, asking first each time', async () => {
    const task = wbState(backend, DEMO_ACCOUNT_ID).tasks.find((t) => t.supplierStatus === 'new' && t.sellerId === '4021988')!
    await open(`/marketplaces/wb/${task.id}?sellerId=${task.sellerId}`)
    expect(sent[0]).toEqual({ c: 'wbOrderDetail', p: { orderId: task.id, sellerId: task.sellerId } })
    expect(text('[data-test="wb-page-title"]')).toBe(`Заказ № ${task.rid}`)
    expect(text('[data-test="wb-row-supply"]')).toBe('пока нет')
    expect(wrapper.find('[data-test="wb-to-supply"]').exists()).toBe(false)

    await click('[data-test="wb-confirm"]')
    expect(text('[data-test="confirm"] h2')).toBe(`Взять задание № ${task.rid} в сборку?`)
    expect(text('[data-test="confirm"] p')).toBe(`Магазин: ИП Смирнова А. В. Заказ покупателя: ${task.rid}. Задание WB: ${task.id}. Задание будет взято в сборку.`)
    await click('[data-test="confirm-yes"]')
    expect(text('[data-test="wb-note"]')).toBe('Задание взято в сборку')
    expect(text('[data-test="wb-stage"]')).toBe('На сборке')

    await click('[data-test="wb-to-supply"]')
    expect(text('[data-test="confirm"] p')).toContain('Задание добавится в поставку. Поставки пока нет — будет создана новая.')
    await click('[data-test="confirm-yes"]')
    const supplyId = wbState(backend, DEMO_ACCOUNT_ID).tasks.find((t) => t.id === task.id)!.supplyId
    expect(supplyId).toMatch(/^WB-GI-/)
    expect(text('[data-test="wb-note"]')).toBe(`Задание добавлено в новую поставку № ${supplyId}`)
    expect(text('[data-test="wb-row-supply"]')).toBe(`№ ${supplyId}`)
    expect(wrapper.findAll('[data-test^="wb-print-"]').map((b) => b.attributes('data-test'))).toEqual(['wb-print-sticker', 'wb-print-supplyQr', 'wb-print-product'])
    expect(sent.map((m) => m.c)).toEqual(['wbOrderDetail', 'wbOrderConfirm', 'wbOrderToSupply'])
  })

  it('a task taken elsewhere meanwhile: the action text, the task unchanged', async () => {
    const task = wbState(backend, DEMO_ACCOUNT_ID).tasks.find((t) => t.supplierStatus === 'new')!
    await open(`/marketplaces/wb/${task.id}`)
    task.supplierStatus = 'confirm'
    await click('[data-test="wb-confirm"]')
    await click('[data-test="confirm-yes"]')
    expect(text('[data-test="print-failure"]')).toBe('Wildberries уже изменил задание — обновите список и попробуйте снова.')
    expect(text('[data-test="wb-stage"]')).toBe('Новое')
  })

  it.each<[string, string]>([
    ['/marketplaces/wb/abc', 'Задание не найдено'],
    ['/marketplaces/wb/0', 'Задание не найдено'],
  ])('%s: %s, nothing asked', async (path, shown) => {
    await open(path)
    expect(text('[data-test="wb-page-missing"]')).toBe(shown)
    expect(sent).toEqual([])
  })

  it('a task the marketplace does not know: the action text and "Повторить"', async () => {
    await open('/marketplaces/wb/12345')
    expect(text('[data-test="wb-page-error"]')).toContain('Задание не найдено в Wildberries: оно уже не в работе или относится к другому магазину.')
    await click('[data-test="wb-page-retry"]')
    expect(sent.map((m) => m.c)).toEqual(['wbOrderDetail', 'wbOrderDetail'])
  })
})
