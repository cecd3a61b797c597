import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest'
import { reactive } from 'vue'
import { createNamedTimers, createNotes, EDIT_NOTE_MS, FLASH_MS, MARK_NOTE_MS, type NotesState } from './noteTimers'

beforeEach(() => vi.useFakeTimers())
afterEach(() => vi.useRealTimers())

describe('named timers', () => {
  it('keeps one pending timer per name: a new one replaces it, clear and clearAll drop them', () => {
    const timers = createNamedTimers<'a' | 'b'>()
    const ran: string[] = []
    timers.later('a', 100, () => ran.push('a1'))
    timers.later('a', 100, () => ran.push('a2'))
    timers.later('b', 50, () => ran.push('b'))
    vi.advanceTimersByTime(100)
    expect(ran).toEqual(['b', 'a2'])
    expect(timers.pending('a')).toBe(false)

    timers.later('a', 10, () => ran.push('late a'))
    timers.later('b', 10, () => ran.push('late b'))
    timers.clear('a')
    expect([timers.pending('a'), timers.pending('b')]).toEqual([false, true])
    timers.clearAll()
    vi.advanceTimersByTime(1_000)
    expect(ran).toEqual(['b', 'a2'])
  })
})

describe('transient messages', () => {
  const blank = (): NotesState => reactive({ flash: null, markNote: '', editNote: '' })
  const read = {
    flash: (s: NotesState) => s.flash?.text ?? '',
    markNote: (s: NotesState) => s.markNote,
    editNote: (s: NotesState) => s.editNote,
  }

  it.each([
    ['flash', FLASH_MS],
    ['markNote', MARK_NOTE_MS],
    ['editNote', EDIT_NOTE_MS],
  ] as const)('%s is shown at once and goes %i ms after the last one shown', (kind, ms) => {
    const state = blank()
    const notes = createNotes(state)
    const show = (text: string) => (kind === 'flash' ? notes.flash(text, 'error') : notes[kind](text))
    show('first')
    expect(read[kind](state)).toBe('first')
    vi.advanceTimersByTime(ms - 1)
    show('second')
    vi.advanceTimersByTime(ms - 1)
    expect(read[kind](state)).toBe('second')
    vi.advanceTimersByTime(1)
    expect(read[kind](state)).toBe('')
  })

  it('the same scan message twice is a new message; each kind has its own timer', () => {
    const state = blank()
    const notes = createNotes(state)
    notes.flash('✅ Кружка (1/2)', 'success')
    const first = state.flash!.id
    notes.flash('✅ Кружка (1/2)', 'success')
    expect(state.flash).toMatchObject({ text: '✅ Кружка (1/2)', type: 'success' })
    expect(state.flash!.id).not.toBe(first)
    notes.markNote('марка')
    notes.editNote('правка')
    vi.advanceTimersByTime(FLASH_MS)
    expect(state).toMatchObject({ flash: null, markNote: 'марка', editNote: 'правка' })
  })

  it('clearMarkNote and clearAll take messages down and leave no timer to fire later', () => {
    const state = blank()
    const notes = createNotes(state)
    notes.markNote('марка')
    notes.clearMarkNote()
    expect(state.markNote).toBe('')
    notes.flash('a', 'error')
    notes.editNote('b')
    notes.clearAll()
    expect(state).toMatchObject({ flash: null, markNote: '', editNote: '' })
    expect(vi.getTimerCount()).toBe(0)
  })
})
