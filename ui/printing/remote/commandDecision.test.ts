import { describe, expect, it } from 'vitest'
import { copiesOf, decide, readCommand, type DecisionContext } from './commandDecision'
import type { JournalEntry } from './jobJournal'

const OURS = { printerId: 'prn-1', name: 'raw', comment: 'у Иры' }
const DONE: JournalEntry = { ok: true, error: null, at: 1 }

describe('a print command from the server', () => {
  it.each([
    [3.7, 3],
    [0, 1],
    [-2, 1],
    [75, 50],
    ['3', 1],
    [Number.NaN, 1],
    [undefined, 1],
    [50, 50],
  ])('copies %s print %s', (copies, printed) => {
    expect(copiesOf(copies)).toBe(printed)
  })

  const base = { jobId: 'j-1', printerId: 'prn-1', documentId: 'd-1', labelUrl: '/labels/a.pdf', copies: 2 }
  const ctx = (over: Partial<DecisionContext> = {}): DecisionContext => ({ journaled: () => undefined, registered: OURS, inHost: true, ...over })

  it.each([
    ['no job number (blank after trimming)', { jobId: '  ' }, {}, { kind: 'refuse', code: 'no-job-id' }],
    ['a job in the journal', {}, { journaled: (id: string) => (id === 'j-1' ? DONE : undefined) }, { kind: 'repeat', entry: DONE }],
    [
      'another printer while we are registered',
      { printerId: 'prn-9' },
      {},
      { kind: 'refuse', code: 'other-printer', text: 'Задание адресовано принтеру prn-9, а на этом рабочем месте зарегистрирован prn-1 («raw»). Печатать не стали.' },
    ],
    ['another printer while we are not registered', { printerId: 'prn-9' }, { registered: null }, { kind: 'refuse', code: 'no-printer', text: 'На этом устройстве принтер для печати из кабинета не зарегистрирован.' }],
    ['not registered, outside the desktop host', {}, { registered: null, inHost: false }, { kind: 'refuse', code: 'not-available' }],
    ['no link', { labelUrl: ' ' }, {}, { kind: 'refuse', code: 'no-url', text: 'В команде печати нет ссылки на этикетку.' }],
    ['no printer id in the command', { printerId: '' }, {}, { kind: 'print', printerName: 'raw', copies: 2 }],
    ['a good command', {}, {}, { kind: 'print', printerName: 'raw', copies: 2 }],
  ])('%s', (_name, over, context, expected) => {
    expect(decide(readCommand({ ...base, ...over }), ctx(context))).toMatchObject(expected)
  })
})
