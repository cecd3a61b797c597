import { flushPromises, mount, type VueWrapper } from '@vue/test-utils'
import { afterEach, beforeEach, describe, expect, it } from 'vitest'
import { createMemoryHistory, createRouter, type Router } from 'vue-router'
import { eventually } from '../../core/testing/eventually'
import { useAccountStore } from '../../core/accountStore'
import { useSettingsStore } from '../../core/settings'
import { deviceContentsSource } from './contentsSource'
import DocumentView from './DocumentView.vue'
import { readDraft } from './draft'
import { pickingRoute } from './route'
import { DOC_ID, kitChannel, PRODUCTS, type PickingKit, pickingKit } from './testing/pickingKit'
import { resetAskingSwitch } from './unknownCodeHelp'

let kit: PickingKit
let router: Router
let wrapper: VueWrapper | undefined

beforeEach(async () => {
  resetAskingSwitch()
  document.body.innerHTML = ''
  kit = pickingKit()
  useAccountStore().apply({ features: { checkMarksOnScan: false }, options: { editQuantity: true } })
  useSettingsStore().applySettings({ work: { scannerMode: 'wedge' } })
  useSettingsStore().useAccountSettingsSource(async () => ({ settings: { cellsStockDisplay: 'both' } }))
  router = createRouter({
    history: createMemoryHistory(),
    routes: [
      { path: '/documents', component: { template: '<p data-test="list">Список</p>' } },
      { path: pickingRoute.path, component: DocumentView, props: () => ({ id: DOC_ID, contents: deviceContentsSource(), channel: kitChannel(kit) }) },
    ],
  })
  await router.push('/documents')
  await router.push(`/documents/${DOC_ID}`)
})

afterEach(() => {
  wrapper?.unmount()
  wrapper = undefined
  kit.end()
})

async function screen() {
  const w = mount({ template: '<RouterView />' }, { global: { plugins: [router] }, attachTo: document.body })
  wrapper = w
  await eventually('the document\'s positions', () => w.find('[data-test=tab-list]').exists() && w.findAll('[data-test=list-empty]').length === 0)
  await flushPromises()
  return w
}

/**
 * What a wedge scanner does: a key for each character, then Enter, sent to whatever has the focus. A
 * browser presses a focused button on an Enter that nobody prevented; the stand-in here does too.
 */
async function wedgeScan(_w: VueWrapper, code: string) {
  for (const key of [...code, 'Enter']) {
    const target = (document.activeElement ?? document.body) as HTMLElement
    const e = new KeyboardEvent('keydown', { key, bubbles: true, cancelable: true })
    target.dispatchEvent(e)
    if (!e.defaultPrevented && key === 'Enter' && target instanceof HTMLButtonElement) target.click()
  }
  await flushPromises()
}

const text = (w: VueWrapper, test: string) => w.get(`[data-test=${test}]`).text()

