import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest'
import { errorText } from '../core/bridge'
import { defaultLabelFetchDeps, downloadLabel, NOT_IN_HOST } from '../core/labelFetch'
import {
  createPrintOps,
  PRINT_TIMEOUT_TEXT,
  PRINTER_LIST_SKIPPED,
  PrinterNotReadyError,
  VIEWER_FRAGMENT,
  type PrintDeps,
} from './printOps'
import { FakePrintHost, TINY_PDF } from './testing/fakePrintHost'

let clock = 0
let warnings: string[] = []
let revoked: string[] = []

function opsFor(host: FakePrintHost, inHost = true) {
  const invoke = <T,>(cmd: string, args: Record<string, unknown> = {}) => host.invoke(cmd, args) as Promise<T>
  const deps: PrintDeps = {
    invoke,
    inHost: () => inHost,
    now: () => clock,
    warn: (line, err) => warnings.push(`${line} ${errorText(err)}`),
    download: (link) => downloadLabel(link, { ...defaultLabelFetchDeps, invoke, inHost: () => true, log: () => {} }),
    objectUrl: (blob) => `blob:test/${blob.type}/${blob.size}`,
    revokeUrl: (url) => revoked.push(url),
  }
  return createPrintOps(deps)
}

const A = { name: 'A', isOnline: true }
const B = { name: 'B', isOnline: false, isDefault: true }
const format = { widthMm: 58, heightMm: 40, rotation: 0, fitMode: 'fit', offsetXMm: 0, offsetYMm: 0 }

beforeEach(() => {
  clock = 1_000_000
  warnings = []
  revoked = []
})
afterEach(() => vi.useRealTimers())

