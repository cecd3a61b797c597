import { afterEach, beforeEach, describe, expect, it } from 'vitest'
import type { Payload } from '../../core/envelope'
import { validateLabelLink } from '../../core/labelFetch'
import { defaultSettings, mergeSettings, type PrintSettings } from '../../core/settingsModel'
import { createBackend, demoSigner, setWbFileOrigin, wbState, type MemoryBackend } from '../../demo'
import { createPrintOps, defaultPrintDeps } from '../../printing/printOps'
import { FakePrintHost, TINY_PDF } from '../../printing/testing/fakePrintHost'
import { labelPayload, labelTarget, printWbLabel, type LabelPrintDeps } from './labelPrint'
import { refusalText } from './wbMessages'
import { readTasks, type WbTask } from './wbTask'

const FORMAT_58 = { widthMm: 58, heightMm: 40, rotation: 0, fitMode: 'fit', offsetXMm: 0, offsetYMm: 0 }
const PROFILE_100 = { widthMm: 100, heightMm: 150, rotation: 90, fitMode: 'fit', offsetXMm: 1, offsetYMm: 0, purpose: 'label' }

function printSettings(print: Partial<PrintSettings>): PrintSettings {
  return mergeSettings(defaultSettings({ desktopHost: true, touch: false }), { print }).print
}

describe('the printer of a Wildberries label', () => {
  const registered = { printerId: 'p-7', name: 'Zebra', comment: 'склад' }
  it.each<[string, unknown, Partial<PrintSettings>, string | null, object, boolean]>([
    ['our registration with a profile', 'p-7', { printerName: 'Office', registered, profiles: { Zebra: PROFILE_100 } }, 'Zebra', { widthMm: 100, heightMm: 150, rotation: 90, offsetXMm: 1 }, false],
    ['our registration without a profile', 'p-7', { printerName: 'Office', registered }, 'Zebra', FORMAT_58, false],
    ['our registration, which is the settings’ printer', ' p-7 ', { printerName: 'Zebra', registered, profiles: { Zebra: PROFILE_100 } }, 'Zebra', FORMAT_58, false],
    ['an id this computer does not know', 'p-8', { printerName: 'Office', registered }, 'Office', FORMAT_58, true],
    ['a registration that names no printer', 'p-7', { printerName: 'Office', registered: { printerId: 'p-7', name: '' } }, 'Office', FORMAT_58, true],
    ['no id', undefined, { printerName: null, registered }, null, FORMAT_58, false],
  ])('%s', (_what, printerId, print, printerName, format, unknown) => {
    const target = labelTarget(printerId, printSettings(print))
    expect(target.printerName).toBe(printerName)
    expect(target.format).toMatchObject(format)
    expect(target.unknownPrinterId !== undefined).toBe(unknown)
  })
})

describe('the label messages', () => {
  it.each<[Payload, string, string]>([
    [{ errorCode: 'wb-no-token' }, 'Магазин Wildberries не подключен: добавьте токен в настройках аккаунта.', 'Магазин Wildberries не подключен: добавьте токен в настройках аккаунта.'],
    [
      { errorCode: 'wb-order-not-found', error: 'wb: gone' },
      'Задание не найдено в Wildberries: оно уже не в работе или относится к другому магазину — этикетку получить нельзя.',
      'Задание не найдено в Wildberries: оно уже не в работе или относится к другому магазину.',
    ],
    [{ errorCode: 'wb-error', error: 'Склад закрыт' }, 'Склад закрыт', 'Склад закрыт'],
    [{ errorCode: 'wb-error' }, 'Wildberries ответил ошибкой. Попробуйте через минуту', 'Wildberries ответил ошибкой. Попробуйте через минуту'],
    [
      { errorCode: 'wb-rate-limited', retryAfter: '7.2' },
      'Wildberries временно ограничил запросы, этикетка не напечатана. Повторите через 8 с',
      'Wildberries временно ограничил запросы. Повторите через 8 с',
    ],
    [{ errorCode: 'wb-rate-limited' }, 'Wildberries временно ограничил запросы, этикетка не напечатана. Повторите через минуту', 'Wildberries временно ограничил запросы. Повторите через минуту'],
    [{ errorCode: 'strange' }, 'Не удалось получить этикетку. Попробуйте еще раз', 'Не удалось выполнить действие. Попробуйте еще раз'],
    [{ error: 'Нет связи с маркетплейсом' }, 'Нет связи с маркетплейсом', 'Нет связи с маркетплейсом'],
  ])('%j', (answer, label, action) => {
    expect(refusalText(answer, 'label')).toBe(label)
    expect(refusalText(answer, 'action')).toBe(action)
  })
})

