import { flushPromises, mount, type VueWrapper } from '@vue/test-utils'
import { afterEach, beforeEach, describe, expect, it } from 'vitest'
import { createMemoryHistory, createRouter, type Router } from 'vue-router'
import { partsStoreOf } from '../demo'
import HistoryView from './HistoryView.vue'
import ProductsView from './ProductsView.vue'
import { partsKit, type PartsKit } from './testing/partsKit'
import ZoneCellsView from './ZoneCellsView.vue'

let kit: PartsKit
let router: Router
let wrapper: VueWrapper | undefined

beforeEach(() => {
  kit = partsKit()
  router = createRouter({
    history: createMemoryHistory(),
    routes: [
      { path: '/radio/zones/:zoneId/cells', component: ZoneCellsView },
      { path: '/radio/products', component: ProductsView },
      { path: '/radio/history', component: HistoryView },
      { path: '/:any(.*)', component: { template: '<div data-test="elsewhere" />' } },
    ],
  })
})
afterEach(() => {
  wrapper?.unmount()
  wrapper = undefined
  kit.end()
})

async function settle() {
  for (let i = 0; i < 6; i++) {
    await flushPromises()
    await new Promise((r) => setTimeout(r, 0))
  }
}

async function show(path: string) {
  await router.push(path)
  wrapper = mount({ template: '<RouterView />' }, { global: { plugins: [router] }, attachTo: document.body })
  await settle()
  return wrapper
}

const store = () => partsStoreOf(kit.backend, 'acc-master')
const zoneNamed = (name: string) => store().zones.find((z) => z.name === name)!.id
const cellNamed = (name: string) => [...store().cells.values()].find((c) => c.name === name)!
const productNamed = (name: string) => [...store().products.values()].find((p) => p.name === name)!
const text = (css: string) => wrapper!.find(css).text()
const message = () => text('[data-test="parts-message"]')
const sentOf = (c: string) => kit.sent.filter((m) => m.c === c)

async function click(css: string) {
  await wrapper!.find(css).trigger('click')
  await settle()
}

async function openCell(name: string) {
  const row = wrapper!.findAll('[data-test="cell-row"]').find((r) => r.find('.row__name').text() === name)!
  await row.find('[data-test="cell-open"]').trigger('click')
  await settle()
}

async function scanInZone(code: string) {
  await wrapper!.find('[data-test="zone-search"]').setValue(code)
  await wrapper!.find('[data-test="zone-search"]').trigger('keydown', { key: 'Enter' })
  await settle()
}

