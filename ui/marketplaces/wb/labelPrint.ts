/**
 * Printing one Wildberries label (task sticker, supply QR code, product
 * label): ask the server for the link, check it, choose the printer (the
 * shop's registered printer when it is this computer's, else the settings'
 * one) and its format, print through the print pipeline and remember that a
 * label was printed. Every failure comes back as a value the screen shows.
 */
import type { Payload } from '../../core/envelope'
import { isTimeout } from '../../core/requests'
import type { PrintSettings } from '../../core/settingsModel'
import { labelFormatOf, profileFor } from '../../printing/printFormat'
import type { LabelFormat, PrintOptions } from '../../printing/printOps'
import { cleanPayload } from '../payload'
import { isRefusal, NO_LABEL_LINK, NO_STICKER_LINK, RATE_LIMITED, refusalText, SERVER_SILENT } from './wbMessages'
import { waitSeconds, type WbTask } from './wbTask'

export type WbLabelKind = 'sticker' | 'supplyQr' | 'product'

export const LABEL_REQUESTS: Readonly<Record<WbLabelKind, string>> = {
  sticker: 'wbSticker',
  supplyQr: 'wbSupplyQr',
  product: 'wbProductLabel',
}

/** What the server needs to make a task's label. */
export function labelPayload(kind: WbLabelKind, t: WbTask): Payload {
  if (kind === 'sticker') return cleanPayload({ orderId: t.id, sellerId: t.sellerId }, ['sellerId'])
  if (kind === 'supplyQr') return cleanPayload({ supplyId: t.supplyId, sellerId: t.sellerId }, ['sellerId'])
  return cleanPayload({ article: t.article, barcode: t.barcode })
}

export interface LabelTarget {
  printerName: string | null
  format: LabelFormat
  /** a `printerId` that is not this computer's registration */
  unknownPrinterId?: string
}

function registration(value: unknown): { printerId: string; name: string } | undefined {
  if (typeof value !== 'object' || value === null) return undefined
  const r = value as Record<string, unknown>
  const printerId = typeof r.printerId === 'string' ? r.printerId.trim() : ''
  const name = typeof r.name === 'string' ? r.name.trim() : ''
  return printerId !== '' ? { printerId, name } : undefined
}

/**
 * The printer and format for a label answer naming `printerId`: this
 * computer's registered printer when the id is its registration's and that
 * names a printer, else the settings' printer. A printer other than the
 * settings' one prints with its saved profile when it has one.
 */
export function labelTarget(printerId: unknown, print: PrintSettings): LabelTarget {
  const id = typeof printerId === 'string' ? printerId.trim() : typeof printerId === 'number' ? String(printerId) : ''
  const reg = registration(print.registered)
  const registered = id !== '' && reg !== undefined && reg.printerId === id && reg.name !== '' ? reg.name : undefined
  const printerName = registered ?? print.printerName
  const profile = printerName !== null && printerName !== print.printerName ? profileFor(print, printerName) : undefined
  const format = profile
    ? { widthMm: profile.widthMm, heightMm: profile.heightMm, rotation: profile.rotation, fitMode: profile.fitMode, offsetXMm: profile.offsetXMm, offsetYMm: profile.offsetYMm }
    : labelFormatOf(print)
  const target: LabelTarget = { printerName, format }
  if (id !== '' && registered === undefined) target.unknownPrinterId = id
  return target
}

export function sentText(printerName: string | null, what: 'Этикетка' | 'Стикер' = 'Этикетка'): string {
  const verb = what === 'Этикетка' ? 'отправлена' : 'отправлен'
  return printerName ? `${what} ${verb} на принтер «${printerName}»` : `${what} ${verb} на принтер по умолчанию`
}

export interface LabelPrintDeps {
  ask(name: string, payload: Payload): Promise<Payload>
  /** throws the text for the picker when the link may not be fetched */
  checkLink(link: string): void
  print(link: string, options: PrintOptions): Promise<void>
  printSettings(): PrintSettings
  markPrinted(): Promise<void>
  warn(line: string): void
  /** the marketplace limited requests: no request for this many seconds */
  startWait(seconds: number): void
}

export type LabelOutcome = { ok: true; text: string } | { ok: false; error: Error }

/**
 * The whole road of one label; never throws. `what` names it in the texts: "Стикер" for the sticker the
 * picking screen prints for its document.
 */
export async function printWbLabel(kind: WbLabelKind, payload: Payload, deps: LabelPrintDeps, what: 'Этикетка' | 'Стикер' = 'Этикетка'): Promise<LabelOutcome> {
  let answer: Payload
  try {
    answer = await deps.ask(LABEL_REQUESTS[kind], payload)
  } catch (err) {
    return { ok: false, error: new Error(isTimeout(err) ? SERVER_SILENT : err instanceof Error ? err.message : String(err)) }
  }
  if (isRefusal(answer)) {
    if (answer.errorCode === RATE_LIMITED) deps.startWait(waitSeconds(answer.retryAfter))
    return { ok: false, error: new Error(refusalText(answer, 'label')) }
  }
  const link = typeof answer.labelUrl === 'string' ? answer.labelUrl.trim() : ''
  if (link === '') return { ok: false, error: new Error(what === 'Стикер' ? NO_STICKER_LINK : NO_LABEL_LINK) }
  try {
    deps.checkLink(link)
  } catch (err) {
    return { ok: false, error: err instanceof Error ? err : new Error(String(err)) }
  }
  const target = labelTarget(answer.printerId, deps.printSettings())
  if (target.unknownPrinterId !== undefined)
    deps.warn(`[печать] Wildberries: принтер ${target.unknownPrinterId} не зарегистрирован на этом компьютере — печатаем на принтере из настроек`)
  try {
    await deps.print(link, { printerName: target.printerName, format: target.format })
  } catch (err) {
    // The pipeline's errors (a PrinterNotReadyError among them) reach the screen as they are.
    return { ok: false, error: err instanceof Error ? err : new Error(String(err)) }
  }
  await deps.markPrinted()
  return { ok: true, text: sentText(target.printerName, what) }
}