describe('printing a Wildberries label', () => {
  let backend: MemoryBackend
  let host: FakePrintHost
  let asked: Array<{ c: string; p: Payload }>
  let waits: number[]
  let warnings: string[]
  let printed: number
  let print: Partial<PrintSettings>

  function deps(patch: Partial<LabelPrintDeps> = {}): LabelPrintDeps {
    const identity = backend.authenticate(backend.openSession('u-anna').token)
    if ('error' in identity) throw new Error(identity.error)
    const conn = backend.attach(identity, () => {})
    const ops = createPrintOps(defaultPrintDeps)
    return {
      ask: async (c, p) => {
        asked.push({ c, p })
        return backend.handle(conn, c, p)[0]!.p
      },
      checkLink: (link) => void validateLabelLink(link),
      print: (link, options) => ops.printLabelByUrl(link, options),
      printSettings: () => printSettings(print),
      markPrinted: async () => void printed++,
      warn: (line) => warnings.push(line),
      startWait: (s) => waits.push(s),
      ...patch,
    }
  }

  const tasks = (): WbTask[] => readTasks(wbState(backend, 'acc-lesnaya').tasks)
  const inSupply = () => tasks().find((t) => t.supplyId !== '')!

  beforeEach(() => {
    backend = createBackend({ sign: demoSigner })
    setWbFileOrigin(backend, 'http://127.0.0.1:8787/')
    host = new FakePrintHost([{ name: 'Office', isDefault: true }, { name: 'Zebra' }]).install()
    asked = []
    waits = []
    warnings = []
    printed = 0
    print = { printerName: 'Office', registered: { printerId: 'p-7', name: 'Zebra' }, profiles: { Zebra: PROFILE_100 } }
  })
  afterEach(() => FakePrintHost.uninstall())

  it('the sticker of a task in a supply, on the shop printer registered here, with its profile', async () => {
    wbState(backend, 'acc-lesnaya').shops[0]!.printerId = 'p-7'
    const t = inSupply()
    host.files.set(`http://127.0.0.1:8787/labels/wb/sticker-${t.id}.pdf`, { status: 200, bytes: TINY_PDF })
    expect(await printWbLabel('sticker', labelPayload('sticker', t), deps())).toEqual({ ok: true, text: 'Этикетка отправлена на принтер «Zebra»' })
    expect(asked).toEqual([{ c: 'wbSticker', p: { orderId: t.id, sellerId: t.sellerId } }])
    expect(host.jobs).toMatchObject([{ command: 'print_bytes', printerName: 'Zebra', format: { widthMm: 100, heightMm: 150, rotation: 90 } }])
    expect(printed).toBe(1)
  })

  it('a printer id unknown here prints on the settings’ printer, with a warning', async () => {
    wbState(backend, 'acc-lesnaya').shops[0]!.printerId = 'p-elsewhere'
    const t = inSupply()
    host.files.set(`http://127.0.0.1:8787/labels/wb/supply-${t.supplyId}.pdf`, { status: 200, bytes: TINY_PDF })
    expect(await printWbLabel('supplyQr', labelPayload('supplyQr', t), deps())).toEqual({ ok: true, text: 'Этикетка отправлена на принтер «Office»' })
    expect(host.jobs).toMatchObject([{ printerName: 'Office', format: FORMAT_58 }])
    expect(warnings).toEqual(['[печать] Wildberries: принтер p-elsewhere не зарегистрирован на этом компьютере — печатаем на принтере из настроек'])
  })

  it('the system default printer is named so', async () => {
    print = {}
    const t = tasks()[0]!
    host.files.set(`http://127.0.0.1:8787/labels/wb/product-${t.barcode}.pdf?article=${t.article}`, { status: 200, bytes: TINY_PDF })
    expect(await printWbLabel('product', labelPayload('product', t), deps())).toEqual({ ok: true, text: 'Этикетка отправлена на принтер по умолчанию' })
    expect(asked[0]!.p).toEqual({ article: t.article, barcode: t.barcode })
  })

  it('a rate limit starts the wait and prints nothing', async () => {
    wbState(backend, 'acc-lesnaya').limits.push({ commands: ['wbSticker'], retryAfter: '7.2', times: 1 })
    const outcome = await printWbLabel('sticker', labelPayload('sticker', inSupply()), deps())
    expect(outcome).toMatchObject({ ok: false, error: { message: 'Wildberries временно ограничил запросы, этикетка не напечатана. Повторите через 8 с' } })
    expect(waits).toEqual([8])
    expect(host.jobs).toEqual([])
  })

  it.each<[string, Partial<LabelPrintDeps>, string]>([
    ['no link', { ask: async () => ({}) }, 'Сервер не прислал ссылку на этикетку. Попробуйте еще раз'],
    ['a link to a foreign host', { ask: async () => ({ labelUrl: 'https://example.com/a.pdf' }) }, 'Домен example.com не разрешен в приложении — этикетку по такой ссылке не скачать, нужна новая сборка. Передайте в поддержку'],
    ['a server that does not answer', { ask: async () => Promise.reject(new Error('timeout')) }, 'Сервер не ответил. Попробуйте еще раз'],
    ['a sticker before the supply', {}, 'Wildberries не принял запрос по заданию — проверьте задание в кабинете продавца.'],
  ])('%s: its text, nothing printed', async (_what, patch, text) => {
    const notInSupply = tasks().find((t) => t.supplyId === '')!
    const outcome = await printWbLabel('sticker', labelPayload('sticker', notInSupply), deps(patch))
    expect(outcome).toMatchObject({ ok: false, error: { message: text } })
    expect(host.jobs).toEqual([])
    expect(printed).toBe(0)
  })

  it('an offline printer: the readiness refusal comes through as it is, for the way to the print settings', async () => {
    host.printers = [{ name: 'Office', isDefault: true, isOnline: false }, { name: 'Zebra' }]
    const outcome = await printWbLabel('sticker', labelPayload('sticker', inSupply()), deps())
    expect(outcome.ok).toBe(false)
    expect(!outcome.ok && outcome.error.name).toBe('PrinterNotReadyError')
    expect(!outcome.ok && outcome.error.message).toBe('Принтер «Office» не в сети. Включите его или выберите другой в Настройки → Печать')
  })
})
