import { flushPromises, mount, type VueWrapper } from '@vue/test-utils'
import { createPinia, setActivePinia } from 'pinia'
import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest'
import { createMemoryHistory, createRouter, type Router } from 'vue-router'
import { useSettingsStore, type SettingsBackend } from '../core/settings'
import PrintSection from './PrintSection.vue'
import { PDF_DRAWER_KEY, PRINT_OPS_KEY } from './injection'
import type { PdfPageDrawer } from './pdfPage'
import { createPrintOps, defaultPrintDeps } from './printOps'
import { NO_PRINTERS_TEXT } from './readiness'
import { FakePrintHost, type FakePrinter } from './testing/fakePrintHost'

const CUPS_DOWN =
  'Служба печати CUPS не отвечает, поэтому список принтеров не получен. Установите CUPS (пакет cups) и запустите его — как это сделать, написано в «Как настроить печать».'

const TRACKING = { option: 'MediaTracking', current: 'Continuous', gapChoice: 'Web' }

let saved: Array<Record<string, unknown>>
let router: Router
let drawn: Uint8Array[]
let revoked: string[]
let wrapper: VueWrapper | undefined

function memoryBackend(initial?: unknown): SettingsBackend {
  let value = initial
  return {
    read: async () => value,
    write: async (record) => {
      value = JSON.parse(JSON.stringify(record))
      saved.push(value as Record<string, unknown>)
    },
  }
}

let drawingFails = false
const drawer: PdfPageDrawer = async (bytes) => {
  if (drawingFails) throw new Error('no canvas here')
  drawn.push(bytes)
  return { width: 164, height: 113 }
}

async function open(printers: FakePrinter[], print: Record<string, unknown> = {}) {
  const host = new FakePrintHost(printers).install()
  const settings = useSettingsStore()
  settings.useBackend(memoryBackend({ print }))
  await settings.loadDeviceSettings()
  router = createRouter({
    history: createMemoryHistory(),
    routes: [
      { path: '/settings', component: { template: '<div />' } },
      { path: '/print-help', component: { template: '<div />' } },
    ],
  })
  await router.push('/settings?section=print')
  const ops = createPrintOps({ ...defaultPrintDeps, objectUrl: (b) => `blob:t/${b.size}/${Math.random()}`, revokeUrl: (u) => revoked.push(u) })
  wrapper = mount(PrintSection, {
    attachTo: document.body,
    global: { plugins: [router], provide: { [PDF_DRAWER_KEY as symbol]: drawer, [PRINT_OPS_KEY as symbol]: ops } },
  })
  await flushPromises()
  return { host, settings, w: wrapper }
}

const texts = (w: VueWrapper, css: string) => w.findAll(css).map((e) => e.text())
/** Each choice button's title and line under it. */
const choices = (w: VueWrapper, css: string) => w.findAll(css).map((e) => e.findAll('span').map((s) => s.text()))
const option = (w: VueWrapper, name: string) => w.find(`[data-test="printer-option"][data-name="${name}"]`)
async function enter(w: VueWrapper, test: string, value: string) {
  const input = w.find(`[data-test="${test}"]`)
  await input.setValue(value)
  await flushPromises()
  return (input.element as HTMLInputElement).value
}

beforeEach(() => {
  setActivePinia(createPinia())
  saved = []
  drawn = []
  revoked = []
  drawingFails = false
})
afterEach(() => {
  wrapper?.unmount()
  wrapper = undefined
  FakePrintHost.uninstall()
})

