/**
 * Changes to the positions by hand: the "+" and "−" steppers, a new quantity
 * and the deletion of a position (both sent to the server first, applied
 * only when it agreed). The rules themselves are in positionEdit; this keeps
 * the counted state in step with what they decide.
 */
import type { Payload } from '../../core/envelope'
import { RefusalError } from '../../core/requests'
import { positionStatus, type DocumentRecord, type PositionRecord } from '../records'
import { buildBarcodeIndex, type BarcodeIndex } from './barcodeIndex'
import type { ShortfallEntry } from './draft'
import { markIdentity } from './markingCode'
import type { Notes } from './noteTimers'
import { applyNewQuantity, confirmOverText, editErrorText, lineKeyMoves } from './positionEdit'
import { manualFeedback, type OutcomeSound, type OutcomeVibration } from './scanOutcome'

export const EDIT_TIMEOUT_MS = 15_000

export const EDITOR_TEXTS = {
  plusByMarks: 'Отсканируйте марку — количество считается по маркам',
} as const

export type QuantityResult = { ok: true } | { ok: false; confirm: string } | { ok: false; error: string }
export type DeleteResult = { ok: true } | { ok: false; error: string }

/** The session's counted state and the calls the editor makes on it. */
export interface EditorHost {
  /** the server's command: rejects with a RefusalError when it refuses */
  command(name: string, payload: Payload, timeoutMs: number): Promise<Payload>
  state: { documentId: string; type: string; focusedId: string | null }
  doc(): DocumentRecord | null
  /** the index of the positions shown (it changes as they change) */
  index(): BarcodeIndex<PositionRecord>
  /** line key → count */
  counts: Map<string, number>
  /** line key → scanned marking codes */
  marks: Record<string, string[]>
  shortfalls: Record<string, ShortfallEntry>
  /** mark identity → line key */
  markIndex: Map<string, string>
  setCount(p: PositionRecord, n: number): void
  removeMark(key: string, identity: string): void
  /** the counts put back on the positions shown */
  reapply(): void
  notes: Pick<Notes, 'flash' | 'editNote'>
  play(sound: OutcomeSound | null, vibrate: OutcomeVibration | null): void
  /** after every change: the draft written, auto-completion considered */
  changed(): void
}

export interface PositionEditor {
  increment(key: string): boolean
  decrement(key: string): boolean
  changeQuantity(key: string, quantity: number, reason?: string, confirmOver?: boolean): Promise<QuantityResult>
  deletePosition(key: string): Promise<DeleteResult>
}

export function createPositionEditor(host: EditorHost): PositionEditor {
  const { state, counts, marks, shortfalls, markIndex } = host
  const line = (key: string) => host.index().positions.get(key)
  const notFound = () => ({ ok: false as const, error: editErrorText(new RefusalError('not-found', { code: 'not-found' })) })
  const target = (p: PositionRecord) => ({ documentId: state.documentId, type: state.type, positionId: p.assortmentId })

  function afterManual(p: PositionRecord) {
    const f = manualFeedback(p.status)
    host.play(f.sound, f.vibrate)
    host.changed()
  }

  /**
   * The lines of a product after one of them goes: later lines move up a key,
   * and what was counted on them moves with them.
   */
  function rekey(list: PositionRecord[]) {
    const moves = lineKeyMoves(host.index().keys, buildBarcodeIndex(list).keys)
    if (moves.size === 0) return
    const moved = (key: string) => moves.get(key) ?? key
    const oldCounts = [...counts]
    counts.clear()
    for (const [key, n] of oldCounts) counts.set(moved(key), n)
    for (const record of [marks, shortfalls] as Array<Record<string, unknown>>) {
      const entries = Object.entries(record)
      for (const [key] of entries) delete record[key]
      for (const [key, v] of entries) record[moved(key)] = v
    }
    for (const [identity, key] of markIndex) markIndex.set(identity, moved(key))
    if (state.focusedId) state.focusedId = moved(state.focusedId)
  }

  return {
    increment(key) {
      const p = line(key)
      if (!p) return false
      // A position counted by marks grows only by scanning one.
      if ((marks[key]?.length ?? 0) > 0) {
        host.notes.flash(EDITOR_TEXTS.plusByMarks, 'warning')
        host.play(null, 'warning')
        return false
      }
      host.setCount(p, p.checked + 1)
      afterManual(p)
      return true
    },

    decrement(key) {
      const p = line(key)
      if (!p || p.checked <= 0) return false
      const list = marks[key]
      if (list?.length) host.removeMark(key, markIdentity(list[list.length - 1]!))
      host.setCount(p, Math.max(0, p.checked - 1))
      afterManual(p)
      return true
    },

    /** Sends a new quantity; a quantity above the order comes back as a question (`confirm`). */
    async changeQuantity(key, quantity, reason = '', confirmOver = false) {
      const p = line(key)
      if (!p) return notFound()
      const payload: Payload = { ...target(p), quantity }
      if (reason.trim()) payload.reason = reason.trim().slice(0, 200)
      if (confirmOver) payload.confirmOver = true
      try {
        await host.command('documentPositionQuantity', payload, EDIT_TIMEOUT_MS)
      } catch (err) {
        if (!confirmOver && err instanceof RefusalError && err.info.code === 'confirm-required')
          return { ok: false, confirm: confirmOverText(p.orderedQuantity ?? p.required, quantity) }
        return { ok: false, error: editErrorText(err) }
      }
      // The positions may have been replaced while the server answered.
      const current = line(key)
      if (!current) return { ok: true }
      const change = applyNewQuantity(current, marks[key] ?? [], quantity)
      for (const code of change.removedMarks) host.removeMark(key, markIdentity(code))
      // This line itself: another line of the same product keeps its own quantity.
      current.required = change.required
      current.status = positionStatus(change.checked, change.required)
      current.checked = change.checked
      if (change.orderedQuantity !== undefined) current.orderedQuantity = change.orderedQuantity
      if (change.checked > 0) counts.set(key, change.checked)
      else counts.delete(key)
      host.reapply()
      host.notes.editNote(change.note)
      host.changed()
      return { ok: true }
    },

    async deletePosition(key) {
      const p = line(key)
      if (!p) return notFound()
      const name = p.name
      try {
        await host.command('documentPositionDelete', target(p), EDIT_TIMEOUT_MS)
      } catch (err) {
        return { ok: false, error: editErrorText(err) }
      }
      const d = host.doc()
      const gone = line(key)
      for (const code of [...(marks[key] ?? [])]) host.removeMark(key, markIdentity(code))
      counts.delete(key)
      delete shortfalls[key]
      if (state.focusedId === key) state.focusedId = null
      if (d && gone) {
        const rest = d.products.filter((x) => x !== gone)
        rekey(rest)
        d.products = rest
        d.totalPositions = rest.length
      }
      host.reapply()
      host.notes.editNote(`Позиция «${name}» удалена`)
      host.changed()
      return { ok: true }
    },
  }
}
