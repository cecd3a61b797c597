import { mount, type VueWrapper } from '@vue/test-utils'
import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest'
import ScannerInput from './ScannerInput.vue'
import { GS } from './symbology'

let wrapper: VueWrapper | undefined

beforeEach(() => {
  vi.useFakeTimers()
  document.body.innerHTML = ''
})
afterEach(() => {
  wrapper?.unmount()
  wrapper = undefined
  vi.useRealTimers()
  localStorage.clear()
})

function mountInput(props: Record<string, unknown> = {}) {
  wrapper = mount(ScannerInput, { props, attachTo: document.body })
  return wrapper
}

const scans = () => (wrapper!.emitted('scan') ?? []).map((e) => e[0])

/** Types like a browser would: keydown, and unless it was prevented the character lands in the focused field. */
function press(key: string, init: KeyboardEventInit = {}) {
  const target = (document.activeElement ?? document.body) as HTMLElement
  const e = new KeyboardEvent('keydown', { key, bubbles: true, cancelable: true, ...init })
  target.dispatchEvent(e)
  if (e.defaultPrevented || key.length !== 1 || init.ctrlKey) return
  if (target instanceof HTMLInputElement) {
    target.value += key
    target.dispatchEvent(new Event('input', { bubbles: true }))
  }
}

function scanWithWedge(text: string) {
  for (const ch of text) {
    if (ch === GS) press(']', { ctrlKey: true, code: 'BracketRight' })
    else press(ch)
  }
}

function nativeScan(extras: Record<string, unknown>) {
  window.dispatchEvent(new CustomEvent('native-scan', { detail: JSON.stringify(extras) }))
}

