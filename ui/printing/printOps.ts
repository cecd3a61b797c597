/**
 * Everything the UI asks of the host to print: the printer list (with a short
 * cache, so a burst of labels asks the spooler once), the readiness check in
 * front of every job, the jobs themselves with a time limit, the paper size,
 * the test page and the engine report. Outside the desktop host every
 * operation refuses with one text.
 */
import { errorText, invoke, isDesktopHost } from '../core/bridge'
import { writeAppLog } from '../core/appLog'
import { downloadLabel, NOT_IN_HOST, translateLabelError, withTimeout } from '../core/labelFetch'
import { checkPrinterReady, PrinterNotReadyError, readPrinter, type Printer } from './readiness'

/** The label format sent with every job (millimetres, degrees). */
export interface LabelFormat {
  widthMm: number
  heightMm: number
  rotation?: number | null
  orientation?: string | null
  fitMode?: string | null
  offsetXMm?: number | null
  offsetYMm?: number | null
}

export interface MediaTracking {
  option: string
  current: string
  gapChoice: string
}

/** What the driver holds for a printer (`get_page_size`, `set_page_size`). */
export interface PageSizeInfo {
  current: string
  widthMm: number | null
  heightMm: number | null
  supportsCustom: boolean
  media: MediaTracking | null
}

export interface PrintOptions {
  printerName?: string | null
  format?: LabelFormat | null
  copies?: number | null
}

export const PRINTER_CACHE_MS = 4000
export const PRINT_TIMEOUT_MS = 60_000
export const PRINT_TIMEOUT_TEXT =
  'Принтер не ответил за 60 секунд — проверьте, включен ли он, есть ли бумага и не висит ли очередь печати в Windows'
export const PRINTER_LIST_SKIPPED = '[печать] список принтеров не прочитался, проверку пропускаем:'
/** Appended to a test-page URL so an embedded viewer shows just the page. */
export const VIEWER_FRAGMENT = '#toolbar=0&navpanes=0&scrollbar=0&view=Fit'

/** What the operations need from the outside; tests pass their own. */
export interface PrintDeps {
  invoke: <T>(cmd: string, args?: Record<string, unknown>) => Promise<T>
  inHost: () => boolean
  now: () => number
  warn: (line: string, err: unknown) => void
  download: (link: string) => Promise<Uint8Array>
  objectUrl: (blob: Blob) => string
  revokeUrl: (url: string) => void
}

export const defaultPrintDeps: PrintDeps = {
  invoke,
  inHost: isDesktopHost,
  now: () => Date.now(),
  warn: (line, err) => {
    console.warn(line, err)
    writeAppLog(`${line} ${errorText(err)}`)
  },
  download: (link) => downloadLabel(link),
  objectUrl: (blob) => URL.createObjectURL(blob),
  revokeUrl: (url) => URL.revokeObjectURL(url),
}

/** A trimmed printer name, or null for the system default. */
function chosenName(name: string | null | undefined): string | null {
  const trimmed = (name ?? '').trim()
  return trimmed === '' ? null : trimmed
}

function normalisePageSize(value: unknown): PageSizeInfo {
  const v = (typeof value === 'object' && value !== null ? value : {}) as Record<string, unknown>
  const num = (x: unknown) => (typeof x === 'number' && Number.isFinite(x) ? x : null)
  const m = v.media as Record<string, unknown> | null | undefined
  const media =
    typeof m === 'object' && m !== null
      ? { option: String(m.option ?? ''), current: String(m.current ?? ''), gapChoice: String(m.gapChoice ?? '') }
      : null
  const widthMm = num(v.widthMm)
  const heightMm = num(v.heightMm)
  const known = widthMm !== null && heightMm !== null
  return {
    current: typeof v.current === 'string' ? v.current : '',
    widthMm: known ? widthMm : null,
    heightMm: known ? heightMm : null,
    supportsCustom: v.supportsCustom !== false,
    media,
  }
}

function rawBytes(reply: unknown): Uint8Array<ArrayBuffer> {
  if (reply instanceof ArrayBuffer) return new Uint8Array(reply)
  if (ArrayBuffer.isView(reply)) return new Uint8Array(reply.buffer.slice(reply.byteOffset, reply.byteOffset + reply.byteLength) as ArrayBuffer)
  if (Array.isArray(reply)) return Uint8Array.from(reply as number[])
  return new Uint8Array(0)
}

export type PrintOps = ReturnType<typeof createPrintOps>

