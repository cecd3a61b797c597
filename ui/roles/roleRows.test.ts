import { describe, expect, it } from 'vitest'
import type { CompletedMarks } from '../documents/completedMarks'
import type { DocumentRecord, DocumentStage } from '../documents/records'
import { firstRoleTab, rowsForRoleTab } from './roleRows'
import type { RoleState } from './roleState'

const doc = (id: string, stage: DocumentStage, moment: string): DocumentRecord => ({
  id, type: 'shipment', number: id, date: moment, moment, counterparty: '', warehouse: '', status: 'pending', totalPositions: 1, checkedPositions: 0, products: [], stage,
})

describe('the rows of a role tab', () => {
  const docs = [doc('a', 'new', '2026-12-01'), doc('b', 'collecting', '2026-12-02'), doc('c', 'new', '2026-12-03'), doc('d', 'checked', '2026-12-04')]
  const marks: CompletedMarks = {
    b: { at: 10, by: '', role: 'collector' },
    gone: { at: 20, by: '', role: 'collector', doc: { type: 'shipment', number: '77', counterparty: '', date: '' } },
    other: { at: 30, by: '', role: 'checker', doc: { type: 'shipment', number: '78', counterparty: '', date: '' } },
  }
  it.each<[Parameters<typeof rowsForRoleTab>[3], Parameters<typeof rowsForRoleTab>[5], string[]]>([
    ['new', 'collector', ['c', 'a']],
    ['collecting', 'collector', []],
    ['collected', 'collector', ['gone', 'b', 'd']],
    ['all', 'collector', ['d', 'c', 'b', 'a']],
    ['to-check', 'checker', []],
    ['checked', 'checker', ['other', 'd']],
  ])('%s for the %s', (tab, role, ids) => {
    expect(rowsForRoleTab(docs, marks, 'shipment', tab, 'date-desc', role).map((r) => r.doc.id)).toEqual(ids)
  })

  it('the first tab: "На проверку" from the check tile, else the role\'s first', () => {
    const checker: RoleState = { enabled: true, roles: ['checker'], activeRole: 'checker', permissions: [], isAdmin: false, selfId: '' }
    expect(firstRoleTab(checker, 'check')).toBe('to-check')
    expect(firstRoleTab({ ...checker, isAdmin: true }, undefined)).toBe('all')
    expect(firstRoleTab({ ...checker, isAdmin: true }, 'check')).toBe('to-check')
    expect(firstRoleTab({ ...checker, activeRole: 'collector' }, 'check')).toBe('new')
  })
})
