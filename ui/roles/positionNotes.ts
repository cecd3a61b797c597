/**
 * The note under a position in the two-person check: for the checker what the
 * collector counted and why he was short; for the collector the checker's
 * dispute. Pure.
 */
import type { PositionRecord, Shortfall } from '../documents/records'
import type { WorkRole } from './roleState'
import { orderedOf } from './shortfalls'

export type NoteTone = 'bad' | 'info' | 'warn'

export interface PositionNote {
  text: string
  tone: NoteTone
}

/** "reason: comment", or whichever of the two there is. */
export function reasonWithComment(s: Pick<Shortfall, 'reason' | 'comment'> | undefined): string {
  if (!s) return ''
  return [s.reason.trim(), s.comment.trim()].filter(Boolean).join(': ')
}

type NotePosition = Pick<
  PositionRecord,
  'checked' | 'required' | 'orderedQuantity' | 'collectedQuantity' | 'collectorShortfall' | 'checkerShortfall' | 'checkedQuantity'
>

export function positionNote(p: NotePosition, role: WorkRole, checkMode: boolean): PositionNote | null {
  if (role === 'checker' && checkMode) {
    const c = p.collectedQuantity
    if (c === undefined) return null
    const ordered = orderedOf(p)
    const more = p.checked - c
    if (!(c < ordered || p.collectorShortfall !== undefined || more > 0)) return null
    let text = `Сборщик насчитал ${c}`
    if (more > 0) text += ` · нашли на ${more} больше, чем сборщик`
    const why = reasonWithComment(p.collectorShortfall)
    if (why) text += ` · причина: ${why}`
    const tone: NoteTone = p.checked > ordered ? 'bad' : more > 0 ? 'info' : c === 0 && ordered > 0 ? 'bad' : 'warn'
    return { text, tone }
  }
  const dispute = p.checkerShortfall
  if (role === 'collector' && dispute?.disputed) {
    const why = reasonWithComment(dispute)
    return { text: `Контролер не согласен: нашли ${p.checkedQuantity ?? 0}${why ? `, причина — ${why}` : ''}`, tone: 'warn' }
  }
  return null
}
