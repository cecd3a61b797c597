import type { VueWrapper } from '@vue/test-utils'
import { getActivePinia } from 'pinia'
import { afterEach, beforeEach, describe, expect, it } from 'vitest'
import type { FeatureContext } from '../../../core/feature'
import { DEMO_ACCOUNT_ID, fboState } from '../../../demo'
import { marketplaceKit, settle, type MarketplaceKit } from '../../testing/marketplaceKit'
import OzonPage from '../OzonPage.vue'
import { useOzonDeps } from '../ozonDeps'
import { useFboDeps } from './fboDeps'
import { ozonFboFeature } from './index'

let kit: MarketplaceKit
let w: VueWrapper
let printed: string[]

beforeEach(async () => {
  printed = []
  useOzonDeps({ sleep: async () => {} })
  useFboDeps({ print: async (link) => { printed.push(link); return { ok: true, text: 'Этикетка отправлена на принтер «Zebra» этого компьютера' } } })
  kit = marketplaceKit({ '/marketplaces/ozon': OzonPage })
  ozonFboFeature.install({ pinia: getActivePinia()! } as FeatureContext)
  w = await kit.open('/marketplaces/ozon')
  // The rows are a lazily loaded part of the page.
  for (let i = 0; i < 200 && !w.find('[data-test="fbo-row"]').exists(); i++) await settle(10)
})
afterEach(() => {
  kit.end()
  useOzonDeps()
  useFboDeps()
})

const supplies = () => fboState(kit.backend, DEMO_ACCOUNT_ID).supplies
const fboRows = () => w.findAll('[data-test="fbo-row"]')
async function click(css: string) {
  await w.find(css).trigger('click')
  await settle()
}

describe('the FBO rows of the Ozon page', { timeout: 30_000 }, () => {
  it('lists the supplies newest first under the FBS postings, with their facts and buttons', async () => {
    const [first] = supplies()
    expect(fboRows().map((r) => r.attributes('data-id'))).toEqual(supplies().map((s) => s.supplyId))
    const row = fboRows()[0]!
    expect(row.find('[data-test="fbo-row-number"]').text()).toBe(`№ ${first!.orderNumber}`)
    expect(row.find('[data-test="fbo-row-status"]').text()).toBe('Заполнение данных')
    expect(row.find('[data-test="fbo-row-cargo"]').text()).toBe('грузомест пока нет')
    expect(row.findAll('button').map((b) => b.text())).toEqual(['Начать сборку', '📦 Состав', '🏷 Товары'])
    const ready = w.find(`[data-test="fbo-row"][data-id="${supplies().find((s) => s.stage === 'ready')!.supplyId}"]`)
    expect(ready.findAll('button').map((b) => b.text())).toEqual(['📦 Состав', '🏷 Товары', '🏷 Поставка'])
    expect(ready.find('[data-test="fbo-row-cargo"]').text()).toBe('2 грузоместа')
    const draft = w.find(`[data-test="fbo-row"][data-id="${supplies().find((s) => s.bundleId === '')!.supplyId}"]`)
    expect(draft.findAll('button').map((b) => b.text())).toEqual(['Начать сборку'])

    await w.find('[data-test="ozon-search"]').setValue(first!.orderNumber.slice(-5))
    expect(fboRows().map((r) => r.attributes('data-id'))).toEqual([first!.supplyId])
  })

  it('the content dialog says how much of the content Ozon sent', async () => {
    const big = supplies().find((s) => s.items.length === 600)!
    await click(`[data-test="fbo-row"][data-id="${big.supplyId}"] [data-test="fbo-content"]`)
    expect(w.find('[data-test="fbo-content-dialog"] h2').text()).toBe(`Состав поставки № ${big.orderNumber}`)
    const pieces = big.items.reduce((s, i) => s + i.quantity, 0)
    expect(w.find('[data-test="fbo-content-counts"]').text()).toBe(`600 товаров · ${pieces} шт.`)
    expect(w.find('[data-test="fbo-content-shown"]').text()).toBe('Показаны первые 500 из 600 строк')
    expect(w.findAll('[data-test="fbo-content-item"]')).toHaveLength(500)
    expect(w.find('[data-test="fbo-content-item"]').text()).toContain(`Артикул: ${big.items[0]!.offerId}`)
  })

  it('prints a supply\'s cargo labels and opens its page for assembly', async () => {
    const ready = supplies().find((s) => s.stage === 'ready')!
    await click(`[data-test="fbo-row"][data-id="${ready.supplyId}"] [data-test="fbo-print-cargo"]`)
    expect(printed).toEqual([`/labels/ozon/fbo/cargo-${ready.supplyId}.pdf`])
    expect(w.find('[data-test="fbo-note"]').text()).toBe(`Этикетки поставки ${ready.orderNumber} отправлены на принтер «Zebra» этого компьютера`)

    const [first] = supplies()
    await click(`[data-test="fbo-row"][data-id="${first!.supplyId}"] [data-test="fbo-assemble"]`)
    expect(kit.router.currentRoute.value.fullPath).toBe(`/marketplaces/ozon/supply/${first!.orderId}/${first!.supplyId}?clientId=1048576&assemble=1`)
  })
})
