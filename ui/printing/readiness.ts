/**
 * Is there a printer a job can go to? Pure: the printer list comes from the
 * caller. A job that is refused here never reaches the host, so the picker
 * sees what to fix instead of a job stuck in a queue nobody serves.
 */

/** One element of the host's `get_printers` answer. */
export interface Printer {
  name: string
  displayName: string
  isDefault: boolean
  isOnline: boolean
}

export type ReadinessCode = 'no-printers' | 'all-offline' | 'chosen-missing' | 'chosen-offline'

export type Readiness = { ok: true } | { ok: false; code: ReadinessCode; text: string }

/** Where the texts send the user, and the route of that place. */
export const PRINT_SETTINGS_PLACE = 'Настройки → Печать'
export const PRINT_SETTINGS_ROUTE = '/settings?section=print'

export const NO_PRINTERS_TEXT = `Принтер не настроен. Настройте его в ${PRINT_SETTINGS_PLACE}`

export function allOfflineText(names: readonly string[]): string {
  return `Все принтеры не в сети: ${names.map((n) => `«${n}»`).join(', ')}. Включите принтер и проверьте кабель или сеть`
}

export function chosenMissingText(name: string): string {
  return `Принтера «${name}» нет среди подключенных. Выберите принтер в ${PRINT_SETTINGS_PLACE}`
}

export function chosenOfflineText(name: string): string {
  return `Принтер «${name}» не в сети. Включите его или выберите другой в ${PRINT_SETTINGS_PLACE}`
}

export function defaultOfflineText(name: string): string {
  return `Принтер по умолчанию «${name}» не в сети. Включите его или выберите другой в ${PRINT_SETTINGS_PLACE}`
}

/** Checks `printers` for the chosen printer `chosen` (blank or null: the system default). */
export function checkPrinterReady(printers: readonly Printer[], chosen: string | null | undefined): Readiness {
  const name = (chosen ?? '').trim()
  if (printers.length === 0) return { ok: false, code: 'no-printers', text: NO_PRINTERS_TEXT }
  if (!printers.some((p) => p.isOnline))
    return { ok: false, code: 'all-offline', text: allOfflineText(printers.map((p) => p.name)) }
  if (name !== '') {
    const printer = printers.find((p) => p.name === name)
    if (!printer) return { ok: false, code: 'chosen-missing', text: chosenMissingText(name) }
    if (!printer.isOnline) return { ok: false, code: 'chosen-offline', text: chosenOfflineText(name) }
    return { ok: true }
  }
  const fallback = printers.find((p) => p.isDefault)
  if (fallback && !fallback.isOnline) return { ok: false, code: 'chosen-offline', text: defaultOfflineText(fallback.name) }
  return { ok: true }
}

/** A job refused before it reached the host; other screens offer the way to the print settings. */
export class PrinterNotReadyError extends Error {
  override readonly name = 'PrinterNotReadyError'
  constructor(
    readonly code: ReadinessCode,
    text: string,
  ) {
    super(text)
  }
}

/** True for a `PrinterNotReadyError`, also one that crossed a module copy (checked by name). */
export function isPrinterNotReadyError(err: unknown): err is PrinterNotReadyError {
  return err instanceof Error && err.name === 'PrinterNotReadyError'
}

/** Normalises one `get_printers` element; the host's key order is not relied on. */
export function readPrinter(value: unknown): Printer | undefined {
  if (typeof value !== 'object' || value === null) return undefined
  const v = value as Record<string, unknown>
  if (typeof v.name !== 'string') return undefined
  return {
    name: v.name,
    displayName: typeof v.displayName === 'string' && v.displayName !== '' ? v.displayName : v.name,
    isDefault: v.isDefault === true,
    isOnline: v.isOnline !== false,
  }
}
