/**
 * This computer's printer in the account's registry: registering it,
 * re-sending the registration with the current format, taking records out
 * and reading the registry. The server is reached through `request`; the
 * settings hold our registration.
 */
import type { Payload } from '../../core/envelope'
import type { PrintSettings } from '../../core/settingsModel'
import { normalisePurpose, profileForPrinter, type PrintProfile } from '../printFormat'
import {
  CHOOSE_PRINTER_TEXT,
  forgetErrorText,
  NOT_FOUND_CODES,
  registerErrorText,
  registryErrorText,
} from './registrationTexts'
import { registrationFollowUp, type FollowUp, type SystemPrinter } from './followUp'
import { readRecord, readRegistration, type Registration, type RegistryRecord } from './registryView'

export const REGISTRY_TIMEOUT_MS = 15_000
export const COMMENT_MAX = 60
export const DEVICE_NAME_MAX = 100
const LOG = '[печать по команде]'

export interface RegistrationDeps {
  request(name: string, payload: Payload, timeoutMs: number): Promise<Payload>
  print(): PrintSettings
  save(change: Partial<PrintSettings>): Promise<void>
  deviceId(): Promise<string | null>
  computerName(): Promise<string | null>
  log(line: string): void
}

const str = (v: unknown): string => (typeof v === 'string' ? v : '')
const messageOf = (err: unknown): string => (err instanceof Error ? err.message : String(err))

/** The registration message of printer `name` with `comment` and the format it prints with. */
async function registerPayload(deps: RegistrationDeps, name: string, comment: string, profile: PrintProfile): Promise<Payload> {
  const payload: Payload = {
    name,
    comment: comment.trim().slice(0, COMMENT_MAX),
    format: { widthMm: profile.widthMm, heightMm: profile.heightMm, rotate: profile.rotation },
    purpose: normalisePurpose(profile.purpose),
  }
  const deviceId = await deps.deviceId().catch(() => null)
  if (deviceId) payload.deviceId = deviceId
  const computer = ((await deps.computerName().catch(() => null)) ?? '').trim().slice(0, DEVICE_NAME_MAX)
  if (computer !== '') payload.deviceName = computer
  return payload
}

export interface RegistryAnswer {
  printers: RegistryRecord[] | null
  error: string | null
}

export function createRegistration(deps: RegistrationDeps) {
  const registered = (): Registration | null => readRegistration(deps.print().registered)

  /** Registers the chosen printer; null on success, else the text to show. */
  async function registerCurrentPrinter(comment: string): Promise<string | null> {
    const print = deps.print()
    const name = print.printerName
    if (name === null || name.trim() === '') return CHOOSE_PRINTER_TEXT
    try {
      const answer = await deps.request('printerRegister', await registerPayload(deps, name, comment, profileForPrinter(print, name)), REGISTRY_TIMEOUT_MS)
      deps.log(`${LOG} printerRegister.result: ${JSON.stringify(answer)}`)
      const printerId = str(answer.printerId).trim()
      if (str(answer.error) !== '' || printerId === '') return registerErrorText(str(answer.error), str(answer.message))
      await deps.save({ registered: { printerId, name, comment: comment.trim() } })
      return null
    } catch (err) {
      return registerErrorText(messageOf(err), '')
    }
  }

  /**
   * Re-sends our registration with the format the registered printer prints with. It is always the
   * registered printer: choosing another one for printing here does not move the account's printer.
   */
  async function refreshRegisteredFormat(): Promise<void> {
    const ours = registered()
    if (!ours) return
    try {
      const payload = await registerPayload(deps, ours.name, ours.comment, profileForPrinter(deps.print(), ours.name))
      const answer = await deps.request('printerRegister', payload, REGISTRY_TIMEOUT_MS)
      const printerId = str(answer.printerId).trim()
      if (str(answer.error) !== '' || printerId === '') {
        deps.log(`${LOG} регистрация не обновилась: ${registerErrorText(str(answer.error), str(answer.message))}`)
        return
      }
      // A forget (or a new registration) while the answer travelled wins over it.
      if (registered()?.printerId !== ours.printerId) return
      if (printerId !== ours.printerId) await deps.save({ registered: { ...ours, printerId } })
    } catch (err) {
      deps.log(`${LOG} регистрация не обновилась: ${messageOf(err)}`)
    }
  }

  /**
   * Checks our registration against the system's printers: a printer renamed or reinstalled (or, with ours
   * gone, the printer chosen here) takes it over, and the server hears the new name at once. A registration
   * whose printer is gone with nothing to take over stays; the print settings say so.
   */
  async function followPrinters(printers: readonly SystemPrinter[]): Promise<FollowUp> {
    const ours = registered()
    const f = registrationFollowUp(ours, printers, deps.print().printerName)
    if (!ours || f.kind === 'keep') return f
    if (f.kind === 'gone') {
      deps.log(`${LOG} зарегистрированного принтера «${ours.name}» в системе нет — задания с других компьютеров печатать некому`)
      return f
    }
    deps.log(`${LOG} принтера «${ours.name}» в системе больше нет — регистрация переходит на «${f.name}»`)
    await deps.save({ registered: { ...ours, name: f.name } })
    await refreshRegisteredFormat()
    return f
  }

  async function forgetRegistryPrinter(printerId: string): Promise<string | null> {
    let code = ''
    let message = ''
    try {
      const answer = await deps.request('printerForget', { printerId }, REGISTRY_TIMEOUT_MS)
      code = str(answer.error)
      message = str(answer.message)
    } catch (err) {
      code = messageOf(err)
    }
    if ((code === '' || NOT_FOUND_CODES.has(code)) && registered()?.printerId === printerId) await deps.save({ registered: null })
    return code === '' ? null : forgetErrorText(code, message)
  }

  async function forgetCurrentPrinter(): Promise<string | null> {
    const ours = registered()
    return ours ? forgetRegistryPrinter(ours.printerId) : null
  }

  async function fetchRegistry(): Promise<RegistryAnswer> {
    try {
      const answer = await deps.request('printerList', {}, REGISTRY_TIMEOUT_MS)
      deps.log(`${LOG} printerList.result: ${JSON.stringify(answer)}`)
      if (str(answer.error) !== '') return { printers: null, error: registryErrorText(str(answer.error)) }
      const list = Array.isArray(answer.printers) ? answer.printers : []
      return { printers: list.map(readRecord).filter((r): r is RegistryRecord => r !== undefined), error: null }
    } catch (err) {
      return { printers: null, error: registryErrorText(messageOf(err)) }
    }
  }

  return { registered, registerCurrentPrinter, refreshRegisteredFormat, followPrinters, forgetRegistryPrinter, forgetCurrentPrinter, fetchRegistry }
}

export type RemoteRegistration = ReturnType<typeof createRegistration>