describe('keyboard wedge', () => {
  it('holds the focus in a hidden field without an on-screen keyboard', () => {
    const w = mountInput()
    const field = w.get('[data-test=scanner-wedge]').element as HTMLInputElement
    expect(document.activeElement).toBe(field)
    expect(field.getAttribute('inputmode')).toBe('none')
    expect(field.placeholder).toBe('Наведите сканер...')
  })

  it.each([
    ['"]C1" + 20 characters → the code without "]C1"', ']C1ABCDEFGHIJ0123456789', 'ABCDEFGHIJ0123456789'],
    ['"]C1" + 5 characters are kept as they are', ']C112345', ']C112345'],
    ['Ctrl+] puts GS inside the code', `0104600439931256215Nsk2)!${GS}93dGVz`, `0104600439931256215Nsk2)!${GS}93dGVz`],
  ])('%s', (_what, typed, expected) => {
    const w = mountInput()
    scanWithWedge(typed)
    expect(scans()).toEqual([])
    vi.advanceTimersByTime(150)
    expect(scans()).toEqual([expected])
    expect((w.get('[data-test=scanner-wedge]').element as HTMLInputElement).value).toBe('')
  })

  it('Enter takes the code at once; the other group separator keys work too', () => {
    mountInput()
    scanWithWedge('0104600439931256')
    press('Tab')
    scanWithWedge('21ABC')
    press('GroupSeparator')
    scanWithWedge('93XY')
    press('Enter')
    expect(scans()).toEqual([`0104600439931256${GS}21ABC${GS}93XY`])
  })

  it('a leading Tab is held: a burst after it is one scan, a Tab nothing follows makes none', () => {
    mountInput()
    const tab = new KeyboardEvent('keydown', { key: 'Tab', bubbles: true, cancelable: true })
    document.activeElement!.dispatchEvent(tab)
    expect(tab.defaultPrevented).toBe(true)
    scanWithWedge('4600439931256')
    press('Enter')
    expect(scans()).toEqual(['4600439931256'])
    press('Tab')
    vi.advanceTimersByTime(200)
    press('Enter')
    vi.advanceTimersByTime(200)
    expect(scans()).toEqual(['4600439931256'])
  })

  it('a page kept busy mid-burst does not split the code: the quiet time counts again once it is free', () => {
    mountInput()
    scanWithWedge('46004')
    // The page is busy for a second: the timer fires late, the rest of the keys are still on their way.
    vi.setSystemTime(Date.now() + 1_000)
    vi.advanceTimersByTime(150)
    expect(scans()).toEqual([])
    scanWithWedge('39931256')
    press('Enter')
    expect(scans()).toEqual(['4600439931256'])
  })

  it('each keystroke restarts the 150 ms timer', () => {
    mountInput()
    press('1')
    vi.advanceTimersByTime(140)
    press('2')
    vi.advanceTimersByTime(140)
    expect(scans()).toEqual([])
    vi.advanceTimersByTime(10)
    expect(scans()).toEqual(['12'])
  })

  it('a burst reaches the scanner whatever has the focus, but a text field of the user keeps its keys', () => {
    mountInput()
    const other = document.createElement('input')
    const tab = document.createElement('div')
    tab.setAttribute('role', 'tab')
    tab.tabIndex = 0
    const button = document.createElement('button')
    const pressed = vi.fn()
    button.addEventListener('click', pressed)
    // A browser presses a focused button on an Enter nobody prevented.
    button.addEventListener('keydown', (e) => e.key === 'Enter' && !e.defaultPrevented && button.click())
    document.body.append(other, tab, button)
    other.focus()
    scanWithWedge('999')
    vi.advanceTimersByTime(200)
    expect(scans()).toEqual([])
    expect(other.value).toBe('999')
    tab.focus()
    scanWithWedge('888')
    vi.advanceTimersByTime(200)
    button.focus()
    scanWithWedge('4600439931256')
    press('Enter')
    expect(pressed).not.toHaveBeenCalled()
    ;(document.activeElement as HTMLElement).blur()
    scanWithWedge('4600439931256')
    press(']', { ctrlKey: true })
    press('Enter')
    expect(scans()).toEqual(['888', '4600439931256', `4600439931256${GS}`])
    // A person's Enter on the button still presses it.
    button.focus()
    press('Enter')
    expect(pressed).toHaveBeenCalledTimes(1)
  })

  it('takes the focus back 100 ms after losing it to the page, not to a control', async () => {
    const w = mountInput()
    const field = w.get('[data-test=scanner-wedge]').element as HTMLInputElement
    const button = document.createElement('button')
    document.body.append(button)
    field.blur()
    vi.advanceTimersByTime(99)
    expect(document.activeElement).not.toBe(field)
    vi.advanceTimersByTime(1)
    expect(document.activeElement).toBe(field)
    button.focus()
    vi.advanceTimersByTime(500)
    expect(document.activeElement).toBe(button)
  })

  it('while paused it neither captures nor takes the focus back; resuming refocuses', async () => {
    const w = mountInput({ paused: true })
    const field = w.get('[data-test=scanner-wedge]').element as HTMLInputElement
    expect(document.activeElement).not.toBe(field)
    scanWithWedge('4600439931256')
    nativeScan({ action: 'a', barcode_string: '4600439931256' })
    vi.advanceTimersByTime(500)
    expect(scans()).toEqual([])
    await w.setProps({ paused: false })
    expect(document.activeElement).toBe(field)
  })
})

describe('native scans and the duplicate rule', () => {
  it.each([
    [300, ['4600439931256']],
    [800, ['4600439931256', '4600439931256']],
  ])('the native bridge %s ms after the wedge', (gap, expected) => {
    mountInput()
    scanWithWedge('4600439931256')
    press('Enter')
    vi.advanceTimersByTime(gap)
    nativeScan({ action: 'com.scanner.ACTION', barcode_string: '4600439931256' })
    expect(scans()).toEqual(expected)
  })

  it('a native event whose only field holds a byte-array print yields no scan', () => {
    mountInput({ mode: 'manual' })
    nativeScan({ action: 'com.scanner.ACTION', barcode: '[B@1b6d3586' })
    nativeScan({ action: 'com.scanner.ACTION', data: 'null' })
    expect(scans()).toEqual([])
    nativeScan({ action: 'com.scanner.ACTION', data: ']C10104600439931256' })
    expect(scans()).toEqual(['0104600439931256'])
  })
})

