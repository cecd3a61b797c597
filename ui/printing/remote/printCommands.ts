/**
 * Print commands from the server (`printLabel.push`, `printLabel`): each is
 * decided, printed on our registered printer with the normal pipeline, and
 * answered with progress and a result. A job is marked as running before
 * anything else happens to it, so a copy of it that arrives meanwhile waits
 * for its result instead of printing a second label; a job is journaled as
 * printing before it goes to the printer, so a copy that arrives after the
 * app was cut off mid-print does not print it again either.
 */
import type { Payload } from '../../core/envelope'
import type { PrintSettings } from '../../core/settingsModel'
import { printerFormat } from '../printFormat'
import type { LabelFormat } from '../printOps'
import { decide, outcomeLine, readCommand, type PrintCommand } from './commandDecision'
import type { JobJournal, JournalEntry } from './jobJournal'
import type { Registration } from './registryView'

export const STAGE_NOTES = {
  accepted: 'Команда получена рабочим местом',
  downloaded: 'Этикетка получена, отправляем на принтер',
  spooled: 'Отправлено на принтер',
} as const
export type Stage = keyof typeof STAGE_NOTES

export const INTERRUPTED_TEXT =
  'Печать этого задания прервалась: приложение закрылось, пока этикетка уходила на принтер. Этикетка могла выйти — проверьте принтер, второй раз печатать не стали.'

export type FailureCode = 'print-failed' | 'download-failed' | 'no-url'

export interface JobResult {
  ok: boolean
  error: string | null
  errorCode: string | null
}

export interface PrintCommandDeps {
  journal: JobJournal
  /** resolves once the journal is what the last run left (its copy on disk read back) */
  journalReady(): Promise<unknown>
  registered(): Registration | null
  print(): PrintSettings
  inHost(): boolean
  ensurePrinterReady(printerName: string): Promise<void>
  /** the absolute, allowed link of a label; throws the text for the picker */
  resolveLink(link: string): string
  download(link: string): Promise<Uint8Array>
  /** the text of a failed download */
  downloadErrorText(err: unknown): string
  printPdf(bytes: Uint8Array, options: { printerName: string; format: LabelFormat; copies: number }): Promise<void>
  send(name: string, payload: Payload): void
  labelPrinted(): Promise<void>
  log(line: string): void
  warn(line: string): void
}

const messageOf = (err: unknown): string => (err instanceof Error ? err.message : typeof err === 'string' ? err : String(err))

/** The result a journaled job answers with again. */
export function journaledResult(entry: JournalEntry): JobResult {
  if (entry.printing) return { ok: false, error: INTERRUPTED_TEXT, errorCode: null }
  return { ok: entry.ok, error: entry.ok ? null : entry.error, errorCode: null }
}

export function createPrintCommands(deps: PrintCommandDeps) {
  /** Jobs of this run that have not answered yet. */
  const running = new Map<string, Promise<JobResult>>()

  const printerIdOf = (c: PrintCommand) => c.printerId || deps.registered()?.printerId || ''

  function progress(c: PrintCommand, stage: Stage): void {
    deps.send('printLabel.progress', { jobId: c.jobId, printerId: printerIdOf(c), documentId: c.documentId, stage, note: STAGE_NOTES[stage] })
  }

  function answer(c: PrintCommand, r: JobResult): void {
    deps.send('printLabel.result', { jobId: c.jobId, printerId: printerIdOf(c), documentId: c.documentId, ...r })
  }

  async function printJob(c: PrintCommand, printerName: string, copies: number): Promise<JobResult> {
    progress(c, 'accepted')
    // Nothing below reaches the printer until the journal says "printing": a failure there is not journaled.
    try {
      await deps.ensurePrinterReady(printerName)
    } catch (err) {
      return { ok: false, error: messageOf(err), errorCode: 'print-failed' }
    }
    let link: string
    try {
      link = deps.resolveLink(c.labelUrl)
    } catch (err) {
      return { ok: false, error: messageOf(err), errorCode: 'no-url' }
    }
    deps.log(`[печать по команде] скачиваем этикетку: ${link}`)
    let bytes: Uint8Array
    try {
      bytes = await deps.download(link)
    } catch (err) {
      return { ok: false, error: deps.downloadErrorText(err), errorCode: 'download-failed' }
    }
    progress(c, 'downloaded')
    progress(c, 'spooled')
    await deps.journal.record(c.jobId, { ok: false, error: null, printing: true })
    // The registered printer prints with its own profile, whatever printer is chosen for printing here.
    const format = printerFormat(deps.print(), printerName)
    try {
      await deps.printPdf(bytes, { printerName, format, copies })
    } catch (err) {
      const error = messageOf(err)
      await deps.journal.record(c.jobId, { ok: false, error })
      return { ok: false, error, errorCode: 'print-failed' }
    }
    await deps.journal.record(c.jobId, { ok: true, error: null })
    await deps.labelPrinted().catch((err) => deps.warn(`[печать по команде] отметка о печати не сохранилась: ${messageOf(err)}`))
    return { ok: true, error: null, errorCode: null }
  }

  /** Handles one command; resolves when it has been answered. */
  async function handle(payload: Payload): Promise<void> {
    deps.log(`[печать по команде] printLabel.push: ${JSON.stringify(payload)}`)
    const c = readCommand(payload)
    await deps.journalReady()
    // From here to `running.set` nothing waits, so a copy that arrives meanwhile finds the job running.
    const inFlight = c.jobId === '' ? undefined : running.get(c.jobId)
    if (inFlight) {
      deps.log(`[печать по команде] задание ${c.jobId} уже печатается — ждем его результат`)
      const r = await inFlight
      deps.log(outcomeLine(c.jobId, r.ok, r.error))
      return answer(c, r)
    }
    const d = decide(c, { journaled: (id) => deps.journal.get(id), registered: deps.registered(), inHost: deps.inHost() })
    if (d.kind === 'repeat') {
      const r = journaledResult(d.entry)
      deps.log(`[печать по команде] задание ${c.jobId} уже было: ${outcomeLine(c.jobId, r.ok, r.error)}`)
      return answer(c, r)
    }
    if (d.kind === 'refuse') {
      deps.warn(outcomeLine(c.jobId || '—', false, d.text))
      return answer(c, { ok: false, error: d.text, errorCode: d.code })
    }
    const job = printJob(c, d.printerName, d.copies).catch((err): JobResult => ({ ok: false, error: messageOf(err), errorCode: 'print-failed' }))
    running.set(c.jobId, job)
    try {
      const r = await job
      ;(r.ok ? deps.log : deps.warn)(outcomeLine(c.jobId, r.ok, r.error))
      answer(c, r)
    } finally {
      running.delete(c.jobId)
    }
  }

  return { handle, running: () => running.size }
}

export type PrintCommands = ReturnType<typeof createPrintCommands>
