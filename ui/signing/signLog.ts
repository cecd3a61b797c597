/**
 * The sign log of this computer: "zv_sign_log" in local storage, newest entry
 * first, at most 200. An unreadable log reads as empty; a write that fails is
 * only reported on the console.
 */
import { readLocal, removeLocal, writeLocal } from '../core/localStore'
import { shortThumbprint } from './certificates'

export const SIGN_LOG_KEY = 'zv_sign_log'
export const SIGN_LOG_LIMIT = 200

export type SignEvent = 'auth' | 'document' | 'refused' | 'token' | 'stand' | 'consent' | 'revoke'

export interface SignLogEntry {
  /** ISO time */
  at: string
  event: SignEvent | string
  thumbprint?: string
  note?: string
}

const LABELS: Readonly<Record<SignEvent, string>> = {
  auth: 'Подпись для Честного Знака',
  document: 'Подпись документа',
  refused: 'Отказ в подписи',
  token: 'Токен Честного Знака получен',
  stand: 'Контур Честного Знака переключен',
  consent: 'Разрешение выдано',
  revoke: 'Разрешение отозвано',
}

/** The event's label; an unknown event shows as its own name. */
export function signEventLabel(event: string): string {
  return Object.hasOwn(LABELS, event) ? LABELS[event as SignEvent] : event
}

function readEntry(raw: unknown): SignLogEntry | undefined {
  if (typeof raw !== 'object' || raw === null) return undefined
  const r = raw as Record<string, unknown>
  if (typeof r.at !== 'string' || typeof r.event !== 'string') return undefined
  const entry: SignLogEntry = { at: r.at, event: r.event }
  if (typeof r.thumbprint === 'string') entry.thumbprint = r.thumbprint
  if (typeof r.note === 'string') entry.note = r.note
  return entry
}

export function readSignLog(): SignLogEntry[] {
  const raw = readLocal<unknown>(SIGN_LOG_KEY)
  if (!Array.isArray(raw)) return []
  return raw.map(readEntry).filter((e): e is SignLogEntry => e !== undefined)
}

/** The log with `entry` in front, cut to the limit. */
export function withEntry(log: readonly SignLogEntry[], entry: SignLogEntry): SignLogEntry[] {
  return [entry, ...log].slice(0, SIGN_LOG_LIMIT)
}

/** A new entry stamped now; absent fields stay absent. */
export function signLogEntry(
  event: SignEvent,
  fields: { thumbprint?: string | null; note?: string | null } = {},
  now = new Date(),
): SignLogEntry {
  const entry: SignLogEntry = { at: now.toISOString(), event }
  if (fields.thumbprint) entry.thumbprint = fields.thumbprint
  if (fields.note) entry.note = fields.note
  return entry
}

/** Adds an entry to local storage; answers the log as it is now. */
export function appendSignLog(entry: SignLogEntry): SignLogEntry[] {
  const log = withEntry(readSignLog(), entry)
  if (!writeLocal(SIGN_LOG_KEY, log)) console.error('[подпись] журнал подписей не записан:', entry.event)
  return log
}

export function clearSignLog(): void {
  removeLocal(SIGN_LOG_KEY)
}

/** The entry's time as a row shows it: day.month.year hours:minutes:seconds, local time. */
export function signLogTime(at: string): string {
  const d = new Date(at)
  if (Number.isNaN(d.getTime())) return at
  return d.toLocaleString('ru-RU', { day: '2-digit', month: '2-digit', year: 'numeric', hour: '2-digit', minute: '2-digit', second: '2-digit' })
}

/** The row's detail: the note, else the certificate by its shortened thumbprint, else nothing. */
export function signLogDetail(entry: SignLogEntry): string {
  if (entry.note) return entry.note
  if (entry.thumbprint) return `Сертификат ${shortThumbprint(entry.thumbprint)}`
  return ''
}
