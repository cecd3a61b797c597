import { afterEach, describe, expect, it } from 'vitest'
import { useAccountStore } from '../../core/accountStore'
import { ozonState } from '../../demo'
import { DEMO_ACCOUNT_ID } from '../../demo/seed'
import { marketplaceKit, settle, type MarketplaceKit } from '../testing/marketplaceKit'
import OzonSettingsSection from './OzonSettingsSection.vue'

let kit: MarketplaceKit | undefined
afterEach(() => {
  kit?.end()
  kit = undefined
})

describe('the Ozon rows of the settings', { timeout: 30_000 }, () => {
  it('possible marks: read for everyone, changed by the administrator; the connection check', async () => {
    kit = marketplaceKit({ '/settings': OzonSettingsSection })
    const w = await kit.open('/settings')
    const marks = w.find<HTMLInputElement>('[data-test="ozon-possible-marks"]')
    expect(marks.element.checked).toBe(true)
    expect(marks.element.disabled).toBe(true)
    expect(w.find('[data-test="ozon-possible-marks-text"]').text()).toMatch(/на всех устройствах\. Меняет администратор аккаунта$/)

    useAccountStore().apply({ role: 'admin' })
    await settle()
    expect(marks.element.disabled).toBe(false)
    await marks.setValue(false)
    await settle()
    expect(kit.sent.filter((m) => m.c === 'accountSettingsSet').map((m) => m.p)).toEqual([{ ozon: { possibleMarks: false } }])
    expect(ozonState(kit.backend, DEMO_ACCOUNT_ID).possibleMarks).toBe(false)
    expect(marks.element.checked).toBe(false)

    await w.find('[data-test="ozon-check"]').trigger('click')
    await settle()
    expect(w.find('[data-test="ozon-check-result"]').text()).toMatch(/^Связь есть: в ожидании сборки — 5 заказов: /)
  })
})
