import { mount, type VueWrapper } from '@vue/test-utils'
import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest'
import { defineComponent, h } from 'vue'
import ScannerInput from '../documents/scanner/ScannerInput.vue'
import { normaliseScan } from './records'
import ScanEditDialog from './ScanEditDialog.vue'

const scan = normaliseScan({ scanUid: 'u1', id: 4, code: '4600000000011', qty: 2, note: 'старая', cellId: null, photos: 1 })!
let wrapper: VueWrapper | undefined

beforeEach(() => {
  vi.useFakeTimers()
  document.body.innerHTML = ''
})
afterEach(() => {
  wrapper?.unmount()
  wrapper = undefined
  vi.useRealTimers()
})

/** The dialog over a live scanner, as on the session screen. */
function mountScreen(answer = '') {
  const change = vi.fn(async () => answer)
  const scans: string[] = []
  const closed = vi.fn()
  wrapper = mount(defineComponent(() => () => [
    h(ScannerInput, { manualFeedback: true, mode: 'wedge', onScan: (c: string) => scans.push(c) }),
    h(ScanEditDialog, { scan, change, onClose: closed }),
  ]), { attachTo: document.body })
  return { w: wrapper, change, scans, closed }
}

/** A key as the browser delivers it: keydown, then (unless prevented) Enter works a focused button. */
function press(key: string) {
  const target = (document.activeElement ?? document.body) as HTMLElement
  const e = new KeyboardEvent('keydown', { key, bubbles: true, cancelable: true })
  target.dispatchEvent(e)
  if (!e.defaultPrevented && key === 'Enter' && target instanceof HTMLButtonElement) target.click()
}

describe('the unit dialog', () => {
  it('saves the fields as read; a bad quantity is shown and nothing is sent', async () => {
    const { w, change, closed } = mountScreen()
    await w.get('[data-test="scan-edit-note"]').setValue('  вмятина ')
    await w.get('[data-test="scan-edit-cell"]').setValue('12')
    await w.get('[data-test="scan-edit-qty"]').setValue('0')
    await w.get('[data-test="scan-edit-save"]').trigger('click')
    expect(w.get('[data-test="scan-edit-error"]').text()).toBe('Количество — целое число от 1')
    expect(change).not.toHaveBeenCalled()
    // 0 → 1 → 2 with the stepper
    await w.get('[data-test="scan-edit-qty-plus"]').trigger('click')
    await w.get('[data-test="scan-edit-qty-plus"]').trigger('click')
    await w.get('[data-test="scan-edit-save"]').trigger('click')
    await vi.runAllTimersAsync()
    expect(change).toHaveBeenCalledWith({ note: 'вмятина', qty: 2, cellId: 12 })
    expect(closed).toHaveBeenCalled()
  })

  it('deletes only after the question, and a refusal stays on screen', async () => {
    const { w, change, closed } = mountScreen('Скан или фото не найдены — обновите список')
    await w.get('[data-test="scan-edit-delete"]').trigger('click')
    expect(w.get('[data-test="scan-edit-delete-text"]').text()).toBe('Удалить скан «4600000000011» вместе с фото (1)?')
    expect(change).not.toHaveBeenCalled()
    await w.get('[data-test="scan-edit-delete-yes"]').trigger('click')
    await vi.runAllTimersAsync()
    expect(change).toHaveBeenCalledWith('delete')
    expect(w.get('[data-test="scan-edit-error"]').text()).toBe('Скан или фото не найдены — обновите список')
    expect(closed).not.toHaveBeenCalled()
  })

  it.each([
    ['the Save button', 'scan-edit-save'],
    ['the Delete button', 'scan-edit-delete'],
  ])('a wedge scan with the focus on %s reaches the scanner and presses nothing', async (_n, button) => {
    const { w, change, scans } = mountScreen()
    ;(w.get(`[data-test="${button}"]`).element as HTMLElement).focus()
    for (const ch of '4600000000028') press(ch)
    press('Enter')
    await vi.runAllTimersAsync()
    expect(scans).toEqual(['4600000000028'])
    expect(change).not.toHaveBeenCalled()
    expect(w.find('[data-test="scan-edit-delete-text"]').exists()).toBe(false)
  })

  it('Enter in a field does not submit', async () => {
    const { w, change } = mountScreen()
    ;(w.get('[data-test="scan-edit-note"]').element as HTMLElement).focus()
    press('Enter')
    await vi.runAllTimersAsync()
    expect(change).not.toHaveBeenCalled()
  })
})
