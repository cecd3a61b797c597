/**
 * Printing one Ozon label link: on this computer when the shop printer is our
 * registration (or none is named), on the shop printer of another computer
 * through the print relay, or nowhere with the reason. Failures come back as
 * texts; nothing here throws.
 */
import type { Payload } from '../../core/envelope'
import type { RelayLabel, RelayOutcome, Where } from '../../printing/remote/relay'
import type { LabelFormat, PrintOptions } from '../../printing/printOps'
import { isPrinterNotReadyError } from '../../printing/readiness'
import type { OzonPosting } from './ozonLogic'
import type { PrintResult } from './ozonCore'

export interface OzonPrintDeps {
  whereToPrint(shop: { printerId: string | null; printerLabel: string | null; relayPossible: boolean }): Where
  printByRelay(label: RelayLabel, show: (text: string) => void, later?: (outcome: RelayOutcome) => void): Promise<RelayOutcome>
  formatForPrinter(printerName: string | null): LabelFormat
  /** throws the text for the picker when the link may not be fetched */
  checkLink(link: string): void
  print(link: string, options: PrintOptions): Promise<void>
  markPrinted(): Promise<void>
  /** the desktop app (its print settings are where a printer is chosen) */
  inHost(): boolean
}

const text = (v: unknown) => (typeof v === 'string' ? v.trim() : typeof v === 'number' ? String(v) : '')
const message = (err: unknown) => (err instanceof Error ? err.message : String(err))

export const NO_PRINTER_DESKTOP = 'Принтер не настроен. Настройте его в Настройки → Печать'
export const NO_PRINTER_ELSEWHERE = 'Принтер не настроен: принтер магазина Ozon выбирает администратор в виджете МоегоСклада'

/** "Этикетка Ozon <n>" for the posting label, "Этикетка товара" for a product label (printed in copies). */
export function labelName(posting: OzonPosting, copies?: number): string {
  return copies === undefined ? `Этикетка Ozon ${posting.postingNumber}` : 'Этикетка товара'
}

export async function printOzonLink(
  deps: OzonPrintDeps,
  posting: OzonPosting,
  answer: Payload,
  copies: number | undefined,
  show: (text: string) => void,
  later?: (result: PrintResult) => void,
): Promise<PrintResult> {
  const printerId = text(answer.printerId) || posting.shopPrinterId || ''
  const printerLabel = text(answer.printerLabel) || posting.shopPrinterLabel || ''
  const documentId = posting.documentId ?? ''
  // The relay finds a posting label by its document, a product label also by its numeric sku.
  const sku = copies === undefined ? null : Number(text(answer.sku)) || null
  const relayPossible = documentId !== '' && (copies === undefined || sku !== null)
  const where = deps.whereToPrint({ printerId: printerId || null, printerLabel: printerLabel || null, relayPossible })
  if (where.kind === 'nowhere') {
    if (where.label !== null) return { ok: false, text: `Принтер магазина «${where.label}» стоит на другом компьютере, а отправить на него эту этикетку нельзя` }
    return deps.inHost() ? { ok: false, text: NO_PRINTER_DESKTOP, openSettings: true } : { ok: false, text: NO_PRINTER_ELSEWHERE }
  }
  if (where.kind === 'relay') {
    const result = (o: RelayOutcome): PrintResult => ({ ok: o.ok, text: o.text, openSettings: o.openSettings })
    const outcome = await deps.printByRelay({ documentId, printerLabel: printerLabel || null, copies, sku, command: 'printOzonLabel' }, show, (o) =>
      later?.(result(o)),
    )
    return result(outcome)
  }
  try {
    deps.checkLink(posting.labelUrl)
    const options: PrintOptions = { printerName: where.printerName, format: deps.formatForPrinter(where.printerName) }
    if (copies !== undefined && copies > 1) options.copies = copies
    await deps.print(posting.labelUrl, options)
  } catch (err) {
    return { ok: false, text: message(err), openSettings: isPrinterNotReadyError(err) }
  }
  await deps.markPrinted()
  const on = where.printerName ? `на принтер «${where.printerName}» этого компьютера` : 'на принтер по умолчанию этого компьютера'
  const sent = `${labelName(posting, copies)} отправлена ${on}`
  return { ok: true, text: where.note ? `${sent}. ${where.note}` : sent }
}