describe('print operations', () => {
  it('refuse outside the desktop host before asking anything', async () => {
    const host = new FakePrintHost([A])
    const ops = opsFor(host, false)
    const attempts: Array<() => Promise<unknown>> = [
      () => ops.listPrinters(),
      () => ops.listPrintersCached(),
      () => ops.ensurePrinterReady(null),
      () => ops.printPdfBytes(TINY_PDF),
      () => ops.printLabelByUrl('http://127.0.0.1/l.pdf'),
      () => ops.getPageSize('A'),
      () => ops.setPageSize('A', 58, 40),
      () => ops.renderTestPageUrl(null),
      () => ops.checkPrintEngine(),
      () => ops.printTestPage(),
    ]
    for (const attempt of attempts) await expect(attempt()).rejects.toThrow(NOT_IN_HOST)
    expect(host.calls).toEqual([])
  })

  it('A online and B offline and default: nothing chosen is refused, A chosen prints', async () => {
    const host = new FakePrintHost([A, B])
    const ops = opsFor(host)
    const refused = await ops.printPdfBytes(TINY_PDF, { format }).catch((e: unknown) => e)
    expect(refused).toBeInstanceOf(PrinterNotReadyError)
    expect(refused).toMatchObject({
      name: 'PrinterNotReadyError',
      code: 'chosen-offline',
      message: 'Принтер по умолчанию «B» не в сети. Включите его или выберите другой в Настройки → Печать',
    })
    expect(host.jobs).toEqual([])
    await ops.printPdfBytes(TINY_PDF, { printerName: 'A', format })
    expect(host.jobs).toEqual([{ command: 'print_bytes', printerName: 'A', format, copies: 1, data: Array.from(TINY_PDF) }])
  })

  it('sends the bytes as numbers, a blank printer name as null and one copy by default', async () => {
    const host = new FakePrintHost([{ name: 'A', isDefault: true }])
    await opsFor(host).printPdfBytes(TINY_PDF, { printerName: '  ' })
    expect(host.calls.find((c) => c.cmd === 'print_bytes')!.args).toEqual({
      data: Array.from(TINY_PDF), printerName: null, format: null, copies: 1,
    })
  })

  it('two jobs within 4 s read the printer list once; later it is read again', async () => {
    const host = new FakePrintHost([A])
    const ops = opsFor(host)
    await Promise.all([ops.printPdfBytes(TINY_PDF, { printerName: 'A' }), ops.printPdfBytes(TINY_PDF, { printerName: 'A' })])
    clock += 3999
    await ops.printTestPage({ printerName: 'A' })
    expect(host.count('get_printers')).toBe(1)
    clock += 1
    await ops.printPdfBytes(TINY_PDF, { printerName: 'A' })
    expect(host.count('get_printers')).toBe(2)
    ops.clearPrinterCache()
    await ops.ensurePrinterReady('A')
    expect(host.count('get_printers')).toBe(3)
    expect(host.jobs).toHaveLength(4)
  })

  it('an unreadable printer list is logged and the job proceeds', async () => {
    const host = new FakePrintHost([A])
    host.failing.set('get_printers', 'Не удалось получить список принтеров (EnumPrinters)')
    await opsFor(host).printPdfBytes(TINY_PDF, { printerName: 'A' })
    expect(warnings).toEqual([`${PRINTER_LIST_SKIPPED} Не удалось получить список принтеров (EnumPrinters)`])
    expect(host.jobs).toHaveLength(1)
  })

  it('a host job that does not answer in 60 s fails with the time-out text', async () => {
    vi.useFakeTimers()
    const host = new FakePrintHost([A])
    host.failing.set('print_bytes', null)
    const job = opsFor(host).printPdfBytes(TINY_PDF, { printerName: 'A' })
    const outcome = job.catch((e: unknown) => e)
    await vi.advanceTimersByTimeAsync(59_999)
    expect(host.count('print_bytes')).toBe(1)
    await vi.advanceTimersByTimeAsync(1)
    expect(await outcome).toEqual(new Error(PRINT_TIMEOUT_TEXT))
  })

  it('host errors arrive as Errors carrying the host text unchanged', async () => {
    const host = new FakePrintHost([A])
    const html = new TextEncoder().encode('<html>')
    await expect(opsFor(host).printPdfBytes(html, { printerName: 'A' })).rejects.toThrow(
      new Error('Это не PDF — возможно, ссылка ведёт на страницу с ошибкой'),
    )
    await expect(opsFor(host).setPageSize('A', 5, 40)).rejects.toThrow(new Error('Размер вне разумных пределов: от 10 до 1000 мм'))
  })

  it('prints a label by link: readiness first, then the download, then the job', async () => {
    const host = new FakePrintHost([A, B])
    const link = 'http://127.0.0.1:8787/labels/a.pdf'
    host.files.set(link, { status: 200, bytes: TINY_PDF })
    const ops = opsFor(host)

    await expect(ops.printLabelByUrl(link)).rejects.toBeInstanceOf(PrinterNotReadyError)
    expect(host.count('fetch_label')).toBe(0)

    await ops.printLabelByUrl(link, { printerName: 'A', format, copies: 2 })
    expect(host.jobs).toEqual([{ command: 'print_bytes', printerName: 'A', format, copies: 2, data: Array.from(TINY_PDF) }])

    await expect(ops.printLabelByUrl('http://127.0.0.1:8787/labels/none.pdf', { printerName: 'A' })).rejects.toThrow(
      'Не удалось скачать этикетку: сервер ответил 404',
    )
    await expect(ops.printLabelByUrl('https://example.com/a.pdf', { printerName: 'A' })).rejects.toThrow(
      'Домен example.com не разрешен в приложении',
    )
    expect(host.jobs).toHaveLength(1)
  })

  it('the test page: a PDF URL for a viewer, and the print with printer and format or nulls', async () => {
    const host = new FakePrintHost([A])
    const ops = opsFor(host)
    const url = await ops.renderTestPageUrl(null)
    expect(url).toBe(`blob:test/application/pdf/${TINY_PDF.length}${VIEWER_FRAGMENT}`)
    expect(VIEWER_FRAGMENT).toBe('#toolbar=0&navpanes=0&scrollbar=0&view=Fit')
    const blob = ops.testPageBlob(url)!
    expect(blob.type).toBe('application/pdf')
    expect(new Uint8Array(await blob.arrayBuffer())).toEqual(TINY_PDF)
    ops.releaseTestPageUrl(url)
    ops.releaseTestPageUrl(url)
    expect(revoked).toEqual([`blob:test/application/pdf/${TINY_PDF.length}`])
    expect(ops.testPageBlob(url)).toBeUndefined()
    await ops.printTestPage()
    await ops.printTestPage({ printerName: 'A', format })
    expect(host.calls.filter((c) => c.cmd !== 'get_printers').map((c) => c.args)).toEqual([
      { format: null },
      { printerName: null, format: null },
      { printerName: 'A', format },
    ])
  })

  it('reads page sizes whatever the key order, and the engine report as text', async () => {
    const host = new FakePrintHost([{ name: 'T', size: { widthMm: 58, heightMm: 40 }, media: { option: 'MediaTracking', current: 'Continuous', gapChoice: 'Web' } }])
    const ops = opsFor(host)
    expect(await ops.getPageSize('T')).toEqual({
      current: '58 × 40 мм', widthMm: 58, heightMm: 40, supportsCustom: true,
      media: { option: 'MediaTracking', current: 'Continuous', gapChoice: 'Web' },
    })
    expect((await ops.setPageSize('T', 58, 40)).media?.current).toBe('Web')
    expect(await ops.checkPrintEngine()).toContain('Всё готово к печати.')
  })
})
