/**
 * Completed-here marks ("zv_completed_docs"): a document picked on this device
 * stays visibly done until the server agrees. Marks older than 72 hours are
 * dropped on every read; a bare number reads as {at, by ""}.
 */
import { readLocal, writeLocal } from '../core/localStore'

export const COMPLETED_KEY = 'completed_docs'
export const MARK_MAX_AGE_MS = 72 * 60 * 60 * 1000

export interface CompletedMark {
  at: number
  by: string
  doc?: { type: string; number: string; counterparty: string; date: string; moment?: string; positions?: number }
  role?: 'collector' | 'checker'
}

export type CompletedMarks = Record<string, CompletedMark>

function normaliseMark(v: unknown): CompletedMark | undefined {
  if (typeof v === 'number' && Number.isFinite(v)) return { at: v, by: '' }
  if (typeof v !== 'object' || v === null) return undefined
  const m = v as Record<string, unknown>
  if (typeof m.at !== 'number' || !Number.isFinite(m.at)) return undefined
  const mark: CompletedMark = { at: m.at, by: typeof m.by === 'string' ? m.by : '' }
  if (typeof m.doc === 'object' && m.doc !== null) mark.doc = m.doc as CompletedMark['doc']
  if (m.role === 'collector' || m.role === 'checker') mark.role = m.role
  return mark
}

/** The live marks; expired ones are removed from storage as they are read. */
export function readCompletedMarks(now = Date.now()): CompletedMarks {
  const raw = readLocal<unknown>(COMPLETED_KEY)
  const out: CompletedMarks = {}
  let dropped = false
  if (typeof raw === 'object' && raw !== null && !Array.isArray(raw)) {
    for (const [id, v] of Object.entries(raw)) {
      const mark = normaliseMark(v)
      if (mark && now - mark.at <= MARK_MAX_AGE_MS) out[id] = mark
      else dropped = true
    }
  }
  if (dropped) writeLocal(COMPLETED_KEY, out)
  return out
}

export function markCompleted(id: string, mark: CompletedMark): boolean {
  const marks = readCompletedMarks(mark.at)
  marks[id] = mark
  return writeLocal(COMPLETED_KEY, marks)
}

export function unmarkCompleted(id: string): void {
  const marks = readCompletedMarks()
  if (!(id in marks)) return
  delete marks[id]
  writeLocal(COMPLETED_KEY, marks)
}
