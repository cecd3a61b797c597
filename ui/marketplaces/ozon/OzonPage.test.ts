import { afterEach, describe, expect, it } from 'vitest'
import type { VueWrapper } from '@vue/test-utils'
import { limitOzon, ozonState } from '../../demo'
import { DEMO_ACCOUNT_ID } from '../../demo/seed'
import { marketplaceKit, settle, type MarketplaceKit } from '../testing/marketplaceKit'
import OzonPage from './OzonPage.vue'
import { useOzonDeps } from './ozonDeps'
import { labelPauseText, listPauseText, shipCancelledText } from './ozonLogic'
import { NO_INTEGRATION, useOzonStore } from './ozonStore'

let kit: MarketplaceKit | undefined
afterEach(() => {
  kit?.end()
  kit = undefined
  useOzonDeps()
})

/** The Ozon page over the demonstration seller; label prints are recorded, retries do not wait. */
async function page() {
  const prints: string[] = []
  useOzonDeps({
    sleep: async () => {},
    print: async (posting) => {
      prints.push(posting.postingNumber)
      return { ok: true, text: `Этикетка Ozon ${posting.postingNumber} отправлена на принтер по умолчанию этого компьютера` }
    },
  })
  kit = marketplaceKit({ '/marketplaces/ozon': OzonPage })
  const w = await kit.open('/marketplaces/ozon')
  return { w, prints, kit, seller: ozonState(kit.backend, DEMO_ACCOUNT_ID) }
}

const rows = (w: VueWrapper) => w.findAll('[data-test="ozon-row"]').map((r) => [r.find('[data-test="ozon-row-number"]').text(), r.attributes('data-state')])
const note = (w: VueWrapper) => w.find('[data-test="ozon-note"]').text()
const asked = (k: MarketplaceKit, c: string) => k.sent.filter((m) => m.c === c).map((m) => m.p)

async function click(w: VueWrapper, css: string, index = 0) {
  await w.findAll(css)[index]!.trigger('click')
  await settle()
}

