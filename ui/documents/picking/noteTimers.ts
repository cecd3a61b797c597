/**
 * The picking screen's delayed work: named timers (one pending per name, a
 * new one replaces it) and the transient messages built on them — the scan
 * message, the marking note and the edit note, each cleared after its delay.
 * Showing a message is synchronous: the text is in the state when the call
 * returns.
 */
import type { OutcomeType } from './scanOutcome'

export const FLASH_MS = 2_000
export const MARK_NOTE_MS = 4_000
export const EDIT_NOTE_MS = 5_000

export interface NamedTimers<N extends string> {
  /** Runs `fn` after `ms`; a timer of the same name still pending is dropped. */
  later(name: N, ms: number, fn: () => void): void
  clear(name: N): void
  clearAll(): void
  pending(name: N): boolean
}

export function createNamedTimers<N extends string>(): NamedTimers<N> {
  const timers = new Map<N, ReturnType<typeof setTimeout>>()
  const clear = (name: N) => {
    const t = timers.get(name)
    if (t === undefined) return
    clearTimeout(t)
    timers.delete(name)
  }
  return {
    later(name, ms, fn) {
      clear(name)
      timers.set(
        name,
        setTimeout(() => {
          timers.delete(name)
          fn()
        }, ms),
      )
    },
    clear,
    clearAll() {
      for (const t of timers.values()) clearTimeout(t)
      timers.clear()
    },
    pending: (name) => timers.has(name),
  }
}

export interface Flash {
  id: number
  text: string
  type: OutcomeType
}

/** The part of the screen state the messages live in. */
export interface NotesState {
  flash: Flash | null
  markNote: string
  editNote: string
}

export interface Notes {
  /** the message where scan outcomes are shown, for 2 s */
  flash(text: string, type: OutcomeType): void
  /** a note about marking codes, for 4 s */
  markNote(text: string): void
  /** takes the marking note down at once */
  clearMarkNote(): void
  /** the result of a position edit, for 5 s */
  editNote(text: string): void
  /** every message down, no timer left */
  clearAll(): void
}

export function createNotes(state: NotesState, timers: NamedTimers<'flash' | 'markNote' | 'editNote'> = createNamedTimers()): Notes {
  // A new id per message, so the same text shown twice is seen as a new message.
  let serial = 0
  return {
    flash(text, type) {
      state.flash = { id: ++serial, text, type }
      timers.later('flash', FLASH_MS, () => (state.flash = null))
    },
    markNote(text) {
      state.markNote = text
      timers.later('markNote', MARK_NOTE_MS, () => (state.markNote = ''))
    },
    clearMarkNote() {
      timers.clear('markNote')
      state.markNote = ''
    },
    editNote(text) {
      state.editNote = text
      timers.later('editNote', EDIT_NOTE_MS, () => (state.editNote = ''))
    },
    clearAll() {
      timers.clearAll()
      state.flash = null
      state.markNote = ''
      state.editNote = ''
    },
  }
}