describe('manual entry', () => {
  it('manual mode: the field has the focus at once and again when a dialog closes; a burst elsewhere lands whole', async () => {
    const w = mountInput({ mode: 'manual' })
    const field = w.get('[data-test=scanner-manual]').element as HTMLInputElement
    expect(document.activeElement).toBe(field)
    await w.setProps({ paused: true })
    field.blur()
    await w.setProps({ paused: false })
    expect(document.activeElement).toBe(field)
    const button = document.createElement('button')
    document.body.append(button)
    button.focus()
    scanWithWedge('4600439931256')
    press('Enter')
    expect(scans()).toEqual(['4600439931256'])
    expect(field.value).toBe('')
  })

  it('manual mode: a person typing on a button finds the text in the field', async () => {
    const w = mountInput({ mode: 'manual' })
    const button = document.createElement('button')
    document.body.append(button)
    button.focus()
    press('4')
    vi.advanceTimersByTime(100)
    press('6')
    vi.advanceTimersByTime(200)
    await w.vm.$nextTick()
    const field = w.get('[data-test=scanner-manual]').element as HTMLInputElement
    expect(field.value).toBe('46')
    expect(document.activeElement).toBe(field)
    expect(scans()).toEqual([])
  })

  it('manual mode: a visible field submitted by Enter', async () => {
    const w = mountInput({ mode: 'manual' })
    const field = w.get('[data-test=scanner-manual]')
    expect((field.element as HTMLInputElement).placeholder).toBe('Введите штрихкод...')
    await field.setValue('  4600439931256 ')
    await field.trigger('submit')
    await w.get('form').trigger('submit')
    expect(scans()).toEqual(['4600439931256'])
    expect((field.element as HTMLInputElement).value).toBe('')
  })

  it('manual mode: a screen that searches while typing sees the text, sets the placeholder and gets the field emptied on submit', async () => {
    const w = mountInput({ mode: 'manual', text: '', placeholder: 'Сканируйте ячейку', 'onUpdate:text': (t: string) => w.setProps({ text: t }) })
    const field = w.get('[data-test=scanner-manual]')
    expect((field.element as HTMLInputElement).placeholder).toBe('Сканируйте ячейку')
    await field.setValue('болт')
    expect(w.emitted('update:text')?.at(-1)).toEqual(['болт'])
    await w.get('form').trigger('submit')
    expect(scans()).toEqual(['болт'])
    expect(w.emitted('update:text')?.at(-1)).toEqual([''])
    await w.setProps({ text: 'гайка' })
    expect((field.element as HTMLInputElement).value).toBe('гайка')
  })

  it('camera mode: the embedded camera, a toggle for typing with "→", and the full camera', async () => {
    const w = mountInput({ mode: 'camera' })
    await vi.advanceTimersByTimeAsync(0)
    // This test page has no camera at all.
    expect(w.get('[data-test=camera-error]').text()).toBe('Этот браузер не поддерживает доступ к камере.')
    expect(w.find('[data-test=scanner-manual]').exists()).toBe(false)
    await w.get('[data-test=scanner-type-toggle]').trigger('click')
    const field = w.get('[data-test=scanner-manual]')
    expect((field.element as HTMLInputElement).placeholder).toBe('Введите штрихкод вручную...')
    expect(w.get('button[type=submit]').text()).toBe('→')
    await field.setValue('2000000000015')
    await w.get('form').trigger('submit')
    await w.get('[data-test=scanner-full-camera]').trigger('click')
    expect(scans()).toEqual(['2000000000015'])
    expect(w.emitted('camera')).toHaveLength(1)
  })
})