describe('the printer list', () => {
  it('shows the default entry, each printer with its profile or default mark and its state', async () => {
    const { w } = await open(
      [{ name: 'A' }, { name: 'B', isDefault: true, isOnline: false }, { name: 'C', isOnline: false }],
      { profiles: { A: { widthMm: 75, heightMm: 120, rotation: 90, purpose: 'label' } } },
    )
    expect(choices(w, '[data-test="printer-option"]')).toEqual([
      ['По умолчанию', 'Системный принтер'],
      ['A', '75 × 120 мм, поворот 90°, для этикеток'],
      ['B', 'системный по умолчанию · не в сети'],
      ['C', 'не в сети'],
    ])
    expect(option(w, '').attributes('aria-checked')).toBe('true')
    expect(w.find('[data-test="page-size"]').exists()).toBe(false)
  })

  it('choosing a printer with a profile takes its format; one without keeps the format and stores it', async () => {
    const { w, host, settings } = await open([{ name: 'A' }, { name: 'B' }, { name: 'C' }], {
      printerName: 'A',
      widthMm: 100,
      heightMm: 150,
      profiles: { B: { widthMm: 75, heightMm: 120, rotation: 270, fitMode: 'fit', offsetXMm: 1.5, offsetYMm: -2, purpose: 'x' } },
    })
    await option(w, 'B').trigger('click')
    await flushPromises()
    expect(settings.print).toMatchObject({ printerName: 'B', widthMm: 75, heightMm: 120, rotation: 270, offsetXMm: 1.5, offsetYMm: -2, purpose: 'auto' })
    expect((saved.at(-1)!.print as { profiles: Record<string, unknown> }).profiles.A).toMatchObject({ widthMm: 100, heightMm: 150 })
    expect(host.calls.filter((c) => c.cmd === 'get_page_size').map((c) => c.args.printerName)).toEqual(['A', 'B'])

    await option(w, 'C').trigger('click')
    await flushPromises()
    expect(settings.print).toMatchObject({ printerName: 'C', widthMm: 75, heightMm: 120, rotation: 270 })
    expect(settings.print.profiles.B).toMatchObject({ widthMm: 75, heightMm: 120, rotation: 270, purpose: 'auto' })
    expect(w.find('[data-test="current-size"]').text()).toBe('Сейчас: 75 × 120 мм, поворот 270°')
  })

  it('a chosen printer that is gone, an empty list and a failing list each say so', async () => {
    const { w, host } = await open([{ name: 'A' }], { printerName: 'Zebra' })
    expect(w.find('[data-test="printers-note"]').text()).toBe('Принтер «Zebra» сейчас не найден в системе')
    host.printers = []
    await w.find('[data-test="printers-refresh"]').trigger('click')
    await flushPromises()
    expect(w.find('[data-test="printers-note"]').text()).toBe('Принтер «Zebra» сейчас не найден в системе')
    expect(w.findAll('[data-test="printer-option"]')).toHaveLength(0)
    host.failing.set('get_printers', CUPS_DOWN)
    await w.find('[data-test="printers-refresh"]').trigger('click')
    await flushPromises()
    expect(w.find('[data-test="printers-error"]').text()).toBe(CUPS_DOWN)
    expect(host.count('get_printers')).toBe(3)
  })

  // Nothing to print on: no printer is offered in place of a real one, and the readiness check fails with the reason.
  it.each([
    ['no print scheduler', 'printers-error', CUPS_DOWN, CUPS_DOWN],
    ['no printers', 'printers-note', 'Принтеры не найдены. Подключите принтер и нажмите «Обновить список».', NO_PRINTERS_TEXT],
  ])('with %s the section offers no printer and readiness fails', async (what, line, lineText, readinessText) => {
    const { w, host } = await open([], {})
    if (what === 'no print scheduler') {
      host.failing.set('get_printers', CUPS_DOWN)
      await w.find('[data-test="printers-refresh"]').trigger('click')
      await flushPromises()
    }
    expect(w.findAll('[data-test="printer-option"]')).toHaveLength(0)
    expect(w.find(`[data-test="${line}"]`).text()).toBe(lineText)
    await w.find('[data-test="engine-check"]').trigger('click')
    await flushPromises()
    const result = w.find('[data-test="engine-result"]')
    expect(result.text()).toBe(readinessText)
    expect(result.classes()).toContain('tone-bad')
    expect(host.count('check_print_engine')).toBe(0)
  })
})

describe('the label format', () => {
  it('size fields clamp and fall back; shift fields round and clamp; each change is saved with the profile', async () => {
    const { w, settings } = await open([{ name: 'A' }], { printerName: 'A' })
    expect(await enter(w, 'size-width', '500')).toBe('400')
    expect(await enter(w, 'size-width', '5')).toBe('10')
    expect(await enter(w, 'size-width', '')).toBe('58')
    expect(await enter(w, 'size-height', '0')).toBe('40')
    expect(await enter(w, 'offset-x', '12.34')).toBe('10')
    expect(await enter(w, 'offset-y', '-3.25')).toBe('-3.2')
    expect(settings.print).toMatchObject({ widthMm: 58, heightMm: 40, offsetXMm: 10, offsetYMm: -3.2 })
    expect((saved.at(-1)!.print as { profiles: Record<string, unknown> }).profiles.A).toMatchObject({ offsetXMm: 10, offsetYMm: -3.2 })
  })

  it('presets, rotation and purpose', async () => {
    const { w, settings } = await open([{ name: 'A' }])
    const presets = w.findAll('[data-test="size-preset"]')
    expect(presets.map((p) => p.text())).toEqual(['58 × 40', '58 × 60', '75 × 120', 'A4'])
    expect(presets.map((p) => p.attributes('aria-pressed'))).toEqual(['true', 'false', 'false', 'false'])
    await presets[3]!.trigger('click')
    expect(settings.print).toMatchObject({ widthMm: 210, heightMm: 297 })
    const rotate = w.find('[data-test="rotate"]')
    expect([rotate.text(), rotate.attributes('title')]).toEqual(['↻ Без поворота', 'Повернуть на 90° (сейчас 0°)'])
    for (const name of ['На 90° вправо', 'Вверх ногами', 'На 90° влево', 'Без поворота']) {
      await rotate.trigger('click')
      expect(rotate.text()).toBe(`↻ ${name}`)
    }
    expect(choices(w, '[data-test="purpose"]')).toEqual([
      ['Этикетки', 'Этикетки на коробки и товары'],
      ['Листы А4', 'Накладные и другие документы'],
      ['Определять по ширине бумаги', 'Узкая лента — этикетки, широкая — А4'],
    ])
    await w.find('[data-test="purpose"][data-purpose="a4"]').trigger('click')
    expect(settings.print.purpose).toBe('a4')
    expect(w.find('[data-test="purpose"][data-purpose="a4"]').attributes('aria-checked')).toBe('true')
  })
})

