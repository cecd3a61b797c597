import { describe, expect, it } from 'vitest'
import type { Where } from '../../printing/remote/relay'
import { NO_PRINTERS_TEXT, PrinterNotReadyError } from '../../printing/readiness'
import type { PrintResult } from './ozonCore'
import { NO_PRINTER_DESKTOP, NO_PRINTER_ELSEWHERE, printOzonLink, type OzonPrintDeps } from './ozonPrint'

const POSTING = { postingNumber: '12345678-0001-1', status: '', labelUrl: 'http://127.0.0.1/l.pdf', documentId: 'ozon:1:12345678-0001-1' }

function deps(where: Where, inHost = true) {
  const calls: string[] = []
  const d: OzonPrintDeps = {
    whereToPrint: () => where,
    printByRelay: async (label, show) => {
      calls.push(`relay ${label.documentId} ${label.command} ${label.printerLabel}`)
      show('Отправляем на принтер другого компьютера: Упаковка')
      return { ok: true, text: 'Этикетка напечатана на принтере другого компьютера: Упаковка', openSettings: false }
    },
    formatForPrinter: () => ({ widthMm: 75, heightMm: 120 }),
    checkLink: () => {},
    print: async (link, options) => void calls.push(`print ${link} ${options.printerName} ${options.copies ?? 1}`),
    markPrinted: async () => void calls.push('marked'),
    inHost: () => inHost,
  }
  return { d, calls }
}

describe('printing an Ozon label', () => {
  it.each([
    ['here, the chosen printer', { kind: 'here', printerName: null, note: null } as Where, undefined, true,
      `Этикетка Ozon ${POSTING.postingNumber} отправлена на принтер по умолчанию этого компьютера`, [`print ${POSTING.labelUrl} null 1`, 'marked']],
    ['here, the registered shop printer, product copies', { kind: 'here', printerName: 'raw', note: null } as Where, 3, true,
      'Этикетка товара отправлена на принтер «raw» этого компьютера', [`print ${POSTING.labelUrl} raw 3`, 'marked']],
    ['on another computer', { kind: 'relay', label: 'Упаковка' } as Where, undefined, true,
      'Этикетка напечатана на принтере другого компьютера: Упаковка', [`relay ${POSTING.documentId} printOzonLabel Упаковка`]],
    ['nowhere, a shop printer elsewhere', { kind: 'nowhere', label: 'Упаковка' } as Where, undefined, false,
      'Принтер магазина «Упаковка» стоит на другом компьютере, а отправить на него эту этикетку нельзя', []],
    ['nowhere, no shop printer', { kind: 'nowhere', label: null } as Where, undefined, false, NO_PRINTER_ELSEWHERE, []],
  ])('%s', async (_name, where, copies, ok, text, calls) => {
    const rig = deps(where, where.kind !== 'nowhere')
    const shown: string[] = []
    const result = await printOzonLink(rig.d, POSTING, { printerLabel: 'Упаковка' }, copies, (t) => shown.push(t))
    expect(result).toMatchObject({ ok, text })
    expect(rig.calls).toEqual(calls)
    if (where.kind === 'relay') expect(shown).toEqual(['Отправляем на принтер другого компьютера: Упаковка'])
  })

  it('a failed print is a text, and the labels are not marked printed', async () => {
    const rig = deps({ kind: 'here', printerName: null, note: null })
    rig.d.print = async () => { throw new Error('Принтер не в сети') }
    expect(await printOzonLink(rig.d, POSTING, {}, undefined, () => {})).toEqual({ ok: false, text: 'Принтер не в сети', openSettings: false })
    expect(rig.calls).toEqual([])
    expect(NO_PRINTER_DESKTOP).toContain('Настройки → Печать')
  })

  it('the print settings are offered when no printer is set up, here or on the other computer; a late relay outcome is passed on', async () => {
    const rig = deps({ kind: 'here', printerName: null, note: null })
    rig.d.print = async () => {
      throw new PrinterNotReadyError('no-printers', NO_PRINTERS_TEXT)
    }
    expect(await printOzonLink(rig.d, POSTING, {}, undefined, () => {})).toEqual({ ok: false, text: NO_PRINTERS_TEXT, openSettings: true })
    expect(await printOzonLink(deps({ kind: 'nowhere', label: null }).d, POSTING, {}, undefined, () => {})).toEqual({ ok: false, text: NO_PRINTER_DESKTOP, openSettings: true })

    const relay = deps({ kind: 'relay', label: 'Упаковка' })
    const late: PrintResult[] = []
    relay.d.printByRelay = async (_label, _show, later) => {
      later?.({ ok: false, text: 'Удаленный принтер не настроен', openSettings: true })
      return { ok: false, text: 'не в сети', openSettings: false, pending: true }
    }
    expect(await printOzonLink(relay.d, POSTING, {}, undefined, () => {}, (r) => late.push(r))).toEqual({ ok: false, text: 'не в сети', openSettings: false })
    expect(late).toEqual([{ ok: false, text: 'Удаленный принтер не настроен', openSettings: true }])
  })
})
