import { describe, expect, it } from 'vitest'
import { createJobJournal, JOURNAL_CORRUPT, JOURNAL_NOT_SAVED, parseJournal, type Journal } from './jobJournal'

const NOW = Date.UTC(2026, 11, 10, 12, 0)

function journal(stored: string | null, opts: { refuse?: boolean } = {}) {
  const state = { text: stored, warnings: [] as string[], persisted: 0 }
  const j = createJobJournal({
    readText: () => state.text,
    writeValue: (value: Journal) => {
      if (opts.refuse) return false
      state.text = JSON.stringify(value)
      return true
    },
    persist: async () => void state.persisted++,
    now: () => NOW,
    warn: (line, detail) => state.warnings.push(`${line} ${detail}`),
  })
  return { j, state }
}

describe('the job journal', () => {
  it('an entry 25 hours old is dropped at the next write; one 23 hours old stays; each write is made durable', async () => {
    const stored = JSON.stringify({ old: { ok: true, error: null, at: NOW - 25 * 3_600_000 }, young: { ok: false, error: 'x', at: NOW - 23 * 3_600_000 } })
    const { j, state } = journal(stored)
    expect(j.get('old')).toMatchObject({ ok: true })
    await j.record('new', { ok: true, error: null })
    expect(Object.keys(j.read()).sort()).toEqual(['new', 'young'])
    expect(j.get('new')).toEqual({ ok: true, error: null, at: NOW })
    expect(state.persisted).toBe(1)
  })

  it.each([
    ['not JSON', '{oops'],
    ['not an object', '[1,2]'],
  ])('an unreadable journal (%s) counts as empty, with a warning', (_name, text) => {
    const warnings: string[] = []
    expect(parseJournal(text, (line) => warnings.push(line))).toEqual({})
    expect(warnings).toEqual([JOURNAL_CORRUPT])
  })

  it('a write the storage refuses is only logged', async () => {
    const { j, state } = journal(null, { refuse: true })
    await j.record('a', { ok: true, error: null })
    expect(state.warnings).toEqual([`${JOURNAL_NOT_SAVED} хранилище переполнено или недоступно`])
    expect(state.persisted).toBe(0)
  })
})
