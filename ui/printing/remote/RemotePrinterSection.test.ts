import { flushPromises, mount } from '@vue/test-utils'
import { createPinia, setActivePinia } from 'pinia'
import { beforeEach, describe, expect, it } from 'vitest'
import type { Payload } from '../../core/envelope'
import { useSettingsStore, type SettingsBackend } from '../../core/settings'
import { useSocketStore } from '../../core/socketStore'
import RemotePrinterSection from './RemotePrinterSection.vue'
import { createRegistration } from './registration'
import type { RelayLabel } from './relay'

const memory = (initial: unknown): SettingsBackend => {
  let value = initial
  return { read: async () => value, write: async (r) => void (value = JSON.parse(JSON.stringify(r))) }
}

/** The block over a small registry server: one printer per account, as the stand-in keeps it. */
async function open(print: Record<string, unknown>, others: Payload[] = []) {
  const settings = useSettingsStore()
  settings.useBackend(memory({ print }))
  await settings.loadDeviceSettings()
  useSocketStore().setConnected(true)
  let registry: Payload[] = [...others]
  const registration = createRegistration({
    request: async (c, p) => {
      if (c === 'printerList') return { printers: registry }
      if (c === 'printerForget') {
        const before = registry.length
        registry = registry.filter((r) => r.printerId !== p.printerId)
        return registry.length < before ? {} : { error: 'not-found' }
      }
      if (registry.length > 0) return { error: 'already-registered', message: '' }
      registry = [{ printerId: 'prn-1', name: p.name, comment: p.comment, format: p.format, purpose: p.purpose, lastSeenAt: Date.now() }]
      return { printerId: 'prn-1' }
    },
    print: () => settings.print,
    save: async (change) => {
      settings.applySettings({ print: change })
      await settings.saveDeviceSettings()
    },
    deviceId: async () => 'dev-1',
    computerName: async () => null,
    log: () => {},
  })
  const asked: RelayLabel[] = []
  const relay = async (label: RelayLabel, show: (t: string) => void) => {
    asked.push(label)
    show('Компьютер с принтером принял задание')
    return { ok: true, text: 'Этикетка напечатана на принтере другого компьютера: raw — склад', openSettings: false }
  }
  const w = mount(RemotePrinterSection, { props: { printers: ['raw', 'office'], deps: { registration, relay, inHost: () => true } } })
  await flushPromises()
  return { w, settings, asked }
}

const text = (w: ReturnType<typeof mount>, test: string) => w.find(`[data-test="${test}"]`).text()

beforeEach(() => setActivePinia(createPinia()))

describe('the remote printer block', () => {
  it('registers the chosen printer with its comment, then lists it as ours; switching it off clears the comment', async () => {
    const { w, settings } = await open({ printerName: 'raw' })
    expect(text(w, 'remote-summary')).toMatch(/^Удаленных принтеров нет/)
    expect(text(w, 'remote-precondition')).toMatch(/^Напишите, чей это принтер/)
    await w.find('[data-test="remote-comment"]').setValue('у Иры')
    expect(w.find('[data-test="remote-precondition"]').exists()).toBe(false)
    await w.find('[data-test="remote-register"]').trigger('click')
    await flushPromises()
    expect(settings.print.registered).toEqual({ printerId: 'prn-1', name: 'raw', comment: 'у Иры' })
    expect(text(w, 'remote-state')).toBe('Из МоегоСклада печатаем на «raw» — у Иры.')
    expect(w.findAll('[data-test="remote-row"]').map((r) => [r.find('.remote__row-title').text(), r.attributes('data-ours')])).toEqual([
      ['raw — у Иры · 58 × 40 мм', 'true'],
    ])
    expect(text(w, 'remote-summary')).toBe('Кабинет видит этот принтер — кнопка «Напечатать этикетку» активна.')

    await w.find('[data-test="remote-forget-ours"]').trigger('click')
    await flushPromises()
    expect(settings.print.registered).toBeNull()
    expect(w.findAll('[data-test="remote-row"]')).toHaveLength(0)
    expect((w.find('[data-test="remote-comment"]').element as HTMLInputElement).value).toBe('')
  })

  it('another computer\'s printer: a refused registration explains itself, the trial label goes by relay, «Убрать» frees the account', async () => {
    const other = { printerId: 'prn-7', name: 'raw', comment: 'склад', format: { widthMm: 58, heightMm: 40 }, purpose: 'label', lastSeenAt: Date.now() - 3 * 86_400_000 }
    const { w, asked } = await open({ printerName: 'office' }, [other])
    expect(text(w, 'remote-row')).toContain('raw — склад · 58 × 40 мм · для этикеток')
    expect(text(w, 'remote-row')).toContain('последняя регистрация 3 дня назад')
    expect(text(w, 'remote-summary')).toMatch(/^В кабинете принтер зарегистрирован, но не с этого компьютера/)

    await w.find('[data-test="remote-comment"]').setValue('у кассы')
    await w.find('[data-test="remote-register"]').trigger('click')
    await flushPromises()
    expect(text(w, 'remote-message')).toMatch(/^На аккаунте уже зарегистрирован другой принтер\. .*кнопкой «Убрать»\.$/)

    await w.find('[data-test="remote-trial"]').trigger('click')
    await flushPromises()
    expect(asked).toEqual([{ documentId: 'trial-label', printerLabel: 'raw — склад' }])
    expect(text(w, 'remote-trial-text')).toBe('Этикетка напечатана на принтере другого компьютера: raw — склад')

    await w.find('[data-test="remote-forget"]').trigger('click')
    await flushPromises()
    expect(w.findAll('[data-test="remote-row"]')).toHaveLength(0)
    await w.find('[data-test="remote-register"]').trigger('click')
    await flushPromises()
    expect(text(w, 'remote-state')).toBe('Из МоегоСклада печатаем на «office» — у кассы.')
  })
})