describe('ZoneCellsView', () => {
  it('a scanned cell barcode opens its cell here, in another zone (typed in the Russian layout too), or says it is nowhere', async () => {
    await show(`/radio/zones/${zoneNamed('Основной склад')}/cells`)
    const shelf = cellNamed('Полка 2')
    await scanInZone(shelf.barcode!)
    expect(text('[data-test="cell-title"]')).toBe('Полка 2')
    expect(router.currentRoute.value.query.cell).toBe(String(shelf.id))

    const box = cellNamed('Ящик с мелочью')
    box.barcode = 'BOX-77A'
    await scanInZone('ИЩЧ-77Ф')
    expect(router.currentRoute.value.path).toBe(`/radio/zones/${zoneNamed('Антресоль')}/cells`)
    expect(text('[data-test="cell-title"]')).toBe('Ящик с мелочью')

    await scanInZone('NOWHERE-1')
    expect(message()).toBe('Ячейка с таким штрихкодом не найдена по всем зонам')
  })

  it('deletes an empty cell only after a question, and a full one after the second question with force', async () => {
    await show(`/radio/zones/${zoneNamed('Основной склад')}/cells`)
    await openCell('Стеллаж 2')
    store().stock.delete(cellNamed('Стеллаж 2').id)
    await click('[data-test="cell-delete"]')
    expect(text('[data-test="parts-confirm"]')).toContain('Удалить ячейку «Стеллаж 2»?')
    expect(sentOf('radioCellDelete')).toHaveLength(0)
    await click('[data-test="parts-confirm-yes"]')
    expect(message()).toBe('Ячейка «Стеллаж 2» удалена')
    expect([...store().cells.values()].some((c) => c.name === 'Стеллаж 2')).toBe(false)

    const rackId = cellNamed('Стеллаж 1').id
    await openCell('Стеллаж 1')
    await click('[data-test="cell-delete"]')
    await click('[data-test="parts-confirm-yes"]')
    expect(text('[data-test="parts-confirm"]')).toContain('В ячейке есть 3 вложенные ячейки и товар в 3 позициях. Удалить все равно, вместе с содержимым? Отменить это будет нельзя.')
    expect(cellNamed('Стеллаж 1')).toBeDefined()
    await click('[data-test="parts-confirm-yes"]')
    expect(sentOf('radioCellDelete').slice(1).map((m) => m.p)).toEqual([{ id: rackId }, { id: rackId, force: true }])
    expect([...store().cells.values()].filter((c) => c.zoneId === zoneNamed('Основной склад'))).toEqual([])
  })

  it('moves by the list to the top of another zone, refuses a move into its own box, and reorders with Alt+↑', async () => {
    await show(`/radio/zones/${zoneNamed('Основной склад')}/cells`)
    await openCell('Стеллаж 1')
    const inner = cellNamed('Короб 1')
    await wrapper!.find('[data-test="move-target"]').setValue(`cell:${inner.id}`)
    await click('[data-test="move"]')
    expect(message()).toBe('Нельзя перенести ячейку в саму себя или в её вложенную ячейку')
    expect(sentOf('radioCellMove')).toHaveLength(0)

    await wrapper!.find('[data-test="move-target"]').setValue(`zone:${zoneNamed('Антресоль')}`)
    await click('[data-test="move"]')
    expect(wrapper!.find('[data-test="parts-confirm"]').text()).toContain('Перенести «Стеллаж 1» в «Антресоль»?Из зоны «Основной склад» в зону «Антресоль»Внутри еще 3 ячейки — переедут вместе с ней')
    await click('[data-test="parts-confirm-yes"]')
    expect(sentOf('radioCellMove').map((m) => m.p)).toEqual([{ id: cellNamed('Стеллаж 1').id, newZoneId: zoneNamed('Антресоль') }])
    expect(router.currentRoute.value.path).toBe(`/radio/zones/${zoneNamed('Антресоль')}/cells`)
    expect(cellNamed('Короб 1').zoneId).toBe(zoneNamed('Антресоль'))
    const tops = () => wrapper!.findAll('[data-test="cell-tree"] > li > [data-test="cell-row"] .row__name').map((n) => n.text())
    expect(tops()).toEqual(['Ящик с мелочью', 'Стеллаж 1'])

    document.body.dispatchEvent(new KeyboardEvent('keydown', { key: 'ArrowUp', altKey: true, bubbles: true }))
    await settle()
    expect(sentOf('radioCellMove').at(-1)!.p).toEqual({ id: cellNamed('Стеллаж 1').id, beforeId: cellNamed('Ящик с мелочью').id })
    expect(tops()).toEqual(['Стеллаж 1', 'Ящик с мелочью'])
  })

  it('a failed save keeps the typed name and barcode with the error; a new barcode from the service saves', async () => {
    await show(`/radio/zones/${zoneNamed('Основной склад')}/cells`)
    await openCell('Стеллаж 2')
    const taken = cellNamed('Стеллаж 1').barcode!
    await wrapper!.find('[data-test="cell-edit-name"]').setValue('Стеллаж 2А')
    await wrapper!.find('[data-test="cell-edit-barcode"]').setValue(taken)
    await wrapper!.find('[data-test="cell-edit"]').trigger('submit')
    await settle()
    expect(text('[data-test="cell-edit-error"]')).toBe('Такой штрихкод уже есть у другой ячейки')
    expect((wrapper!.find('[data-test="cell-edit-name"]').element as HTMLInputElement).value).toBe('Стеллаж 2А')
    expect(cellNamed('Стеллаж 2')).toBeDefined()

    await click('[data-test="cell-edit-generate"]')
    const fresh = (wrapper!.find('[data-test="cell-edit-barcode"]').element as HTMLInputElement).value
    expect(fresh).toMatch(/^C-\d{6}$/)
    await wrapper!.find('[data-test="cell-edit"]').trigger('submit')
    await settle()
    expect(message()).toBe('Ячейка «Стеллаж 2А» сохранена')
    expect(cellNamed('Стеллаж 2А').barcode).toBe(fresh)
  })

  it('a zone with cells is deleted only after the question with force', async () => {
    await show(`/radio/zones/${zoneNamed('Антресоль')}/cells`)
    await click('[data-test="zone-delete"]')
    await click('[data-test="parts-confirm-yes"]')
    expect(text('[data-test="parts-confirm"]')).toContain('В зоне есть 1 ячейка и товар в 1 позиции. Удалить все равно, вместе с содержимым? Отменить это будет нельзя.')
    expect(store().zones.map((z) => z.name)).toContain('Антресоль')
    await click('[data-test="parts-confirm-yes"]')
    expect(store().zones.map((z) => z.name)).toEqual(['Основной склад'])
    expect(router.currentRoute.value.path).toBe('/radio')
  })
})

