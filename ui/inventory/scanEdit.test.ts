import { describe, expect, it } from 'vitest'
import { changedFields, editQueued, readEdit } from './scanEdit'
import { makeScan } from './scanQueue'

describe('the unit edit form', () => {
  it.each([
    [{ note: '  вмятина ', qty: '2', cell: '' }, { ok: true, change: { note: 'вмятина', qty: 2, cellId: null } }],
    [{ note: '', qty: ' 1 ', cell: ' 17 ' }, { ok: true, change: { note: '', qty: 1, cellId: 17 } }],
    [{ note: '', qty: '0', cell: '' }, { ok: false, error: 'Количество — целое число от 1' }],
    [{ note: '', qty: '1.5', cell: '' }, { ok: false, error: 'Количество — целое число от 1' }],
    [{ note: '', qty: '', cell: '' }, { ok: false, error: 'Количество — целое число от 1' }],
    [{ note: '', qty: '99999999999999999999', cell: '' }, { ok: false, error: 'Количество — целое число от 1' }],
    [{ note: '', qty: '1', cell: 'A-1' }, { ok: false, error: 'Ячейка — номер ячейки или пусто' }],
    [{ note: '', qty: '1', cell: '0' }, { ok: false, error: 'Ячейка — номер ячейки или пусто' }],
    [{ note: 'x'.repeat(1001), qty: '1', cell: '' }, { ok: false, error: 'Заметка длиннее 1000 символов' }],
  ])('%j → %j', (form, expected) => {
    expect(readEdit(form)).toEqual(expected)
  })

  it.each([
    [{ note: 'a', qty: 1, cellId: null }, { note: 'a', qty: 1, cellId: null }, {}],
    [{ note: 'a', qty: 1, cellId: null }, { note: 'b', qty: 3, cellId: 4 }, { note: 'b', qty: 3, cellId: 4 }],
    [{ note: 'a', qty: 2, cellId: 4 }, { note: 'a', qty: 2, cellId: null }, { cellId: null }],
  ])('only the changed fields are sent: %j → %j', (now, next, sent) => {
    expect(changedFields(now, next)).toEqual(sent)
  })

  it('a queued scan is changed in place; one no longer queued answers null', () => {
    const ctx = { sessionOpen: true, userId: 'u', now: new Date(0), uid: (() => { let n = 0; return () => `u${++n}` })() }
    const queue = ['A', 'B'].map((code) => { const r = makeScan({ code }, ctx); if (!r.ok) throw new Error(r.error); return r.scan })
    const next = editQueued(queue, 'u2', { note: 'n', qty: 3 })!
    expect(next.map((q) => [q.code, q.note, q.qty])).toEqual([['A', '', 1], ['B', 'n', 3]])
    expect(editQueued(queue, 'gone', { qty: 2 })).toBeNull()
  })
})