// The demonstration account's documents are made on first use: the first test waits for them.
describe('the Ozon page', { timeout: 30_000 }, () => {
  it('lists the FBS postings by state, matches them, filters by status, store and search', async () => {
    const { w, seller } = await page()
    const [a, b, shipped, , other] = seller.postings
    expect(rows(w)).toEqual([
      [`№ ${a!.postingNumber}`, 'to-collect'],
      [`№ ${b!.postingNumber}`, 'to-collect'],
      [`№ ${other!.postingNumber}`, 'to-collect'],
      [`№ ${shipped!.postingNumber}`, 'shipped'],
    ])
    expect(note(w)).toBe('Найдено 5 заказов Ozon, этикетки запрашиваются при сборке')
    expect(w.findAll('[data-test="ozon-store-chip"]').map((c) => c.text())).toEqual(['Все', 'Мастерская на Ozon', 'Магазин 2097152'])
    expect(w.findAll('[data-test="ozon-ship"]').map((c) => c.text())).toEqual(Array(3).fill('Собрано в Ozon'))
    expect(w.find('[data-test="ozon-label"]').text()).toBe('🏷 Этикетка')

    await click(w, '[data-test="ozon-status-chip"]', 1)
    expect(rows(w)).toEqual([[`№ ${shipped!.postingNumber}`, 'shipped']])
    await click(w, '[data-test="ozon-status-chip"]', 2)
    await click(w, '[data-test="ozon-store-chip"]', 2)
    expect(rows(w).map((r) => r[0])).toEqual([`№ ${other!.postingNumber}`])
    await click(w, '[data-test="ozon-store-chip"]', 0)
    await w.find('[data-test="ozon-search"]').setValue(` ${b!.postingNumber.replace(/-/g, '')} `)
    expect(rows(w).map((r) => r[0])).toEqual([`№ ${b!.postingNumber}`])
    await w.find('[data-test="ozon-search"]').setValue('нет такого')
    expect(w.find('[data-test="ozon-empty"]').text()).toBe('Отправлений не найдено')
  })

  it('ships a posting and prints its label; "wrong-status" ships when Ozon moved it on, not when it was cancelled', async () => {
    const { w, prints, kit, seller } = await page()
    const [a, b, , , other] = seller.postings
    await click(w, `[data-id="${a!.documentId}"] [data-test="ozon-ship"]`)
    expect(asked(kit, 'ozonShip')).toEqual([{ documentId: a!.documentId }])
    expect(w.find(`[data-id="${a!.documentId}"]`).attributes('data-state')).toBe('shipped')
    expect(prints).toEqual([a!.postingNumber])
    expect(note(w)).toBe(`Этикетка Ozon ${a!.postingNumber} отправлена на принтер по умолчанию этого компьютера`)

    // The label button prints again on request.
    await click(w, `[data-id="${a!.documentId}"] [data-test="ozon-label"]`)
    expect(prints).toEqual([a!.postingNumber, a!.postingNumber])

    // Ozon already moved this one on: "wrong-status", read again, is shipped and labelled.
    other!.status = 'delivering'
    await click(w, `[data-id="${other!.documentId}"] [data-test="ozon-ship"]`)
    expect(w.find(`[data-id="${other!.documentId}"]`).attributes('data-state')).toBe('shipped')
    expect(prints).toEqual([a!.postingNumber, a!.postingNumber, other!.postingNumber])

    // Cancelled meanwhile: not shipped, no label.
    b!.status = 'cancelled'
    await click(w, `[data-id="${b!.documentId}"] [data-test="ozon-ship"]`)
    expect(note(w)).toBe(shipCancelledText(b!.postingNumber))
    expect(w.find(`[data-id="${b!.documentId}"]`).attributes('data-state')).toBe('to-collect')
    expect(asked(kit, 'ozonLabel').map((p) => p.postingNumber)).toEqual([a!.postingNumber, a!.postingNumber, other!.postingNumber])
    expect(prints).toHaveLength(3)
  })

  it('a rate-limited list answer pauses the refresh and blocks the next label request locally', async () => {
    const { w, kit, seller } = await page()
    limitOzon(kit.backend, DEMO_ACCOUNT_ID, { commands: ['ozonPostings'], retryAfter: 8 })
    const refresh = w.find('[data-test="ozon-refresh"]')
    // The refresh rests a minute after a load; the test's clock moves past it.
    const ozon = useOzonStore()
    useOzonDeps({ sleep: async () => {}, now: () => Date.now() + 61_000 })
    ozon.tick()
    await settle()
    expect(refresh.text()).toBe('Обновить')
    await refresh.trigger('click')
    await settle()
    expect(note(w)).toBe(listPauseText(8))
    // The refresh rests a minute after the list loaded (longer than the pause here).
    expect(refresh.text()).toBe('Обновить через 60 с')
    const shipped = seller.postings[2]!
    const labels = asked(kit, 'ozonLabel').length
    await click(w, `[data-id="${shipped.documentId}"] [data-test="ozon-label"]`)
    expect(note(w)).toMatch(/^Ozon временно ограничил запросы магазина, этикетка не напечатана. Повторите через [78] с$/)
    expect(note(w)).toBe(labelPauseText(Number(/(\d) с$/.exec(note(w))![1])))
    expect(asked(kit, 'ozonLabel')).toHaveLength(labels)
  })

  it('an account without Ozon shops: the way to the shops settings', async () => {
    useOzonDeps({ sleep: async () => {} })
    kit = marketplaceKit({ '/marketplaces/ozon': OzonPage })
    ozonState(kit.backend, DEMO_ACCOUNT_ID).shops.length = 0
    const w = await kit.open('/marketplaces/ozon')
    expect(w.find('[data-test="ozon-problem"] p').text()).toBe(NO_INTEGRATION)
    await click(w, '[data-test="ozon-shops"]')
    expect(kit.router.currentRoute.value.path).toBe('/settings/account/marketplaces')
  })
})
