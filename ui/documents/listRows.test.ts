import { describe, expect, it } from 'vitest'
import type { CompletedMarks } from './completedMarks'
import { GONE_TEXT, rowsForTab, sortDocuments } from './listRows'
import { completedText, dataTimeText, disputeLine, documentDateText } from './listTexts'
import { normaliseDocuments } from './records'

const now = new Date(2026, 11, 10, 15, 0).getTime()
const at = (day: number, h: number, m = 0) => new Date(2026, 11, day, h, m).getTime()

const docs = normaliseDocuments([
  { id: 'a', type: 'shipment', number: '9', moment: '2026-12-09 10:00:00', status: 'pending' },
  { id: 'b', type: 'shipment', number: '10', moment: '2026-12-10 08:00:00', status: 'in_progress' },
  { id: 'c', type: 'shipment', number: '100', moment: '2026-12-10 08:00:00', status: 'pending' },
  { id: 'd', type: 'shipment', number: '11', date: '2026-12-08 09:00', status: 'completed' },
  { id: 'e', type: 'shipment', number: '12', moment: '2026-12-07 09:00:00', status: 'completed' },
  { id: 'o', type: 'order', number: '1', status: 'pending' },
])

describe('order', () => {
  it.each([
    ['date-desc', ['c', 'b', 'a', 'd', 'e']],
    ['date-asc', ['e', 'd', 'a', 'b', 'c']],
    ['number-asc', ['a', 'b', 'd', 'e', 'c']],
    ['number-desc', ['c', 'e', 'd', 'b', 'a']],
  ] as const)('%s', (key, expected) => {
    expect(sortDocuments(docs.filter((d) => d.type === 'shipment'), key).map((d) => d.id)).toEqual(expected)
  })
})

describe('tabs', () => {
  const marks: CompletedMarks = {
    // completed here an hour ago (the server still lists it as pending)
    a: { at: at(10, 14), by: 'Анна' },
    // completed here yesterday, outside the 12 hours of pinning
    e: { at: at(9, 9), by: '' },
    // completed here, and the server no longer lists it
    g: { at: at(10, 13), by: 'Игорь', doc: { type: 'shipment', number: '55', counterparty: 'ИП Федоров', date: '2026-12-01 10:00' } },
    h: { at: at(10, 12), by: '', doc: { type: 'order', number: '56', counterparty: '', date: '' } },
  }
  const shown = docs.map((d) => (marks[d.id] ? { ...d, status: 'completed' as const } : d))
  const rows = (tab: Parameters<typeof rowsForTab>[3]) => rowsForTab(shown, marks, 'shipment', tab, 'date-desc', now)

  it('non-done tabs show open documents by status, with the ones completed here in the last 12 hours pinned on top', () => {
    expect(rows('all').map((r) => [r.doc.id, r.pinned])).toEqual([
      ['a', 'Собран 14:00'],
      ['c', undefined],
      ['b', undefined],
    ])
    expect(rows('pending').map((r) => r.doc.id)).toEqual(['a', 'c'])
    expect(rows('in_progress').map((r) => r.doc.id)).toEqual(['a', 'b'])
  })

  it('the done tab orders by completion time and adds documents the server no longer lists', () => {
    const done = rows('completed')
    expect(done.map((r) => [r.doc.id, r.gone ?? false])).toEqual([
      ['a', false],
      ['g', true],
      ['e', false],
      ['d', false],
    ])
    expect(done[1]!.doc).toMatchObject({ number: '55', status: 'completed', counterparty: 'ИП Федоров' })
    expect(GONE_TEXT).toBe('Проверка закрыта — в МоемСкладе документ больше не в работе')
  })
})

describe('card texts', () => {
  it.each([
    [at(10, 9, 5), 'Анна', '✓ Анна · сегодня в 09:05'],
    [at(9, 23, 59), '', '✓ вчера в 23:59'],
    [at(1, 7, 0), 'Игорь', '✓ Игорь · 01.12 в 07:00'],
  ])('completed at %s by %j', (when, by, text) => {
    expect(completedText(when, by, now)).toBe(text)
  })

  it('dates, the cache time and the dispute line', () => {
    expect(documentDateText('2026-12-09T08:30:00')).toBe('09.12.26 08:30')
    expect(documentDateText('2026-12-09')).toBe('09.12.26')
    expect(dataTimeText(at(10, 8, 7), now)).toBe('08:07')
    expect(dataTimeText(at(9, 8, 7), now)).toBe('09.12 08:07')
    expect(disputeLine([{ disputed: true, checker: { name: 'Мария' } }])).toBe('Контролер не согласен по 1 позиции · Мария')
    expect(disputeLine([{ disputed: true }, { disputed: true }, { disputed: false }])).toBe('Контролер не согласен по 2 позициям')
    expect(disputeLine(Array.from({ length: 11 }, () => ({ disputed: true })))).toBe('Контролер не согласен по 11 позициям')
  })
})