describe('the document screen', () => {
  it('answers a wedge scan with the message and the count on the card', async () => {
    const w = await screen()
    expect(text(w, 'tab-list')).toContain('📋 Список (3)')
    await w.get('[data-test=tab-scan]').trigger('click')
    expect(text(w, 'card-idle')).toContain('Отсканируйте товар')
    await wedgeScan(w, PRODUCTS.mug.barcode)
    expect(text(w, 'scan-message')).toBe('✅ Кружка (1/2)')
    expect(w.get('[data-test=scan-message]').classes()).toContain('tone-ok')
    expect(text(w, 'card-count')).toBe('1 / 2')
    expect(text(w, 'card-status')).toBe('Частично')
    expect(text(w, 'card-place')).toBe('2 из 3')
    expect(text(w, 'card-location')).toBe('📍 A-01 · 3 шт.')
    await wedgeScan(w, 'НЕТ-ТАКОГО')
    expect(w.get('[data-test=scan-message]').classes()).toContain('tone-bad')
  })

  it('undo mode shows its banner and takes one item off', async () => {
    const w = await screen()
    await w.get('[data-test=tab-scan]').trigger('click')
    await wedgeScan(w, PRODUCTS.mug.barcode)
    await w.get('[data-test=undo-toggle]').trigger('click')
    expect(text(w, 'undo-banner')).toBe('➖ Режим отмены — отсканируйте товар, чтобы убрать его из документа')
    await wedgeScan(w, PRODUCTS.mug.barcode)
    expect(text(w, 'scan-message')).toBe('➖ Убрано: Кружка')
    expect(text(w, 'card-count')).toBe('0 / 2')
  })

  it('a scan after tapping "+", "➖" or a tab counts the scanned product once, and the tapped button is not pressed again', async () => {
    const w = await screen()
    await w.get('[data-test=tab-scan]').trigger('click')
    await wedgeScan(w, PRODUCTS.mug.barcode)
    const plus = w.get('[data-test=card-plus]').element as HTMLButtonElement
    plus.focus()
    plus.click()
    await flushPromises()
    expect(text(w, 'card-count')).toBe('2 / 2')
    await wedgeScan(w, PRODUCTS.cable.barcode)
    expect(text(w, 'scan-message')).toBe('✅ Кабель (1/1)')
    expect(kit.documents.currentDocument!.products.map((p) => p.checked)).toEqual([0, 2, 1])
    const undo = w.get('[data-test=undo-toggle]').element as HTMLButtonElement
    undo.focus()
    undo.click()
    await flushPromises()
    await wedgeScan(w, PRODUCTS.cable.barcode)
    expect(text(w, 'scan-message')).toBe('➖ Убрано: Кабель')
    expect(w.find('[data-test=undo-banner]').exists()).toBe(true)
  })

  it('the manual field submits its text as a scan; the arrow keys move the card', async () => {
    const w = await screen()
    await w.get('[data-test=tab-scan]').trigger('click')
    await w.get('[data-test=manual-toggle]').trigger('click')
    await w.get('[data-test=scanner-manual]').setValue(PRODUCTS.cable.barcode)
    await w.get('form.scanner__manual').trigger('submit')
    expect(text(w, 'scan-message')).toBe('✅ Кабель (1/1)')
    await w.get('[data-test=manual-toggle]').trigger('click')
    document.body.dispatchEvent(new KeyboardEvent('keydown', { key: 'ArrowLeft', bubbles: true }))
    await flushPromises()
    expect(text(w, 'card-name')).toBe('Кружка')
  })

  it('edits a position: the field\'s rules, then the new quantity with its note', async () => {
    const w = await screen()
    await w.get('[data-test=tab-scan]').trigger('click')
    await wedgeScan(w, PRODUCTS.mug.barcode)
    await w.get('[data-test=card-edit]').trigger('click')
    expect(w.get('[data-test=edit-dialog]').text()).toContain('Сейчас в документе: 2')
    await w.get('[data-test=edit-quantity]').trigger('click')
    await w.get('[data-test=edit-quantity-field]').setValue('0')
    await w.get('form.pedit__form').trigger('submit')
    expect(text(w, 'edit-field-error')).toBe('Количество должно быть больше нуля. Чтобы убрать товар, удалите позицию')
    await w.get('[data-test=edit-quantity-field]').setValue('4')
    await w.get('form.pedit__form').trigger('submit')
    await eventually('the confirmation', () => w.find('[data-test=edit-confirm-text]').exists())
    expect(text(w, 'edit-confirm-text')).toBe('Заказано 2, поставить 4?')
    await w.get('[data-test=edit-confirm-yes]').trigger('click')
    await eventually('the dialog to close', () => !w.find('[data-test=edit-dialog]').exists())
    await flushPromises()
    expect(text(w, 'scan-note')).toBe('Количество по «Кружка» изменено')
    expect(text(w, 'card-count')).toBe('1 / 4')
  })

  it('with drafts off, leaving after a scan asks first; the history refuses', async () => {
    useSettingsStore().applySettings({ work: { saveDraft: false } })
    const w = await screen()
    await wedgeScan(w, PRODUCTS.mug.barcode)
    expect(readDraft(DOC_ID)).toBeUndefined()
    // Going back through the history is refused with what to do instead.
    window.dispatchEvent(new PopStateEvent('popstate'))
    await router.push('/documents')
    await flushPromises()
    expect(text(w, 'scan-message')).toBe('Есть несохраненные сканы: включите «Сохранять черновик» в настройках или завершите документ.')
    expect(w.find('[data-test=leave-dialog]').exists()).toBe(false)
    await w.get('[data-test=back]').trigger('click')
    await flushPromises()
    expect(w.find('[data-test=leave-dialog]').exists()).toBe(true)
    expect(router.currentRoute.value.path).toBe(`/documents/${DOC_ID}`)
    await w.get('[data-test=leave-confirm]').trigger('click')
    await flushPromises()
    expect(router.currentRoute.value.path).toBe('/documents')
  })
})
