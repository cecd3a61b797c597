import { describe, expect, it } from 'vitest'
import type { Payload } from '../../core/envelope'
import { defaultSettings, type PrintSettings } from '../../core/settingsModel'
import { createRegistration } from './registration'
import { forgetErrorText, registerErrorText, registerPrecondition, registryErrorText } from './registrationTexts'

const AGAIN = 'Если это рабочее место, которого больше нет, уберите его запись ниже — в списке «Удаленные принтеры аккаунта» кнопкой «Убрать».'

/** Registration over a scripted server: `answers` by command name (an Error is thrown). */
function setup(print: Partial<PrintSettings>, answers: Record<string, Payload | Error>) {
  const settings: PrintSettings = { ...defaultSettings({ desktopHost: true, touch: false }).print, ...print }
  const requests: Array<{ c: string; p: Payload }> = []
  const logs: string[] = []
  const r = createRegistration({
    request: async (c, p) => {
      requests.push({ c, p })
      const a = answers[c]
      if (a instanceof Error) throw a
      return a ?? {}
    },
    print: () => settings,
    save: async (change) => void Object.assign(settings, change),
    deviceId: async () => 'dev-1',
    computerName: async () => '  склад-1  ',
    log: (line) => logs.push(line),
  })
  return { r, settings, requests, logs }
}

