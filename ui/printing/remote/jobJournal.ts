/**
 * The journal of print jobs that came by command, so that a command the
 * server delivers again never prints its label twice. Kept in local storage
 * under "zv_print_jobs" (job number → {ok, error, at}); entries older than a
 * day are dropped whenever it is written.
 *
 * Only outcomes after which paper may have come out are written: a job that
 * is about to go to the printer (`printing`), then its result. Anything that
 * failed before the printer (no printer, a bad link, a download) is left out,
 * so the same job sent again is tried again. A job still marked `printing`
 * when it is read by a later run was cut off while printing.
 */
import { DAY_MS } from '../../core/localStore'

export const JOURNAL_KEY = 'zv_print_jobs'
export const JOURNAL_MAX_AGE_MS = DAY_MS
export const JOURNAL_CORRUPT = '[печать по команде] журнал заданий повреждён:'
export const JOURNAL_NOT_SAVED = '[печать по команде] не удалось сохранить журнал заданий:'

export interface JournalEntry {
  ok: boolean
  error: string | null
  /** ms since 1970 */
  at: number
  /** sent to the printer, no result yet */
  printing?: true
}

export type Journal = Record<string, JournalEntry>

export interface JournalDeps {
  /** the stored text, or null when there is none */
  readText(): string | null
  /** false when the storage refused it */
  writeValue(journal: Journal): boolean
  /** makes the written journal survive a hard kill; resolves once it does (or cannot) */
  persist(): Promise<unknown>
  now(): number
  warn(line: string, detail: string): void
}

function readEntry(value: unknown): JournalEntry | undefined {
  if (typeof value !== 'object' || value === null) return undefined
  const v = value as Record<string, unknown>
  if (typeof v.at !== 'number' || !Number.isFinite(v.at)) return undefined
  const entry: JournalEntry = { ok: v.ok === true, error: typeof v.error === 'string' ? v.error : null, at: v.at }
  if (v.printing === true) entry.printing = true
  return entry
}

/** A stored journal as an object; unreadable text counts as empty (with a warning). */
export function parseJournal(text: string | null, warn: (line: string, detail: string) => void = () => {}): Journal {
  if (text === null) return {}
  let value: unknown
  try {
    value = JSON.parse(text)
  } catch (err) {
    warn(JOURNAL_CORRUPT, err instanceof Error ? err.message : String(err))
    return {}
  }
  if (typeof value !== 'object' || value === null || Array.isArray(value)) {
    warn(JOURNAL_CORRUPT, 'не объект')
    return {}
  }
  const out: Journal = {}
  for (const [job, raw] of Object.entries(value)) {
    const entry = readEntry(raw)
    if (entry) out[job] = entry
  }
  return out
}

/** The journal without entries older than a day. */
export function pruneJournal(journal: Journal, now: number): Journal {
  return Object.fromEntries(Object.entries(journal).filter(([, e]) => now - e.at <= JOURNAL_MAX_AGE_MS))
}

export function createJobJournal(deps: JournalDeps) {
  const read = (): Journal => parseJournal(deps.readText(), deps.warn)

  function get(jobId: string): JournalEntry | undefined {
    const journal = read()
    return Object.hasOwn(journal, jobId) ? journal[jobId] : undefined
  }

  /** Writes one job's entry (dropping old ones) and waits until it is durable. */
  async function record(jobId: string, entry: Omit<JournalEntry, 'at'>): Promise<void> {
    const now = deps.now()
    const journal = pruneJournal(read(), now)
    journal[jobId] = { ...entry, at: now }
    if (!deps.writeValue(journal)) {
      deps.warn(JOURNAL_NOT_SAVED, 'хранилище переполнено или недоступно')
      return
    }
    await deps.persist()
  }

  return { get, record, read }
}

export type JobJournal = ReturnType<typeof createJobJournal>
