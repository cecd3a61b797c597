import type { VueWrapper } from '@vue/test-utils'
import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest'
import { DEMO_ACCOUNT_ID, fboState, type FboSupplyRecord, type MemoryBackend } from '../../../demo'
import { feedback } from '../../../documents/feedback/feedback'
import ScannerInput from '../../../documents/scanner/ScannerInput.vue'
import { marketplaceKit, settle, type MarketplaceKit } from '../../testing/marketplaceKit'
import { useFboDeps } from './fboDeps'
import { supplyRoute } from './fboRoute'
import FboSupplyView from './FboSupplyView.vue'

let kit: MarketplaceKit
let wrapper: VueWrapper
let backend: MemoryBackend
let printed: string[]

beforeEach(() => {
  kit = marketplaceKit({ '/marketplaces/ozon/supply/:orderId/:supplyId': FboSupplyView })
  backend = kit.backend
  printed = []
  useFboDeps({ print: async (link) => { printed.push(link); return { ok: true, text: 'Этикетка отправлена на принтер по умолчанию этого компьютера' } } })
})
afterEach(() => {
  vi.restoreAllMocks()
  kit.end()
  useFboDeps()
})

const supplies = () => fboState(backend, DEMO_ACCOUNT_ID).supplies
const text = (css: string) => wrapper.find(css).text()
async function click(css: string) {
  await wrapper.find(css).trigger('click')
  await settle()
}
async function scan(code: string): Promise<string> {
  wrapper.findComponent(ScannerInput).vm.$emit('scan', code)
  await settle()
  return text('[data-test="scan-message"]')
}
async function type(css: string, value: string) {
  const field = wrapper.find(css)
  await field.setValue(value)
  await field.trigger('change')
  await settle()
}
const open = async (x: FboSupplyRecord, assemble = false) => {
  wrapper = await kit.open(supplyRoute({ orderId: x.orderId, supplyId: x.supplyId, clientId: '1048576' }, assemble))
}

