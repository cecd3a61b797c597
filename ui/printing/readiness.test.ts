import { describe, expect, it } from 'vitest'
import { checkPrinterReady, isPrinterNotReadyError, PrinterNotReadyError, readPrinter, type Printer } from './readiness'

const p = (name: string, isOnline: boolean, isDefault = false): Printer => ({ name, displayName: name, isOnline, isDefault })
const A = p('A', true)
const B = p('B', false, true)

describe('printer readiness', () => {
  it.each([
    ['no printers', [], null, 'no-printers', 'Принтер не настроен. Настройте его в Настройки → Печать'],
    ['all offline', [p('A', false), p('B', false)], 'A', 'all-offline',
      'Все принтеры не в сети: «A», «B». Включите принтер и проверьте кабель или сеть'],
    ['chosen missing', [A], 'Zebra', 'chosen-missing',
      'Принтера «Zebra» нет среди подключенных. Выберите принтер в Настройки → Печать'],
    ['chosen offline', [A, B], 'B', 'chosen-offline',
      'Принтер «B» не в сети. Включите его или выберите другой в Настройки → Печать'],
    ['default offline, nothing chosen', [A, B], null, 'chosen-offline',
      'Принтер по умолчанию «B» не в сети. Включите его или выберите другой в Настройки → Печать'],
    ['a blank name counts as none', [A, B], '   ', 'chosen-offline',
      'Принтер по умолчанию «B» не в сети. Включите его или выберите другой в Настройки → Печать'],
  ] as const)('%s', (_, printers, chosen, code, text) => {
    expect(checkPrinterReady(printers, chosen)).toEqual({ ok: false, code, text })
  })

  it.each([
    ['the chosen printer is online', [A, B], 'A'],
    ['the name is trimmed', [A, B], '  A '],
    ['no default printer at all', [A, p('C', false)], null],
    ['the default is online', [p('A', true, true), p('C', false)], ''],
  ] as const)('ready: %s', (_, printers, chosen) => {
    expect(checkPrinterReady(printers, chosen)).toEqual({ ok: true })
  })

  it('names are compared exactly', () => {
    expect(checkPrinterReady([p('Label', true)], 'label')).toMatchObject({ ok: false, code: 'chosen-missing' })
  })

  it('the refusal is an error named PrinterNotReadyError carrying its code', () => {
    const err = new PrinterNotReadyError('no-printers', 'текст')
    expect(err).toBeInstanceOf(Error)
    expect([err.name, err.message, err.code]).toEqual(['PrinterNotReadyError', 'текст', 'no-printers'])
    expect(isPrinterNotReadyError(err)).toBe(true)
    expect(isPrinterNotReadyError(new Error('текст'))).toBe(false)
    expect(isPrinterNotReadyError('PrinterNotReadyError')).toBe(false)
  })

  it('reads host records whatever their key order, dropping those without a name', () => {
    expect(readPrinter({ isOnline: false, name: 'X', isDefault: true, displayName: 'X' })).toEqual(p('X', false, true))
    expect(readPrinter({ displayName: 'X' })).toBeUndefined()
    expect(readPrinter(null)).toBeUndefined()
  })
})
