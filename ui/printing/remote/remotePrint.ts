/**
 * The remote print of this page, wired to the real surroundings: the server
 * channel, the settings, the host (printing, label download, its files) and
 * local storage. Screens and other features use what is exported here.
 */
import { writeAppLog } from '../../core/appLog'
import { errorText, invokePlugin, isDesktopHost } from '../../core/bridge'
import { getOrCreateDeviceId } from '../../core/deviceId'
import { createDurableCopy, type DurableCopy } from '../../core/durableCopy'
import { HostStore } from '../../core/hostStore'
import { downloadLabel, translateLabelError, validateLabelLink } from '../../core/labelFetch'
import { readLocal, readLocalText, writeLocal } from '../../core/localStore'
import { onChannelConnected, onChannelDisconnected, onPush, request, send as sendOnChannel, serverBaseUrl } from '../../core/session'
import { useSettingsStore } from '../../core/settings'
import { useSaveSettings } from '../../core/settings/useSaveSettings'
import type { PrintSettings } from '../../core/settingsModel'
import { labelFormatOf, printerFormat } from '../printFormat'
import type { LabelFormat } from '../printOps'
import { printOps } from '../printOps'
import { createJobJournal, JOURNAL_KEY, type Journal } from './jobJournal'
import { createPrintCommands, type PrintCommands } from './printCommands'
import { createRegistration, type RemoteRegistration } from './registration'
import { readRegistration } from './registryView'
import { requestRelay, wherePrint, type RelayLabel, type RelayOutcome, type UnfinishedRelay, type Where } from './relay'

export const JOURNAL_FILE = 'print-jobs.dat'
export const JOURNAL_FILE_KEY = 'jobs'
export const PRINT_COMMANDS = ['printLabel.push', 'printLabel'] as const

function logLine(line: string): void {
  console.info(line)
  writeAppLog(line)
}

function warnLine(line: string): void {
  console.warn(line)
  writeAppLog(line)
}

const isJournal = (v: unknown): v is Journal => typeof v === 'object' && v !== null && !Array.isArray(v)

let durable: DurableCopy | null = null

/** The journal's copy in a host file (desktop app only); started once, before the first command. */
function journalCopy(): DurableCopy | null {
  if (durable || !isDesktopHost()) return durable
  durable = createDurableCopy<Journal>({
    open: () => HostStore.load(JOURNAL_FILE),
    key: JOURNAL_FILE_KEY,
    readLocal: () => readLocal<unknown>(JOURNAL_KEY),
    writeLocal: (journal) => writeLocal(JOURNAL_KEY, journal),
    empty: {},
    accepts: isJournal,
    log: writeAppLog,
    texts: {
      notOpened: '[печать по команде] файл копии журнала не открылся:',
      notRead: '[печать по команде] копия журнала не прочитана:',
      notWritten: '[печать по команде] копия журнала не записана:',
    },
  })
  return durable
}

function printSettings(): PrintSettings {
  return useSettingsStore().print
}

async function savePrint(change: Partial<PrintSettings>): Promise<void> {
  await useSaveSettings()({ print: change })
}

let registration: RemoteRegistration | undefined

/** Registration, forget, refresh and the registry list of this page. */
export function remoteRegistration(): RemoteRegistration {
  registration ??= createRegistration({
    request: (name, payload, timeoutMs) => request(name, payload, { timeoutMs }),
    print: printSettings,
    save: savePrint,
    deviceId: () => getOrCreateDeviceId(),
    computerName: async () => (isDesktopHost() ? String(await invokePlugin<string>('os', 'hostname')) : null),
    log: logLine,
  })
  return registration
}

let commands: PrintCommands | undefined