describe('ProductsView', () => {
  it('«Без ячейки» lists only the products lying nowhere', async () => {
    kit.ask('radioProductSave', { name: 'Прокладка', price: null, comment: '' })
    await show('/radio/products')
    expect(wrapper!.findAll('[data-test="product-name"]').map((n) => n.text())).toContain('Болт М6×20')
    await click('[data-test="product-filter-without-cell"]')
    expect(wrapper!.findAll('[data-test="product-name"]').map((n) => n.text())).toEqual(['Прокладка'])
    expect(text('[data-test="product-count"]')).toBe('Без ячейки: 1')
    expect(sentOf('radioProductList').at(-1)!.p).toMatchObject({ withoutCell: true })
  })

  it('splits a product in one cell after its checks; the new products are ticked for labels', async () => {
    await show('/radio/products')
    const bolt = wrapper!.findAll('[data-test="product"]').find((p) => p.text().includes('Болт М6×20'))!
    const inBox = bolt.findAll('[data-test="product-cell"]').find((c) => c.text().includes('Короб 1'))!
    await inBox.find('[data-test="product-split"]').trigger('click')
    await settle()
    await click('[data-test="split-run"]')
    expect(text('[data-test="split-error"]')).toBe('Часть 1: укажите название')
    await wrapper!.find('[data-test="split-name"]').setValue('Болт короткий')
    await wrapper!.find('[data-test="split-qty"]').setValue('100')
    await click('[data-test="split-add"]')
    const names = wrapper!.findAll('[data-test="split-name"]')
    await names[1]!.setValue('Болт длинный')
    await wrapper!.findAll('[data-test="split-qty"]')[1]!.setValue('21')
    await click('[data-test="split-run"]')
    expect(text('[data-test="split-error"]')).toBe('В ячейке не хватает остатка исходного товара — есть только 120')
    expect(sentOf('radioProductSplit')).toHaveLength(0)

    await wrapper!.findAll('[data-test="split-qty"]')[1]!.setValue('20')
    await click('[data-test="split-run"]')
    expect(wrapper!.find('[data-test="split"]').exists()).toBe(false)
    const short = productNamed('Болт короткий')
    const long = productNamed('Болт длинный')
    expect(message()).toBe(`Из «Болт М6×20» выделено: Болт короткий (${short.internalBarcode}), Болт длинный (${long.internalBarcode}); осталось 0 шт. Отменить можно в «Истории».`)
    expect(text('[data-test="label-selected"]')).toBe('Выбрано: 2')
  })

  it('a failed edit keeps the form with its error; the next save changes name, barcode, price and comment', async () => {
    await show('/radio/products')
    const nut = productNamed('Гайка М6')
    const taken = productNamed('Болт М6×20').internalBarcode
    const row = wrapper!.findAll('[data-test="product"]').find((p) => p.text().includes('Гайка М6'))!
    await row.find('[data-test="product-edit"]').trigger('click')
    await settle()
    await wrapper!.find('[data-test="product-edit-name"]').setValue('Гайка М6 оцинкованная')
    await wrapper!.find('[data-test="product-edit-barcode"]').setValue(taken)
    await wrapper!.find('[data-test="product-edit-price"]').setValue('2,75')
    await wrapper!.find('[data-test="product-edit-comment"]').setValue('в пакетах по 100')
    await click('[data-test="product-edit-save"]')
    expect(text('[data-test="product-edit-error"]')).toBe('Такой штрихкод уже есть у другого товара')
    expect((wrapper!.find('[data-test="product-edit-name"]').element as HTMLInputElement).value).toBe('Гайка М6 оцинкованная')

    await wrapper!.find('[data-test="product-edit-barcode"]').setValue('NUT-M6-ZN')
    await click('[data-test="product-edit-save"]')
    expect(nut).toMatchObject({ name: 'Гайка М6 оцинкованная', internalBarcode: 'NUT-M6-ZN', price: 2.75, comment: 'в пакетах по 100' })
    expect(message()).toBe('Товар «Гайка М6 оцинкованная» сохранен')
  })

  it('a series of products is shown before it is made, within its limit', async () => {
    await show('/radio/products')
    await click('[data-test="product-series"]')
    await wrapper!.find('[data-test="series-prefix"]').setValue('Шайба ')
    await wrapper!.find('[data-test="series-to"]').setValue('250')
    await click('[data-test="series-preview-button"]')
    expect(text('[data-test="product-series-dialog-error"]')).toBe('Получится 250 — это больше предела 200 за один раз')
    expect(sentOf('radioProductGeneratePreview')).toHaveLength(0)
    await wrapper!.find('[data-test="series-to"]').setValue('3')
    await click('[data-test="series-preview-button"]')
    expect(text('[data-test="series-count"]')).toBe('Будет создано: 3')
    expect(text('[data-test="series-preview"]')).toContain('Шайба 1, Шайба 2, Шайба 3')
    expect(store().products.size).toBe(4)
    await wrapper!.find('[data-test="series-price"]').setValue('1,5')
    await click('[data-test="series-create"]')
    expect(message()).toBe('Создано товаров: 3 — они выбраны для печати этикеток')
    expect(productNamed('Шайба 3').price).toBe(1.5)
    expect(text('[data-test="label-selected"]')).toBe('Выбрано: 3')
  })
})