describe('the printer paper size', () => {
  it('continuous tracking warns even when sizes match; the apply button fixes it', async () => {
    const { w, host } = await open([{ name: 'T', size: { widthMm: 58, heightMm: 40 }, media: TRACKING, fixedForms: true }], { printerName: 'T' })
    const verdict = () => w.find('[data-test="page-size-verdict"]')
    expect(verdict().attributes('data-tone')).toBe('warning')
    expect(verdict().text()).toContain('но лента считается сплошной')
    const apply = w.find('[data-test="page-size-apply"]')
    expect(apply.text()).toBe('Задать принтеру 58 × 40 мм')
    await apply.trigger('click')
    await flushPromises()
    expect(host.calls.find((c) => c.cmd === 'set_page_size')!.args).toEqual({ printerName: 'T', widthMm: 58, heightMm: 40 })
    expect([verdict().attributes('data-tone'), verdict().text()]).toEqual(['ok', 'В принтере задано 58 × 40 мм — совпадает'])
    expect(w.find('[data-test="page-size-apply"]').exists()).toBe(false)
  })

  it('a driver that keeps its own size: after the attempt the info text without the button; a size change asks again', async () => {
    const { w, host } = await open([{ name: 'F', size: { widthMm: 101.6, heightMm: 152.4 }, fixedForms: true }], { printerName: 'F' })
    expect(w.find('[data-test="page-size-verdict"]').text()).toMatch(/^В принтере задано 102 × 152 мм, а этикетка 58 × 40 мм\./)
    await w.find('[data-test="page-size-apply"]').trigger('click')
    await flushPromises()
    expect(w.find('[data-test="page-size-verdict"]').text()).toMatch(/^Драйвер оставил свой размер — 102 × 152 мм, хотя приложение задало 58 × 40 мм\./)
    expect(w.find('[data-test="page-size-apply"]').exists()).toBe(false)
    await enter(w, 'size-height', '60')
    expect(host.count('get_page_size')).toBe(2)
    expect(w.find('[data-test="page-size-apply"]').text()).toBe('Задать принтеру 58 × 60 мм')
  })

  it('a refused size shows the error under the button and reads the printer again', async () => {
    const { w, host } = await open([{ name: 'A', size: { widthMm: 100, heightMm: 150 } }], { printerName: 'A' })
    host.failing.set('set_page_size', 'Система не дала сохранить настройку печати этого принтера')
    await w.find('[data-test="page-size-apply"]').trigger('click')
    await flushPromises()
    expect(w.find('[data-test="page-size-apply-error"]').text()).toBe('Система не дала сохранить настройку печати этого принтера')
    expect(w.find('[data-test="page-size-verdict"]').text()).toMatch(/^Драйвер оставил свой размер — 100 × 150 мм/)
    expect(host.count('get_page_size')).toBe(2)
  })
})

