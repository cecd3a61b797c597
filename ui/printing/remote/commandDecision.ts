/**
 * What to do with a print command that came from the server: repeat a
 * journaled result, refuse it, or print it on our registered printer. Pure.
 */
import type { Payload } from '../../core/envelope'
import type { JournalEntry } from './jobJournal'
import type { Registration } from './registryView'

export interface PrintCommand {
  jobId: string
  printerId: string
  documentId: string
  labelUrl: string
  copies: unknown
}

export type RefusalCode = 'no-job-id' | 'other-printer' | 'not-available' | 'no-printer' | 'no-url'

export type Decision =
  | { kind: 'repeat'; entry: JournalEntry }
  | { kind: 'refuse'; code: RefusalCode; text: string }
  | { kind: 'print'; printerName: string; copies: number }

export const MAX_COPIES = 50

const text = (v: unknown): string => (typeof v === 'string' ? v : typeof v === 'number' ? String(v) : '')

export function readCommand(p: Payload): PrintCommand {
  return {
    jobId: text(p.jobId).trim(),
    printerId: text(p.printerId).trim(),
    documentId: text(p.documentId),
    labelUrl: text(p.labelUrl).trim(),
    copies: p.copies,
  }
}

/** The integer part of `copies` within 1..50; 1 when it is not a finite number. */
export function copiesOf(value: unknown): number {
  if (typeof value !== 'number' || !Number.isFinite(value)) return 1
  return Math.min(MAX_COPIES, Math.max(1, Math.trunc(value)))
}

export interface DecisionContext {
  journaled(jobId: string): JournalEntry | undefined
  registered: Registration | null
  inHost: boolean
}

export function decide(c: PrintCommand, ctx: DecisionContext): Decision {
  if (c.jobId === '')
    return {
      kind: 'refuse',
      code: 'no-job-id',
      text: 'В команде печати нет номера задания (jobId) — без него повторную команду не отличить от новой, а печатать наклейку дважды нельзя.',
    }
  const entry = ctx.journaled(c.jobId)
  if (entry) return { kind: 'repeat', entry }
  const ours = ctx.registered
  if (ours && c.printerId !== '' && c.printerId !== ours.printerId)
    return {
      kind: 'refuse',
      code: 'other-printer',
      text: `Задание адресовано принтеру ${c.printerId}, а на этом рабочем месте зарегистрирован ${ours.printerId} («${ours.name}»). Печатать не стали.`,
    }
  if (!ctx.inHost)
    return { kind: 'refuse', code: 'not-available', text: 'На этом устройстве печать недоступна — это не десктопная версия приложения.' }
  if (!ours) return { kind: 'refuse', code: 'no-printer', text: 'На этом устройстве принтер для печати из кабинета не зарегистрирован.' }
  if (c.labelUrl === '') return { kind: 'refuse', code: 'no-url', text: 'В команде печати нет ссылки на этикетку.' }
  return { kind: 'print', printerName: ours.name, copies: copiesOf(c.copies) }
}

/** The log line of a job's outcome. */
export function outcomeLine(jobId: string, ok: boolean, error: string | null): string {
  return ok
    ? `[печать по команде] задание ${jobId}: напечатано`
    : `[печать по команде] задание ${jobId}: не напечатано — ${error ?? 'причина неизвестна'}`
}
