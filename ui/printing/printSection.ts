/**
 * The state and actions of the print section of the settings screen: the
 * printer list, the label format with per-printer profiles, the printer's own
 * paper size against the format, and the checks (test page, engine, a label
 * by link). Every format change is saved at once.
 */
import { computed, ref, watch } from 'vue'
import { errorText } from '../core/bridge'
import { useSettingsStore } from '../core/settings'
import { useSaveSettings } from '../core/settings/useSaveSettings'
import { comparePageSize } from './pageSizeCompare'
import {
  changeFormat,
  choosePrinter,
  labelFormatOf,
  nextRotation,
  offsetFromField,
  printerSubtitle,
  sizeFromField,
  type PrintProfile,
  type Purpose,
  type SizePreset,
} from './printFormat'
import { printOps as defaultOps, type PageSizeInfo, type PrintOps } from './printOps'
import { checkPrinterReady, PrinterNotReadyError, type Printer } from './readiness'
import { currentRegistration, remoteRegistration } from './remote/remotePrint'

export const SENT_TEXT = 'Отправлено на печать'

/** The outcome of a button: a success text, or the failure itself (its text, and whether it is a readiness refusal). */
export type Outcome = { ok: true; text: string } | { ok: false; error: unknown }

export interface PrinterEntry {
  key: string
  name: string | null
  title: string
  subtitle: string
}

