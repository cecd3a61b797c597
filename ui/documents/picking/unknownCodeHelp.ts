/**
 * Help after a code that is not in the document: is it a product at all?
 * First the device's own copy of the product reference, at once and without
 * a connection; then `barcodeCheck` on the server — once per code, at most 30 codes per
 * document, never while offline, and never again in this run of the
 * application once the server says the reference is off or rate-limited.
 */
import type { LocalReference } from '../../reference/localReference'
import { parseMarkingCode } from './markingCode'

export const ASK_LIMIT = 30
export const BARCODE_CHECK_TIMEOUT_MS = 10_000

export const HELP_TEXTS = {
  unnamed: 'товар без названия',
  failed: 'Код проверить не удалось — справочник не ответил',
  notFound: 'В номенклатуре код не найден. Попробуйте найти на товаре другой код',
} as const

/** "Нет в документе, но в номенклатуре есть: <name> (<article or code>)"; the bracket only when there is one. */
export function foundText(name: string, detail: string | undefined): string {
  const shown = name.trim() || HELP_TEXTS.unnamed
  const d = detail?.trim()
  return `Нет в документе, но в номенклатуре есть: ${shown}${d ? ` (${d})` : ''}`
}

/** The code the reference is asked about: the GTIN of a marking code, else the code trimmed. */
export function lookupCodeFor(code: string): string {
  return parseMarkingCode(code)?.gtin ?? code.trim()
}

// Switched off by the server's answer until the application restarts.
let askingOff = false

/** For tests: a fresh run of the application. */
export function resetAskingSwitch(): void {
  askingOff = false
}

export function isAskingOff(): boolean {
  return askingOff
}

export interface UnknownCodeHelpOptions {
  /** `barcodeCheck` {barcode}: the answer's payload; rejects on time-out or without a channel */
  ask(barcode: string): Promise<Record<string, unknown>>
  connected(): boolean
  /** the scan generation now: an answer for an older scan is not shown */
  generation(): number
  /** shows a note as an error message for 2 s, without a sound */
  show(message: string): void
  /** the device's copy of the product reference, asked first */
  local?: LocalReference
}

export interface UnknownCodeHelp {
  /** Runs the help for a not-found scan of generation `gen`. */
  run(code: string, gen: number): Promise<void>
  /** codes already sent to the server for this document */
  readonly asked: ReadonlySet<string>
  /** forgets the asked codes (a document is opened) */
  reset(): void
}

export function createUnknownCodeHelp(o: UnknownCodeHelpOptions): UnknownCodeHelp {
  const asked = new Set<string>()
  return {
    asked,
    reset: () => asked.clear(),
    async run(code, gen) {
      const lookup = lookupCodeFor(code)
      if (!lookup) return
      if (o.local) {
        const hit = await o.local.lookup(lookup).catch(() => null)
        if (hit) {
          if (o.generation() === gen) o.show(foundText(hit.name, hit.article || hit.code))
          return
        }
      }
      if (asked.has(lookup) || asked.size >= ASK_LIMIT || askingOff || !o.connected()) return
      asked.add(lookup)
      let answer: Record<string, unknown>
      try {
        answer = await o.ask(lookup)
      } catch {
        return // a failed question shows nothing
      }
      const errorCode = typeof answer.errorCode === 'string' ? answer.errorCode : ''
      if (errorCode === 'assortment-off' || errorCode === 'ms-rate-limited') {
        askingOff = true
        return
      }
      if (o.generation() !== gen) return
      if (errorCode || (typeof answer.error === 'string' && answer.error !== '') || answer.error === true) {
        o.show(HELP_TEXTS.failed)
      } else if (answer.found === true) {
        o.show(foundText(typeof answer.name === 'string' ? answer.name : '', typeof answer.article === 'string' ? answer.article : undefined))
      } else {
        o.show(HELP_TEXTS.notFound)
      }
    },
  }
}
