/**
 * What the Ozon store reaches outside itself: the server channel (with each
 * request's time limit), the clock, and the print road of a label link (the
 * print pipeline, the shop printer's relay). Tests replace parts through
 * `useOzonDeps`.
 */
import { errorText, isDesktopHost } from '../../core/bridge'
import type { Payload } from '../../core/envelope'
import { translateLabelError, validateLabelLink } from '../../core/labelFetch'
import { serverBaseUrl } from '../../core/session'
import { useSettingsStore } from '../../core/settings'
import { printOps } from '../../printing/printOps'
import { formatForPrinter, printByRelay, whereToPrint } from '../../printing/remote/remotePrint'
import { marketplaceRequest } from '../channel'
import type { PrintResult } from './ozonCore'
import type { OzonPosting } from './ozonLogic'
import { printOzonLink, type OzonPrintDeps } from './ozonPrint'

export const OZON_TIMEOUTS_MS: Readonly<Record<string, number>> = {
  ozonPostings: 30_000,
  ozonShip: 45_000,
  ozonLabel: 30_000,
  ozonProductLabel: 30_000,
  ozonCredentialsList: 20_000,
  ozonCredentialsSave: 45_000,
  ozonCredentialsCheck: 45_000,
  ozonCredentialsDelete: 20_000,
}

export interface OzonStoreDeps {
  ask(name: string, payload: Payload): Promise<Payload>
  sleep(seconds: number): Promise<void>
  now(): number
  failureText(err: unknown): string
  print(
    posting: OzonPosting,
    answer: Payload,
    copies: number | undefined,
    show: (text: string) => void,
    later?: (result: PrintResult) => void,
  ): Promise<PrintResult>
}

/** A label link as the print pipeline fetches it: relative links are the service host's. */
const absolute = (link: string) => new URL(link, `${serverBaseUrl()}/`).href

function printDeps(): OzonPrintDeps {
  const settings = useSettingsStore()
  return {
    whereToPrint,
    printByRelay,
    formatForPrinter,
    checkLink: (link) => void validateLabelLink(absolute(link)),
    print: (link, options) => printOps.printLabelByUrl(absolute(link), options),
    markPrinted: async () => {
      if (settings.print.labelsPrinted) return
      settings.applySettings({ print: { labelsPrinted: true } })
      await settings.saveDeviceSettings()
    },
    inHost: isDesktopHost,
  }
}

export const ask = (name: string, payload: Payload) => marketplaceRequest(name, payload, OZON_TIMEOUTS_MS[name])

const realDeps: OzonStoreDeps = {
  ask,
  sleep: (s) => new Promise((resolve) => setTimeout(resolve, s * 1000)),
  now: () => Date.now(),
  failureText: (err) => translateLabelError(errorText(err)),
  print: (posting, answer, copies, show, later) => printOzonLink(printDeps(), posting, answer, copies, show, later),
}

let overrides: Partial<OzonStoreDeps> = {}

/** Tests (and nothing else) replace parts; no argument restores them. */
export function useOzonDeps(patch: Partial<OzonStoreDeps> = {}): void {
  overrides = patch
}

export function ozonDeps(): OzonStoreDeps {
  return { ...realDeps, ...overrides }
}
