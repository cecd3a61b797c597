import { afterEach, describe, expect, it } from 'vitest'
import { errorText } from '../../core/bridge'
import { downloadLabel, translateLabelError, validateLabelLink, type LabelFetchDeps } from '../../core/labelFetch'
import type { Payload } from '../../core/envelope'
import { defaultSettings, type PrintSettings } from '../../core/settingsModel'
import { createPrintOps, defaultPrintDeps } from '../printOps'
import { FakePrintHost, TINY_PDF } from '../testing/fakePrintHost'
import { createJobJournal, type Journal } from './jobJournal'
import { createPrintCommands, INTERRUPTED_TEXT } from './printCommands'
import type { Registration } from './registryView'

const SERVICE = 'http://localhost:8787'
const LABEL = `${SERVICE}/labels/sample-58x40.pdf`
const OURS: Registration = { printerId: 'prn-1', name: 'raw', comment: 'у Иры' }
const RAW_PROFILE = { widthMm: 58, heightMm: 40, rotation: 90, fitMode: 'fit', offsetXMm: 1.5, offsetYMm: 0, purpose: 'label' }

/** The remote print of a desktop with printers `raw` (registered) and `office` (chosen here), over the fake host. */
function desktop(opts: { stored?: Journal; registered?: Registration | null; inHost?: boolean } = {}) {
  const host = new FakePrintHost([{ name: 'raw' }, { name: 'office', isDefault: true }]).install()
  host.files.set(LABEL, { status: 200, bytes: TINY_PDF })
  let clock = Date.UTC(2026, 11, 10, 12, 0)
  const sent: Array<{ c: string; p: Payload }> = []
  const events: string[] = []
  let text: string | null = opts.stored ? JSON.stringify(opts.stored) : null
  const print: PrintSettings = {
    ...defaultSettings({ desktopHost: true, touch: false }).print,
    printerName: 'office',
    widthMm: 210,
    heightMm: 297,
    registered: opts.registered === undefined ? OURS : opts.registered,
    profiles: { raw: RAW_PROFILE },
  }
  const ops = createPrintOps({ ...defaultPrintDeps, inHost: () => true, now: () => clock, warn: () => {} })
  const labelDeps: LabelFetchDeps = {
    invoke: (cmd, args) => host.invoke(cmd, args ?? {}) as never,
    invokePlugin: () => Promise.reject(new Error('no plugin')),
    inHost: () => true,
    log: () => {},
    now: () => clock,
    sleep: async () => {},
  }
  const commands = createPrintCommands({
    journal: createJobJournal({
      readText: () => text,
      writeValue: (j) => {
        text = JSON.stringify(j)
        return true
      },
      persist: async () => void events.push(`durable ${text}`),
      now: () => clock,
      warn: () => {},
    }),
    journalReady: async () => {},
    registered: () => (print.registered as Registration | null) ?? null,
    print: () => print,
    inHost: () => opts.inHost ?? true,
    ensurePrinterReady: (name) => ops.ensurePrinterReady(name),
    resolveLink: (link) => validateLabelLink(new URL(link, `${SERVICE}/`).href).href,
    download: (link) => downloadLabel(link, labelDeps),
    downloadErrorText: (err) => translateLabelError(errorText(err)),
    printPdf: (bytes, options) => ops.printPdfBytes(bytes, options),
    send: (c, p) => {
      sent.push({ c, p })
      events.push(`${c} ${String(p.stage ?? p.ok)}`)
    },
    labelPrinted: async () => void (print.labelsPrinted = true),
    log: () => {},
    warn: () => {},
  })
  const results = () => sent.filter((m) => m.c === 'printLabel.result').map((m) => m.p)
  const journal = (): Journal => (text === null ? {} : (JSON.parse(text) as Journal))
  return { host, commands, sent, events, results, journal, print, ops, tick: (ms: number) => (clock += ms) }
}

const command = (over: Payload = {}): Payload => ({ jobId: 'j-1', printerId: 'prn-1', documentId: 'd-1', labelUrl: '/labels/sample-58x40.pdf', copies: 3.7, ...over })

afterEach(() => FakePrintHost.uninstall())