describe('the checks', () => {
  it('test print, engine check and a label by link report their outcome', async () => {
    const { w, host } = await open([{ name: 'A' }], { printerName: 'A', widthMm: 75, heightMm: 120 })
    await w.find('[data-test="test-print"]').trigger('click')
    await flushPromises()
    expect(w.find('[data-test="test-print-result"]').text()).toBe('Отправлено на печать')
    expect(host.jobs[0]).toMatchObject({
      command: 'print_test_page', printerName: 'A',
      format: { widthMm: 75, heightMm: 120, rotation: 0, fitMode: 'fit', offsetXMm: 0, offsetYMm: 0 },
    })

    await w.find('[data-test="engine-check"]').trigger('click')
    await flushPromises()
    expect(w.find('[data-test="engine-result"]').text()).toContain('Всё готово к печати.')
    host.failing.set('check_print_engine', 'Не найдена библиотека печати pdfium.dll — без неё приложение не может подготовить этикетку.')
    await w.find('[data-test="engine-check"]').trigger('click')
    await flushPromises()
    expect(w.find('[data-test="engine-result"]').text()).toMatch(/^Не найдена библиотека печати/)

    const button = w.find('[data-test="link-print"]')
    expect(button.attributes('disabled')).toBeDefined()
    await w.find('[data-test="link-input"]').setValue('   ')
    expect(button.attributes('disabled')).toBeDefined()
    const link = 'http://127.0.0.1:8787/labels/a.pdf'
    host.files.set(link, { status: 200, bytes: new TextEncoder().encode('%PDF-1.7 label') })
    await w.find('[data-test="link-input"]').setValue(`  ${link} `)
    await button.trigger('click')
    await flushPromises()
    expect(w.find('[data-test="link-print-result"]').text()).toBe('Отправлено на печать')
    expect(host.jobs[1]).toMatchObject({ command: 'print_bytes', printerName: 'A', format: { widthMm: 75 }, copies: 1 })
  })

  it('an offline chosen printer: the readiness text and the button to the print settings', async () => {
    const { w, host } = await open([{ name: 'A' }, { name: 'B', isOnline: false }], { printerName: 'B' })
    await router.push('/print-help')
    await w.find('[data-test="test-print"]').trigger('click')
    await flushPromises()
    const failure = w.find('[data-test="test-print-failure"]')
    expect(failure.find('p').text()).toBe('Принтер «B» не в сети. Включите его или выберите другой в Настройки → Печать')
    expect(host.jobs).toEqual([])
    const button = failure.find('[data-test="open-print-settings"]')
    expect(button.text()).toBe('Открыть Настройки → Печать')
    await button.trigger('click')
    await flushPromises()
    expect(router.currentRoute.value.fullPath).toBe('/settings?section=print')

    host.failing.set('print_test_page', 'Принтер «A» не открылся')
    await option(w, 'A').trigger('click')
    await w.find('[data-test="test-print"]').trigger('click')
    await flushPromises()
    expect(w.find('[data-test="test-print-failure"] p').text()).toBe('Принтер «A» не открылся')
    expect(w.find('[data-test="open-print-settings"]').exists()).toBe(false)
  })

  it('the test page preview: drawn in the page, re-rendered on a shift, closed by Escape, URLs freed', async () => {
    const { w, host, settings } = await open([{ name: 'A' }], { printerName: 'A' })
    await w.find('[data-test="preview-open"]').trigger('click')
    await flushPromises()
    const preview = w.find('[data-test="test-page-preview"]')
    expect(preview.find('h2').text()).toBe('Тестовая страница 58 × 40 мм')
    expect(preview.find('[data-test="preview-note"]').text()).toBe(
      'Так страница уйдет в принтер: без подгонки под лист, размер в размер. Если здесь все на месте, а на этикетке нет — дело в настройках принтера.',
    )
    expect(new TextDecoder().decode(drawn[0]!.slice(0, 4))).toBe('%PDF')
    expect(preview.find('[data-test="preview-canvas"]').classes()).toContain('preview__page--drawn')

    await preview.find('[data-test="preview-offset-x"]').setValue('1.25')
    await flushPromises()
    expect(settings.print.offsetXMm).toBe(1.3)
    expect(host.calls.filter((c) => c.cmd === 'render_test_page').map((c) => (c.args.format as { offsetXMm: number }).offsetXMm)).toEqual([0, 1.3])
    expect(drawn).toHaveLength(2)
    expect(revoked).toHaveLength(1)

    window.dispatchEvent(new KeyboardEvent('keydown', { key: 'Escape' }))
    await flushPromises()
    expect(w.find('[data-test="test-page-preview"]').exists()).toBe(false)
    expect(revoked).toHaveLength(2)

    await w.find('[data-test="preview-open"]').trigger('click')
    await flushPromises()
    await w.find('[data-test="test-page-preview"]').trigger('click')
    await flushPromises()
    expect(w.find('[data-test="test-page-preview"]').exists()).toBe(false)
    expect(revoked).toHaveLength(3)
  })

  it('a preview that cannot be drawn falls back to a frame with the PDF', async () => {
    const { w } = await open([{ name: 'A' }])
    drawingFails = true
    await w.find('[data-test="preview-open"]').trigger('click')
    await flushPromises()
    expect(w.find('[data-test="preview-frame"]').attributes('src')).toMatch(/^blob:t\/.*#toolbar=0&navpanes=0&scrollbar=0&view=Fit$/)
  })
})