function printCommands(): PrintCommands {
  commands ??= createPrintCommands({
    journal: createJobJournal({
      readText: () => readLocalText(JOURNAL_KEY) ?? null,
      writeValue: (journal) => writeLocal(JOURNAL_KEY, journal),
      persist: () => journalCopy()?.persist() ?? Promise.resolve(true),
      now: () => Date.now(),
      warn: (line, detail) => warnLine(`${line} ${detail}`),
    }),
    journalReady: () => journalCopy()?.ready ?? Promise.resolve(),
    registered: () => readRegistration(printSettings().registered),
    print: printSettings,
    inHost: isDesktopHost,
    ensurePrinterReady: (name) => printOps.ensurePrinterReady(name),
    resolveLink: (link) => validateLabelLink(new URL(link, `${serverBaseUrl()}/`).href).href,
    download: (link) => downloadLabel(link),
    downloadErrorText: (err) => translateLabelError(errorText(err)),
    printPdf: (bytes, options) => printOps.printPdfBytes(bytes, options),
    send: (name, payload) => {
      if (!sendOnChannel(name, payload)) warnLine(`[печать по команде] ${name} не отправлен: нет соединения с сервером`)
    },
    labelPrinted: async () => {
      if (!printSettings().labelsPrinted) await savePrint({ labelsPrinted: true })
    },
    log: logLine,
    warn: warnLine,
  })
  return commands
}

let stopListening: Array<() => void> = []

/** Subscribes to the print commands and re-sends our registration. */
export function listenPrintCommands(): void {
  stopPrintCommands()
  const handler = (p: Parameters<PrintCommands['handle']>[0]) => void printCommands().handle(p)
  stopListening = PRINT_COMMANDS.map((name) => onPush(name, handler))
  void followAndRefresh()
}

/** On every connection: our registration follows the system's printers, and the server hears it again. */
async function followAndRefresh(): Promise<void> {
  if (isDesktopHost() && currentRegistration()) {
    try {
      const f = await remoteRegistration().followPrinters(await printOps.listPrinters())
      // A move has re-sent the registration already.
      if (f.kind === 'move') return
    } catch (err) {
      warnLine(`[печать по команде] список принтеров не прочитан, регистрацию не проверили: ${errorText(err)}`)
    }
  }
  await remoteRegistration().refreshRegisteredFormat()
}

export function stopPrintCommands(): void {
  for (const stop of stopListening) stop()
  stopListening = []
}

/** Follows the channel: listening while connected. Returns the removal. */
export function installRemotePrint(): () => void {
  journalCopy()
  const offUp = onChannelConnected(listenPrintCommands)
  const offDown = onChannelDisconnected(stopPrintCommands)
  return () => {
    offUp()
    offDown()
    stopPrintCommands()
  }
}

/** This page's relay requests whose outcome is not known yet: asking again for one of them is the same job. */
const unfinishedRelays = new Map<string, UnfinishedRelay>()

/** Prints a label on the account's printer on another computer (see `requestRelay`). */
export function printByRelay(label: RelayLabel, show: (text: string) => void, later?: (outcome: RelayOutcome) => void): Promise<RelayOutcome> {
  return requestRelay(
    {
      request: (name, payload, options) => request(name, payload, options),
      onPush,
      failureText: (err) => translateLabelError(errorText(err)),
      unfinished: unfinishedRelays,
    },
    label,
    show,
    later,
  )
}

/** Our registration, or null. */
export function currentRegistration() {
  return readRegistration(printSettings().registered)
}

/**
 * Where a label that names a shop printer prints on this page (the marketplace screens ask): here, on the
 * other computer through `printByRelay`, or nowhere. The decision's console line is written here.
 */
export function whereToPrint(shop: { printerId: string | null; printerLabel: string | null; relayPossible: boolean }): Where {
  const { where, log } = wherePrint({
    shopPrinterId: shop.printerId,
    shopPrinterLabel: shop.printerLabel,
    registered: currentRegistration(),
    relayPossible: shop.relayPossible,
    inHost: isDesktopHost(),
  })
  if (log) logLine(log)
  return where
}

/** The format of a label printed here on `printerName` (null: the chosen printer): that printer's profile when it has one. */
export function formatForPrinter(printerName: string | null): LabelFormat {
  const print = printSettings()
  return printerName === null ? labelFormatOf(print) : printerFormat(print, printerName)
}
