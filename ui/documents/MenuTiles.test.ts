import { flushPromises, mount } from '@vue/test-utils'
import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest'
import { createMemoryHistory, createRouter, type Router } from 'vue-router'
import { eventually } from '../core/testing/eventually'
import { writeAccountMode } from '../core/accountMode'
import { useAuthStore } from '../core/authStore'
import { useDocumentStore } from './documentStore'
import MenuTiles from './MenuTiles.vue'
import { normaliseDocuments } from './records'
import { documentsKit, type DocumentsKit } from './testing/documentsKit'

let kit: DocumentsKit
let router: Router
beforeEach(async () => {
  kit = documentsKit()
  vi.spyOn(console, 'info').mockImplementation(() => {})
  router = createRouter({ history: createMemoryHistory(), routes: [{ path: '/:any(.*)', component: { template: '<div />' } }] })
  await router.push('/menu')
})
afterEach(() => {
  kit.end()
  vi.restoreAllMocks()
})

const tiles = (w: ReturnType<typeof mount>) =>
  w.findAll('.tile').map((t) => [t.attributes('data-test'), t.find('[data-test="tile-count"]').exists() ? t.find('[data-test="tile-count"]').text() : '', t.find('[data-test="tile-on-request"]').exists()])

describe('the menu tiles', () => {
  it('shows the five types in order with the count of open documents; two of them on request', async () => {
    useDocumentStore().replaceTypeDocuments(
      'order',
      normaliseDocuments([
        { id: 'o1', type: 'order', status: 'pending' },
        { id: 'o2', type: 'order', status: 'in_progress' },
        { id: 'o3', type: 'order', status: 'completed' },
      ]),
    )
    // The shipment list is preloaded as the menu opens.
    kit.script('getDocumentList', [() => ({ items: [{ id: 's1', type: 'shipment', status: 'pending' }], final: true, offset: 0 })])
    const w = mount(MenuTiles, { global: { plugins: [router] } })
    await eventually('the shipment count', () => tiles(w)[2]?.[1] === '1')
    expect(kit.sent.map((m) => m.p)).toEqual([{ type: 'shipment', pages: true, maxPages: 1 }])
    expect(tiles(w)).toEqual([
      ['tile-receiving', '', false],
      ['tile-order', '2', false],
      ['tile-shipment', '1', false],
      ['tile-transfer', '', true],
      ['tile-customer_return', '', true],
    ])
    await w.find('[data-test="tile-order"]').trigger('click')
    await flushPromises()
    expect(router.currentRoute.value.fullPath).toBe('/documents?type=order')
    await w.find('[data-test="tile-transfer"]').trigger('click')
    await flushPromises()
    expect(router.currentRoute.value.fullPath).toBe('/contact?type=transfer')
  })

  it('an account without MoySklad sees shipments only; the demonstration has no "по запросу"', async () => {
    writeAccountMode({ moysklad: false, profile: '' })
    expect(tiles(mount(MenuTiles, { global: { plugins: [router] } })).map((t) => t[0])).toEqual(['tile-shipment'])
    writeAccountMode({ moysklad: true, profile: '' })
    useAuthStore().setDeviceJwt('demo')
    expect(tiles(mount(MenuTiles, { global: { plugins: [router] } })).some((t) => t[2])).toBe(false)
  })
})