describe('the FBO supply page', () => {
  it('assembles by scanning, lays the goods out into two boxes and prints their labels', async () => {
    const x = supplies().find((s) => s.stage === 'assembly' && s.items.length === 3)!
    await open(x, true)
    expect(text('[data-test="fbo-page-title"]')).toBe(`Поставка №${x.orderNumber}`)
    expect(wrapper.find('[data-test="fbo-stages"] [data-state="current"]').text()).toBe('Сборка')
    expect(text('[data-test="fbo-blockers"]')).toContain('Что осталось сделать')

    const sounds = { error: vi.spyOn(feedback, 'playError'), checked: vi.spyOn(feedback, 'playChecked') }
    expect(await scan('4600000000000')).toBe('В поставке нет товара с кодом 4600000000000')
    expect(sounds.error).toHaveBeenCalledTimes(1)
    const [a, b, c] = x.items
    expect(await scan(a!.barcode)).toBe(`${a!.name}: собрано 1 из 3`)
    expect(sounds.checked).toHaveBeenCalledTimes(1)
    for (const item of [a, a, b, b, c]) await scan(item!.barcode)
    expect(await scan(c!.barcode)).toBe(`${c!.name} уже собран полностью`)
    expect(text('[data-test="fbo-assembly-progress"]')).toBe('Собрано 6 из 6 шт')
    expect(text('[data-test="fbo-assembly-complete"]')).toBe('Состав собран')
    await click('[data-test="fbo-assembly-finish"]')
    expect(text('[data-test="fbo-assembly-finished"]')).toBe('Сборка завершена: 6 из 6')

    await click('[data-test="fbo-assembly-cargo"]')
    await type('[data-test="fbo-cargo-count"]', '2')
    await type('[data-test="fbo-cell-0-0"]', '3')
    await click('[data-test="fbo-cargo-save"]')
    expect(wrapper.findAll('[data-test="fbo-cargo-errors"] li').map((li) => li.text())).toEqual([
      'в коробке 2 не указаны товары', 'разложите все штуки: осталось 3', `осталось разложить: ${b!.name} — 2 шт`, `осталось разложить: ${c!.name} — 1 шт`,
    ])
    await type('[data-test="fbo-cell-1-1"]', '2')
    await type('[data-test="fbo-cell-1-2"]', '5')
    await click('[data-test="fbo-cargo-save"]')
    expect(text('[data-test="fbo-page-note"]')).toBe('Грузоместа сохранены')
    expect(x.cargoes.map((cg) => [cg.key, cg.items.map((i) => i.quantity)])).toEqual([['box-1', [3]], ['box-2', [2, 1]]])
    expect(text('[data-test="fbo-cargo-text"]')).toBe('2 грузоместа')

    await click('[data-test="fbo-cargo-labels"]')
    expect(printed).toEqual([`/labels/ozon/fbo/cargo-${x.supplyId}.pdf`])
    expect(text('[data-test="fbo-page-note"]')).toBe(`Этикетки поставки ${x.orderNumber} отправлены на принтер по умолчанию этого компьютера`)
  })

  it('changes a quantity of the content and shows the page again', async () => {
    const x = supplies().find((s) => s.stage === 'assembly' && s.items.length === 3)!
    await open(x)
    await click('[data-test="fbo-content-change"]')
    await type('[data-test="fbo-qty-1"]', '0')
    await click('[data-test="fbo-content-save"]')
    expect(text('[data-test="fbo-content-errors"]')).toBe(`Количество товара «${x.items[1]!.name}» — целое число не меньше 1`)
    await type('[data-test="fbo-qty-1"]', '5')
    await click('[data-test="fbo-content-save"]')
    expect(text('[data-test="fbo-page-note"]')).toBe('Состав сохранён')
    expect(x.items.map((i) => i.quantity)).toEqual([3, 5, 1])
    expect(text('[data-test="fbo-content-counts"]')).toBe('3 товара · 9 шт.')
  })

  it('600 rows of which 500 were sent: no quantity change, the 500-row hint', async () => {
    await open(supplies().find((s) => s.items.length === 600)!)
    expect(text('[data-test="fbo-content-counts"]')).toContain('600 товаров')
    expect(wrapper.find('[data-test="fbo-content-change"]').exists()).toBe(false)
    expect(text('[data-test="fbo-content-hint"]')).toBe('в поставке больше 500 строк, количество правьте в кабинете Ozon')
  })

  it('adds a box to the ones a ready supply has: what they hold counts', async () => {
    const x = supplies().find((s) => s.stage === 'ready')!
    await open(x)
    await click('[data-test="fbo-cargo-open"]')
    await type('[data-test="fbo-cell-0-0"]', '1')
    expect(wrapper.find('[data-test="fbo-cell-0-0"]').element).toHaveProperty('value', '1')
    await wrapper.find('[data-test="fbo-cargo-replace"]').setValue(false)
    await settle()
    // Both boxes hold everything already: nothing is left to put into box 3.
    await type('[data-test="fbo-cell-0-0"]', '1')
    expect(wrapper.find('[data-test="fbo-cell-0-0"]').element).toHaveProperty('value', '0')
    await click('[data-test="fbo-cargo-save"]')
    expect(wrapper.findAll('[data-test="fbo-cargo-errors"] li').map((li) => li.text())).toEqual(['в коробке 3 не указаны товары'])
    expect(kit.sent.map((m) => m.c)).not.toContain('ozonCargoesCreate')
  })

  it('a supply the server does not know: its text and "Повторить"', async () => {
    wrapper = await kit.open('/marketplaces/ozon/supply/1/2')
    expect(text('[data-test="fbo-page-error"]')).toContain('Ozon не нашел такую поставку')
    await click('[data-test="fbo-page-retry"]')
    expect(kit.sent.filter((m) => m.c === 'ozonFboSupply')).toHaveLength(2)
  })
})
