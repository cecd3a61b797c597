import type { VueWrapper } from '@vue/test-utils'
import { afterEach, beforeEach, describe, expect, it } from 'vitest'
import { marketplacesFeature } from '../index'
import { marketplaceKit, settle, type MarketplaceKit } from '../testing/marketplaceKit'
import ShopsView from './ShopsView.vue'

let kit: MarketplaceKit
let wrapper: VueWrapper
let router: MarketplaceKit['router']
let sent: MarketplaceKit['sent']

beforeEach(() => {
  kit = marketplaceKit({ '/settings/account/marketplaces': ShopsView })
  ;({ router, sent } = kit)
  marketplacesFeature.install({} as never)
})
afterEach(() => kit.end())

async function open() {
  wrapper = await kit.open('/settings/account/marketplaces')
  // The marketplace cards load as their own chunks.
  for (let i = 0; i < 50 && !wrapper.find('[data-test="wb-shop"]').exists(); i++) await settle(20)
}

const find = (css: string) => wrapper.find(css)

describe('the shops page', () => {
  it('lists the shops with their token expiry, pre-fills the INN, and names its organisation', async () => {
    await open()
    expect(wrapper.findAll('[data-test="wb-shop-title"]').map((t) => t.text())).toEqual(['Лесная — основной', 'Магазин Wildberries'])
    const expired = wrapper.findAll('[data-test="wb-shop-expiry"]')[1]!
    expect(expired.text()).toBe('Срок токена прошел 01.11.26 — нужен новый токен')
    expect(expired.classes()).toContain('tone-bad')
    expect((find('[data-test="wb-form-inn"]').element as HTMLInputElement).value).toBe('7701234567')
    await settle(450)
    expect(find('[data-test="wb-form-org"]').text()).toBe('ООО «Лесная торговля»')

    // Only the newest lookup counts, and only for a valid INN.
    await find('[data-test="wb-form-inn"]').setValue('77123')
    await find('[data-test="wb-form-inn"]').setValue('771234567890')
    await settle(450)
    expect(find('[data-test="wb-form-org"]').text()).toBe('ИП Смирнова А. В.')
    expect(sent.filter((m) => m.c === 'organizationByInn').map((m) => m.p.inn)).toEqual(['7701234567', '771234567890'])
  })

  // An input field drops line breaks by itself; a blank is what gets through to the check there.
  it('a token with a blank is refused on the device: nothing is sent', async () => {
    await open()
    await find('[data-test="wb-form-token"]').setValue('aaa.bbb .ccc')
    await find('[data-test="wb-shop-form"]').trigger('submit')
    await settle()
    expect(find('[data-test="wb-form-result"]').text()).toBe('В токене не должно быть пробелов и переносов строк')
    await find('[data-test="wb-form-check"]').trigger('click')
    await settle()
    expect(find('[data-test="wb-form-result"]').text()).toBe('В токене не должно быть пробелов и переносов строк')
    expect(sent.map((m) => m.c).filter((c) => c.startsWith('wbCredentials'))).toEqual(['wbCredentialsList'])
  })

  it('a saved token clears the form and the list shows the new shop; delete asks twice', async () => {
    await open()
    await find('[data-test="wb-form-title"]').setValue('Третий')
    await find('[data-test="wb-form-token"]').setValue('aaa.eyJzaWQiOiI3MDAxIn0.ccc')
    await find('[data-test="wb-shop-form"]').trigger('submit')
    await settle()
    expect(find('[data-test="wb-form-result"]').text()).toBe('Магазин сохранен, токен проверен')
    expect((find('[data-test="wb-form-token"]').element as HTMLInputElement).value).toBe('')
    const titles = () => wrapper.findAll('[data-test="wb-shop-title"]').map((t) => t.text())
    expect(titles()).toEqual(['Лесная — основной', 'Магазин Wildberries', 'Третий'])

    const del = () => wrapper.findAll('[data-test="wb-shop-delete"]')[2]!
    await del().trigger('click')
    expect(del().text()).toBe('Точно удалить')
    expect(sent.some((m) => m.c === 'wbCredentialsDelete')).toBe(false)
    await del().trigger('click')
    await settle()
    expect(titles()).toEqual(['Лесная — основной', 'Магазин Wildberries'])
    expect(find('[data-test="wb-form-result"]').text()).toBe('Магазин удален')
  })

  it('marketplaces on request lead to the contact page with their name', async () => {
    await open()
    const rows = wrapper.findAll('[data-test="on-request-row"]')
    expect(rows.map((r) => r.find('strong').text())).toEqual(['Яндекс Маркет', 'Мегамаркет', 'Lamoda', 'Авито', 'KazanExpress', 'AliExpress', 'СДЭК'])
    await rows[2]!.find('[data-test="on-request-button"]').trigger('click')
    await settle()
    expect(router.currentRoute.value.fullPath).toBe('/contact?topic=marketplace&name=Lamoda')
  })
})