describe('registering this computer\'s printer', () => {
  it.each([
    [{ inHost: false, connected: true, printerName: 'raw', comment: 'x' }, 'Удаленный принтер включается только в приложении на компьютере с принтером.'],
    [{ inHost: true, connected: false, printerName: 'raw', comment: 'x' }, 'Нет связи с сервером — регистрация до него не дойдет. Попробуйте, когда связь вернется.'],
    [{ inHost: true, connected: true, printerName: null, comment: 'x' }, expect.stringMatching(/^Сначала выберите принтер в списке выше/)],
    [{ inHost: true, connected: true, printerName: 'raw', comment: '  ' }, expect.stringMatching(/^Напишите, чей это принтер/)],
    [{ inHost: true, connected: true, printerName: 'raw', comment: 'у Иры' }, null],
  ])('precondition %o', (c, text) => {
    expect(registerPrecondition(c)).toEqual(text)
  })

  it.each([
    ['already-registered', 'Занято принтером «raw».', `Занято принтером «raw». ${AGAIN}`],
    ['already-registered', '', `На аккаунте уже зарегистрирован другой принтер. Для второго принтера напишите в поддержку. ${AGAIN}`],
    ['unknown-command', 'x', expect.stringMatching(/^Сервер пока не принимает регистрацию принтера/)],
    ['unsupported', '', expect.stringMatching(/^Сервер пока не принимает регистрацию принтера/)],
    ['timeout', '', 'Сервер не ответил за отведенное время. Печать в приложении работает как раньше; попробуйте зарегистрировать позже.'],
    ['bad-request', 'Не указано имя', 'Не указано имя'],
    ['bad-request', '', 'Не удалось зарегистрировать принтер: bad-request'],
    ['', '', 'Не удалось зарегистрировать принтер: сервер ответил отказом без объяснения.'],
  ])('registration refused %s / %s', (code, message, text) => {
    expect(registerErrorText(code, message)).toEqual(text)
  })

  it.each([
    ['not-found', '', 'Этой записи в кабинете уже нет — список обновлен.'],
    ['unknown-printer', '', 'Этой записи в кабинете уже нет — список обновлен.'],
    ['not-owner', '', expect.stringMatching(/^Сервер не дал убрать запись/)],
    ['unsupported', '', expect.stringMatching(/^Сервер пока не умеет убирать принтер/)],
    ['timeout', '', 'Сервер не ответил за отведенное время — запись осталась. Попробуйте еще раз.'],
    ['oops', '', 'Не удалось убрать принтер из кабинета: oops'],
    ['oops', 'Сервер занят', 'Сервер занят'],
  ])('forget refused %s / %s', (code, message, text) => {
    expect(forgetErrorText(code, message)).toEqual(text)
  })

  it.each([
    ['unknown-command', 'Сервер пока не отдает список принтеров — эта часть еще делается на стороне бэкенда.'],
    ['timeout', 'Сервер не ответил за отведенное время — список принтеров показать не смогли.'],
    ['boom', 'Список принтеров из кабинета получить не удалось: boom'],
    ['', 'Список принтеров из кабинета получить не удалось.'],
  ])('registry refused %s', (code, text) => {
    expect(registryErrorText(code)).toBe(text)
  })

  it('registers the chosen printer with comment, format, purpose, device and computer; stores it', async () => {
    const { r, settings, requests } = setup(
      { printerName: 'raw', widthMm: 58, heightMm: 40, rotation: 90, purpose: 'label' },
      { printerRegister: { printerId: 'prn-1' } },
    )
    expect(await r.registerCurrentPrinter('  у Иры на упаковке ' + 'ж'.repeat(60))).toBeNull()
    expect(requests[0]).toEqual({
      c: 'printerRegister',
      p: {
        name: 'raw',
        comment: ('у Иры на упаковке ' + 'ж'.repeat(60)).slice(0, 60),
        format: { widthMm: 58, heightMm: 40, rotate: 90 },
        purpose: 'label',
        deviceId: 'dev-1',
        deviceName: 'склад-1',
      },
    })
    expect(settings.registered).toEqual({ printerId: 'prn-1', name: 'raw', comment: 'у Иры на упаковке ' + 'ж'.repeat(60) })
  })

  it.each([
    ['no printer chosen', { printerName: null }, {}, 'Сначала выберите принтер в списке.'],
    ['a refusal', { printerName: 'raw' }, { printerRegister: { error: 'timeout' } }, expect.stringMatching(/^Сервер не ответил/)],
    ['an answer without an id', { printerName: 'raw' }, { printerRegister: {} }, 'Не удалось зарегистрировать принтер: сервер ответил отказом без объяснения.'],
    ['a thrown time-out', { printerName: 'raw' }, { printerRegister: new Error('timeout') }, expect.stringMatching(/^Сервер не ответил/)],
  ])('%s: the text, nothing stored', async (_name, print, answers, text) => {
    const { r, settings } = setup(print, answers)
    expect(await r.registerCurrentPrinter('у Иры')).toEqual(text)
    expect(settings.registered).toBeNull()
  })

  it('the refresh re-sends the registered printer with its own profile, not the printer chosen here now', async () => {
    const { r, settings, requests } = setup(
      {
        printerName: 'office',
        widthMm: 210,
        heightMm: 297,
        registered: { printerId: 'prn-1', name: 'raw', comment: 'у Иры' },
        profiles: { raw: { widthMm: 58, heightMm: 40, rotation: 180, fitMode: 'fit', offsetXMm: 0, offsetYMm: 0, purpose: 'label' } },
      },
      { printerRegister: { printerId: 'prn-2' } },
    )
    await r.refreshRegisteredFormat()
    expect(requests[0]!.p).toMatchObject({ name: 'raw', comment: 'у Иры', format: { widthMm: 58, heightMm: 40, rotate: 180 }, purpose: 'label' })
    expect(settings.registered).toEqual({ printerId: 'prn-2', name: 'raw', comment: 'у Иры' })
  })

  it('the refresh does nothing unregistered, and a refused one only logs', async () => {
    const none = setup({}, {})
    await none.r.refreshRegisteredFormat()
    expect(none.requests).toEqual([])
    const refused = setup({ registered: { printerId: 'prn-1', name: 'raw', comment: '' } }, { printerRegister: new Error('timeout') })
    await refused.r.refreshRegisteredFormat()
    expect(refused.settings.registered).toEqual({ printerId: 'prn-1', name: 'raw', comment: '' })
    expect(refused.logs).toEqual(['[печать по команде] регистрация не обновилась: timeout'])
  })

  it.each([
    ['our record, answered "not-found"', 'prn-1', { error: 'not-found' }, 'Этой записи в кабинете уже нет — список обновлен.', null],
    ['our record, removed', 'prn-1', {}, null, null],
    ['our record, refused', 'prn-1', { error: 'not-owner' }, expect.stringMatching(/^Сервер не дал/), 'prn-1'],
    ['another record, removed', 'prn-7', {}, null, 'prn-1'],
  ])('forget %s', async (_name, id, answer, text, left) => {
    const { r, settings, requests } = setup({ registered: { printerId: 'prn-1', name: 'raw', comment: '' } }, { printerForget: answer })
    expect(await r.forgetRegistryPrinter(id)).toEqual(text)
    expect(requests).toEqual([{ c: 'printerForget', p: { printerId: id } }])
    expect((settings.registered as { printerId: string } | null)?.printerId ?? null).toBe(left)
  })

  it('the registry: records without an id are dropped; a refusal gives its text', async () => {
    const ok = setup({}, { printerList: { printers: [{ printerId: 'prn-1', name: 'raw', lastSeenAt: '2026-12-01T00:00:00Z' }, { name: 'no id' }] } })
    expect(await ok.r.fetchRegistry()).toEqual({
      printers: [{ printerId: 'prn-1', name: 'raw', comment: '', format: null, purpose: '', lastSeenAt: Date.UTC(2026, 11, 1) }],
      error: null,
    })
    const refused = setup({}, { printerList: { error: 'unsupported' } })
    expect(await refused.r.fetchRegistry()).toEqual({ printers: null, error: expect.stringMatching(/^Сервер пока не отдает/) })
  })
})
