import { describe, expect, it } from 'vitest'
import type { CompletedMark } from '../documents/completedMarks'
import type { DocumentRecord, DocumentStage } from '../documents/records'
import type { RoleState, WorkRole } from './roleState'
import { cardStageLine, documentStage, inRoleTab, listHint, roleTabOf, roleTabs, stageAfterComplete, stagesForRole, type RoleTabKey } from './stages'

function record(stage: DocumentStage | undefined, o: Partial<DocumentRecord> = {}): DocumentRecord {
  return { id: 'd', type: 'shipment', number: '1', date: '', counterparty: '', warehouse: '', status: 'pending', totalPositions: 0, checkedPositions: 0, products: [], stage, ...o }
}
const role = (active: WorkRole, o: Partial<RoleState> = {}): RoleState => ({ enabled: true, roles: [active], activeRole: active, permissions: [], isAdmin: false, selfId: 'u', ...o })
const igor = { id: 'u-igor', name: 'Игорь Петров' }
const maria = { id: 'u-maria', name: 'Мария Козлова' }

describe('stages', () => {
  it('a record without a stage is checked when completed, else new', () => {
    expect([documentStage(record(undefined, { status: 'completed' })), documentStage(record(undefined)), documentStage(record('collecting'))]).toEqual([
      'checked',
      'new',
      'collecting',
    ])
  })

  it.each<[string, Partial<DocumentRecord>, string]>([
    ['new', { stage: 'new' }, 'Новый'],
    ['collecting with name and time', { stage: 'collecting', collector: igor, startedAt: new Date(2026, 2, 1, 14, 5).toISOString() }, 'Собирает Игорь Петров с 14:05'],
    ['collecting with name', { stage: 'collecting', collector: igor }, 'Собирает Игорь Петров'],
    ['collecting, nobody known', { stage: 'collecting' }, 'Уже собирают'],
    ['collected with name', { stage: 'collected', collector: igor }, 'Ждет проверки · собрал Игорь Петров'],
    ['collected', { stage: 'collected' }, 'Ждет проверки'],
    ['checked with the checker', { stage: 'checked', collector: igor, checker: maria }, 'Проверен · Мария Козлова'],
    ['checked', { stage: 'checked' }, 'Проверен'],
  ])('card line: %s', (_n, o, line) => {
    expect(cardStageLine(record(undefined, o))).toBe(line)
  })

  it('the stages asked for and the list hint follow the role', () => {
    expect(stagesForRole(role('checker'))).toEqual(['collected'])
    expect(stagesForRole(role('collector'))).toEqual(['new', 'collecting'])
    expect(stagesForRole(role('collector', { isAdmin: true }))).toEqual([])
    expect(stagesForRole(role('checker', { enabled: false }))).toEqual([])
    expect(listHint(role('checker'))).toBe('Вы видите собранные документы, ждущие проверки')
    expect(listHint(role('collector'))).toBe('Вы видите новые и свои документы в сборке')
    expect(listHint(role('collector', { enabled: false }))).toBe('')
  })

  it('tabs per role; an administrator gets "Все" first', () => {
    expect(roleTabs(role('checker')).map((t) => t.label)).toEqual(['На проверку', 'Проверены'])
    expect(roleTabs(role('collector')).map((t) => t.label)).toEqual(['Новые', 'В сборке', 'Собраны'])
    expect(roleTabs(role('checker', { isAdmin: true })).map((t) => t.key)).toEqual(['all', 'to-check', 'checked'])
  })

  const mark = (r?: WorkRole): CompletedMark => ({ at: 1, by: '', ...(r ? { role: r } : {}) })
  it.each<[WorkRole, DocumentStage, CompletedMark | undefined, RoleTabKey | null]>([
    ['collector', 'new', undefined, 'new'],
    ['collector', 'collecting', undefined, 'collecting'],
    ['collector', 'collected', undefined, 'collected'],
    ['collector', 'checked', undefined, 'collected'],
    ['collector', 'collecting', mark('collector'), 'collected'],
    ['collector', 'collecting', mark('checker'), 'collecting'],
    ['checker', 'collected', undefined, 'to-check'],
    ['checker', 'checked', undefined, 'checked'],
    ['checker', 'collected', mark('checker'), 'checked'],
    ['checker', 'new', undefined, null],
  ])('the %s sees a %s document (mark %o) under %s', (r, stage, m, tab) => {
    expect(roleTabOf(record(stage), m, r)).toBe(tab)
    if (tab) expect(inRoleTab(record(stage), m, r, tab)).toBe(true)
    expect(inRoleTab(record(stage), m, r, 'all')).toBe(true)
  })

  it.each<[unknown, WorkRole, DocumentStage]>([
    ['checked', 'collector', 'checked'],
    [undefined, 'checker', 'checked'],
    ['bogus', 'collector', 'collected'],
  ])('after completion: server %s, %s → %s', (server, r, stage) => {
    expect(stageAfterComplete(server, r)).toBe(stage)
  })
})