describe('HistoryView', () => {
  it('undoes a split; an entry another device already undid answers its text and changes nothing', async () => {
    const bolt = productNamed('Болт М6×20')
    const box = cellNamed('Короб 1')
    kit.ask('radioProductSplit', { sourceProductId: bolt.id, cellId: box.id, parts: [{ name: 'Болт А', quantity: 6 }, { name: 'Болт Б', quantity: 4 }] })
    kit.ask('radioPlacementTake', { cellId: box.id, productId: bolt.id, quantity: 1 })
    await show('/radio/history')
    const entries = () => wrapper!.findAll('[data-test="history-entry"]')
    expect(entries().map((e) => e.find('[data-test="history-text"]').text())).toEqual([
      'Забрали 1 шт. из Основной склад → Стеллаж 1 → Полка 1 → Короб 1',
      'Выделили 10 шт. в Основной склад → Стеллаж 1 → Полка 1 → Короб 1: Болт А — 6 шт., Болт Б — 4 шт.',
    ])
    await entries()[1]!.find('[data-test="history-undo"]').trigger('click')
    await settle()
    expect(message()).toBe('Отменено')
    expect(entries()[0]!.find('[data-test="history-text"]').text()).toBe('Отмена: Выделили 10 шт. в Основной склад → Стеллаж 1 → Полка 1 → Короб 1: Болт А — 6 шт., Болт Б — 4 шт.')
    expect(entries()[2]!.find('[data-test="history-undo"]').exists()).toBe(false)
    expect(store().stock.get(box.id)!.get(bolt.id)).toBe(119)
    expect([...store().products.values()].map((p) => p.name)).not.toContain('Болт А')

    const takeId = store().history.find((h) => h.kind === 'take')!.id
    kit.ask('radioHistoryUndo', { id: takeId })
    const before = entries().map((e) => e.text())
    await entries()[1]!.find('[data-test="history-undo"]').trigger('click')
    await settle()
    expect(message()).toBe('Операция уже отменена')
    expect(entries().map((e) => e.text())).toEqual(before)
  })
})