export function createPrintOps(deps: PrintDeps = defaultPrintDeps) {
  let cache: { printers: Printer[]; at: number } | undefined
  // A read in flight is shared, so jobs started together ask the host once.
  let pending: Promise<Printer[]> | undefined
  // A read started before `clearPrinterCache` must not fill the cache after it.
  let generation = 0

  function requireHost(): void {
    if (!deps.inHost()) throw new Error(NOT_IN_HOST)
  }

  /** A host call whose failure is an Error carrying the host's text unchanged (the bridge rejects with strings). */
  async function call<T>(cmd: string, args?: Record<string, unknown>): Promise<T> {
    try {
      return await deps.invoke<T>(cmd, args)
    } catch (err) {
      throw err instanceof Error ? err : new Error(errorText(err))
    }
  }

  async function listPrinters(): Promise<Printer[]> {
    requireHost()
    const answer = await call<unknown>('get_printers')
    return (Array.isArray(answer) ? answer : []).map(readPrinter).filter((p): p is Printer => p !== undefined)
  }

  async function listPrintersCached(): Promise<Printer[]> {
    requireHost()
    if (cache && deps.now() - cache.at < PRINTER_CACHE_MS) return cache.printers
    if (!pending) {
      const started = generation
      const read = listPrinters().then((printers) => {
        if (started === generation) cache = { printers, at: deps.now() }
        return printers
      })
      const done = () => {
        if (pending === read) pending = undefined
      }
      read.then(done, done)
      pending = read
    }
    return pending
  }

  function clearPrinterCache(): void {
    generation++
    cache = undefined
    pending = undefined
  }

  /** Resolves when a job to `printerName` may start; throws `PrinterNotReadyError` otherwise. */
  async function ensurePrinterReady(printerName: string | null | undefined): Promise<void> {
    requireHost()
    let printers: Printer[]
    try {
      printers = await listPrintersCached()
    } catch (err) {
      deps.warn(PRINTER_LIST_SKIPPED, err)
      return
    }
    const ready = checkPrinterReady(printers, printerName)
    if (!ready.ok) throw new PrinterNotReadyError(ready.code, ready.text)
  }

  async function printPdfBytes(bytes: Uint8Array, options: PrintOptions = {}): Promise<void> {
    requireHost()
    const printerName = chosenName(options.printerName)
    await ensurePrinterReady(printerName)
    // The host job itself is not cancelled when the time runs out.
    await withTimeout(
      call<null>('print_bytes', {
        data: Array.from(bytes),
        printerName,
        format: options.format ?? null,
        copies: options.copies ?? 1,
      }),
      PRINT_TIMEOUT_MS,
      PRINT_TIMEOUT_TEXT,
    )
  }

  async function printLabelByUrl(link: string, options: PrintOptions = {}): Promise<void> {
    requireHost()
    await ensurePrinterReady(chosenName(options.printerName))
    let bytes: Uint8Array
    try {
      bytes = await deps.download(link)
    } catch (err) {
      throw new Error(translateLabelError(errorText(err)))
    }
    await printPdfBytes(bytes, options)
  }

  async function getPageSize(printerName: string): Promise<PageSizeInfo> {
    requireHost()
    return normalisePageSize(await call<unknown>('get_page_size', { printerName }))
  }

  async function setPageSize(printerName: string, widthMm: number, heightMm: number): Promise<PageSizeInfo> {
    requireHost()
    return normalisePageSize(await call<unknown>('set_page_size', { printerName, widthMm, heightMm }))
  }

  // The PDFs behind the test-page URLs still in use, so a preview can draw them itself.
  const testPages = new Map<string, Blob>()

  /** The test page as a PDF object URL for a viewer; free it with `releaseTestPageUrl`. */
  async function renderTestPageUrl(format: LabelFormat | null | undefined): Promise<string> {
    requireHost()
    const bytes = rawBytes(await call<unknown>('render_test_page', { format: format ?? null }))
    const blob = new Blob([bytes], { type: 'application/pdf' })
    const url = deps.objectUrl(blob) + VIEWER_FRAGMENT
    testPages.set(url, blob)
    return url
  }

  /** The PDF behind a URL of `renderTestPageUrl` that has not been released. */
  function testPageBlob(url: string): Blob | undefined {
    return testPages.get(url)
  }

  function releaseTestPageUrl(url: string): void {
    if (!testPages.delete(url)) return
    deps.revokeUrl(url.slice(0, url.length - VIEWER_FRAGMENT.length))
  }

  async function checkPrintEngine(): Promise<string> {
    requireHost()
    return String(await call<unknown>('check_print_engine'))
  }

  async function printTestPage(options: Omit<PrintOptions, 'copies'> = {}): Promise<void> {
    requireHost()
    const printerName = chosenName(options.printerName)
    await ensurePrinterReady(printerName)
    await call<null>('print_test_page', { printerName, format: options.format ?? null })
  }

  return {
    listPrinters,
    listPrintersCached,
    clearPrinterCache,
    checkPrinterReady,
    ensurePrinterReady,
    printPdfBytes,
    printLabelByUrl,
    getPageSize,
    setPageSize,
    renderTestPageUrl,
    testPageBlob,
    releaseTestPageUrl,
    checkPrintEngine,
    printTestPage,
  }
}

/** The page's one set of print operations (one printer cache for the page session). */
export const printOps = /*#__PURE__*/ createPrintOps()

export const {
  listPrinters,
  listPrintersCached,
  clearPrinterCache,
  ensurePrinterReady,
  printPdfBytes,
  printLabelByUrl,
  getPageSize,
  setPageSize,
  renderTestPageUrl,
  releaseTestPageUrl,
  checkPrintEngine,
  printTestPage,
} = printOps
export { checkPrinterReady, PrinterNotReadyError, isPrinterNotReadyError } from './readiness'
export type { Printer, Readiness } from './readiness'