export function usePrintSection(ops: PrintOps = defaultOps) {
  const settings = useSettingsStore()
  const save = useSaveSettings()
  const print = computed(() => settings.print)
  const format = computed(() => labelFormatOf(settings.print))

  // ---- printers

  const printers = ref<Printer[]>([])
  const listError = ref<string | null>(null)
  const listLoaded = ref(false)
  const listLoading = ref(false)

  async function refreshPrinters(): Promise<void> {
    ops.clearPrinterCache()
    listLoading.value = true
    try {
      printers.value = await ops.listPrintersCached()
      listError.value = null
    } catch (err) {
      printers.value = []
      listError.value = errorText(err)
    } finally {
      listLoaded.value = true
      listLoading.value = false
    }
  }

  // The system's default stands for a real printer only: with no list or an empty one nothing is offered.
  const entries = computed<PrinterEntry[]>(() =>
    printers.value.length === 0
      ? []
      : [
          { key: '', name: null, title: ' По умолчанию ', subtitle: 'Системный принтер' },
          ...printers.value.map((p) => ({ key: `=${p.name}`, name: p.name, title: p.displayName, subtitle: printerSubtitle(print.value, p) })),
        ],
  )

  /** The line under the list: a missing chosen printer or an empty list (a failed list shows its error instead). */
  const listNote = computed<string | null>(() => {
    if (!listLoaded.value || listError.value !== null) return null
    const chosen = print.value.printerName
    if (chosen !== null && !printers.value.some((p) => p.name === chosen)) return `Принтер «${chosen}» сейчас не найден в системе`
    if (printers.value.length === 0) return 'Принтеры не найдены. Подключите принтер и нажмите «Обновить список».'
    return null
  })

  /** The account's registry shows our printer's format: it follows every change. */
  function refreshRegistry(): void {
    if (currentRegistration()) void remoteRegistration().refreshRegisteredFormat()
  }

  async function selectPrinter(name: string | null): Promise<void> {
    await save({ print: choosePrinter(print.value, name) })
    refreshRegistry()
  }

  // ---- format

  async function setFormat(change: Partial<PrintProfile>): Promise<void> {
    await save({ print: changeFormat(print.value, change) })
    refreshRegistry()
  }
  const setPreset = (preset: SizePreset) => setFormat({ widthMm: preset.widthMm, heightMm: preset.heightMm })
  const setWidth = (raw: string) => setFormat({ widthMm: sizeFromField(raw, 'width') })
  const setHeight = (raw: string) => setFormat({ heightMm: sizeFromField(raw, 'height') })
  const rotate = () => setFormat({ rotation: nextRotation(print.value.rotation) })
  const setOffsetX = (raw: string) => setFormat({ offsetXMm: offsetFromField(raw) })
  const setOffsetY = (raw: string) => setFormat({ offsetYMm: offsetFromField(raw) })
  async function setPurpose(purpose: Purpose): Promise<void> {
    await setFormat({ purpose })
  }

  // ---- the printer's own paper size

  const pageSize = ref<PageSizeInfo | null>(null)
  const pageSizeError = ref<string | null>(null)
  const applied = ref(false)
  const applyError = ref<string | null>(null)
  const applying = ref(false)
  // Answers for a printer or size that is no longer current are dropped.
  let pageSizeTurn = 0

  async function readPageSize(): Promise<void> {
    const turn = ++pageSizeTurn
    applied.value = false
    applyError.value = null
    pageSizeError.value = null
    const name = print.value.printerName
    if (name === null) {
      pageSize.value = null
      return
    }
    try {
      const info = await ops.getPageSize(name)
      if (turn === pageSizeTurn) pageSize.value = info
    } catch (err) {
      if (turn !== pageSizeTurn) return
      pageSize.value = null
      pageSizeError.value = errorText(err)
    }
  }

  const verdict = computed(() =>
    pageSize.value && print.value.printerName !== null
      ? comparePageSize(pageSize.value, print.value.widthMm, print.value.heightMm, applied.value)
      : null,
  )

  async function applyPageSize(): Promise<void> {
    const name = print.value.printerName
    if (name === null || applying.value) return
    const turn = ++pageSizeTurn
    applying.value = true
    applyError.value = null
    try {
      const info = await ops.setPageSize(name, print.value.widthMm, print.value.heightMm)
      if (turn === pageSizeTurn) pageSize.value = info
    } catch (err) {
      if (turn === pageSizeTurn) applyError.value = errorText(err)
      try {
        const info = await ops.getPageSize(name)
        if (turn === pageSizeTurn) pageSize.value = info
      } catch {
        // The comparison keeps what was read before.
      }
    } finally {
      if (turn === pageSizeTurn) applied.value = true
      applying.value = false
    }
  }

  watch(
    () => [print.value.printerName, print.value.widthMm, print.value.heightMm],
    () => void readPageSize(),
  )

  // ---- checks

  const testPrint = ref<Outcome | null>(null)
  const engine = ref<Outcome | null>(null)
  const linkPrint = ref<Outcome | null>(null)
  const busy = ref({ testPrint: false, engine: false, linkPrint: false })

  async function run(which: 'testPrint' | 'engine' | 'linkPrint', target: { value: Outcome | null }, work: () => Promise<string>) {
    if (busy.value[which]) return
    busy.value[which] = true
    target.value = null
    try {
      target.value = { ok: true, text: await work() }
    } catch (err) {
      target.value = { ok: false, error: err }
    } finally {
      busy.value[which] = false
    }
  }

  const printTest = () =>
    run('testPrint', testPrint, async () => {
      await ops.printTestPage({ printerName: print.value.printerName, format: format.value })
      return SENT_TEXT
    })
  /**
   * Ready to print means a printer a job can go to and a working engine: the list is read afresh, and a
   * failing list (no print service) or a refusal of the readiness check fails the check with its text.
   */
  const checkEngine = () =>
    run('engine', engine, async () => {
      await refreshPrinters()
      if (listError.value !== null) throw new Error(listError.value)
      const ready = checkPrinterReady(printers.value, print.value.printerName)
      if (!ready.ok) throw new PrinterNotReadyError(ready.code, ready.text)
      return ops.checkPrintEngine()
    })
  const printByLink = (link: string) =>
    run('linkPrint', linkPrint, async () => {
      await ops.printLabelByUrl(link.trim(), { printerName: print.value.printerName, format: format.value })
      return SENT_TEXT
    })

  /** The screen opened: read the list and the printer's paper size. */
  async function open(): Promise<void> {
    await Promise.all([refreshPrinters(), readPageSize()])
  }

  return {
    ops,
    print,
    format,
    printers,
    entries,
    listError,
    listNote,
    listLoading,
    refreshPrinters,
    selectPrinter,
    setPreset,
    setWidth,
    setHeight,
    rotate,
    setOffsetX,
    setOffsetY,
    setPurpose,
    pageSize,
    pageSizeError,
    verdict,
    applyError,
    applying,
    applyPageSize,
    testPrint,
    engine,
    linkPrint,
    busy,
    printTest,
    checkEngine,
    printByLink,
    open,
  }
}