describe('print commands on the desktop with the printer', () => {
  it('prints on the registered printer with its profile, reports the stages, journals durably before answering', async () => {
    const d = desktop()
    await d.commands.handle(command())
    expect(d.host.jobs).toEqual([
      expect.objectContaining({ printerName: 'raw', copies: 3, format: { widthMm: 58, heightMm: 40, rotation: 90, fitMode: 'fit', offsetXMm: 1.5, offsetYMm: 0 } }),
    ])
    expect(d.sent.filter((m) => m.c === 'printLabel.progress').map((m) => [m.p.stage, m.p.note])).toEqual([
      ['accepted', 'Команда получена рабочим местом'],
      ['downloaded', 'Этикетка получена, отправляем на принтер'],
      ['spooled', 'Отправлено на принтер'],
    ])
    expect(d.results()).toEqual([{ jobId: 'j-1', printerId: 'prn-1', documentId: 'd-1', ok: true, error: null, errorCode: null }])
    // Marked printing before the job went out, the outcome on disk before the server hears of it.
    expect(d.events.slice(3)).toEqual([
      expect.stringMatching(/^durable .*"printing":true/),
      expect.stringMatching(/^durable .*"ok":true/),
      'printLabel.result true',
    ])
    expect(d.journal()['j-1']).toMatchObject({ ok: true, error: null })
    expect(d.print.labelsPrinted).toBe(true)
  })

  it('the same command delivered again after it finished only repeats the journaled result', async () => {
    const d = desktop()
    await d.commands.handle(command())
    await d.commands.handle(command())
    expect(d.host.jobs).toHaveLength(1)
    expect(d.results()).toEqual([
      expect.objectContaining({ ok: true, errorCode: null }),
      { jobId: 'j-1', printerId: 'prn-1', documentId: 'd-1', ok: true, error: null, errorCode: null },
    ])
  })

  it('a copy that arrives while the job still prints waits for it: one label, two answers', async () => {
    const d = desktop()
    await Promise.all([d.commands.handle(command()), d.commands.handle(command())])
    expect(d.host.jobs).toHaveLength(1)
    expect(d.results().map((r) => r.ok)).toEqual([true, true])
  })

  it('a job the last run left marked "printing" (cut off mid-print) is not printed again', async () => {
    const d = desktop({ stored: { 'j-1': { ok: false, error: null, at: Date.UTC(2026, 11, 10, 11, 59), printing: true } } })
    await d.commands.handle(command())
    expect(d.host.jobs).toEqual([])
    expect(d.results()).toEqual([{ jobId: 'j-1', printerId: 'prn-1', documentId: 'd-1', ok: false, error: INTERRUPTED_TEXT, errorCode: null }])
  })

  it('a command without a job number is refused and not journaled', async () => {
    const d = desktop()
    await d.commands.handle(command({ jobId: undefined }))
    expect(d.results()).toEqual([expect.objectContaining({ ok: false, errorCode: 'no-job-id' })])
    expect(d.journal()).toEqual({})
    expect(d.host.jobs).toEqual([])
  })

  it.each([
    ['another printer while registered', command({ printerId: 'prn-9' }), {}, 'other-printer'],
    ['not registered', command(), { registered: null }, 'no-printer'],
    ['outside the desktop host', command(), { registered: null, inHost: false }, 'not-available'],
    ['no link', command({ labelUrl: '' }), {}, 'no-url'],
    ['a link to a foreign host', command({ labelUrl: 'https://example.com/a.pdf' }), {}, 'no-url'],
    ['a label the file host does not have', command({ labelUrl: '/labels/none.pdf' }), {}, 'download-failed'],
  ])('%s: refused with its code, nothing printed, nothing journaled (a later copy is tried again)', async (_name, c, opts, code) => {
    const d = desktop(opts)
    await d.commands.handle(c)
    expect(d.results()).toEqual([expect.objectContaining({ ok: false, errorCode: code })])
    expect(d.host.jobs).toEqual([])
    expect(d.journal()).toEqual({})
  })

  it('a readiness failure is reported but not journaled: the same job sent again once the printer is back prints', async () => {
    const d = desktop()
    d.host.printers[0]!.isOnline = false
    await d.commands.handle(command())
    expect(d.results()).toEqual([
      expect.objectContaining({ ok: false, errorCode: 'print-failed', error: 'Принтер «raw» не в сети. Включите его или выберите другой в Настройки → Печать' }),
    ])
    expect(d.journal()).toEqual({})
    d.host.printers[0]!.isOnline = true
    d.ops.clearPrinterCache()
    await d.commands.handle(command())
    expect(d.host.jobs).toHaveLength(1)
    expect(d.results()[1]).toMatchObject({ ok: true })
  })

  it('a job the host fails is journaled as failed (paper may have come out) and repeated as such', async () => {
    const d = desktop()
    d.host.failing.set('print_bytes', 'Принтер отказал: замятие бумаги')
    await d.commands.handle(command())
    expect(d.journal()['j-1']).toMatchObject({ ok: false, error: 'Принтер отказал: замятие бумаги' })
    d.host.failing.delete('print_bytes')
    await d.commands.handle(command())
    expect(d.host.jobs).toEqual([])
    expect(d.results()).toEqual([
      expect.objectContaining({ ok: false, errorCode: 'print-failed' }),
      expect.objectContaining({ ok: false, error: 'Принтер отказал: замятие бумаги', errorCode: null }),
    ])
  })
})
