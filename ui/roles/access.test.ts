import { describe, expect, it } from 'vitest'
import type { DocumentRecord, DocumentStage } from '../documents/records'
import { ACCESS_HINTS, canReopen, documentAccess, isCheckMode, type DocumentAccess } from './access'
import { DEFAULT_ROLES_SETTINGS, type RolesSettings } from './rolesSettings'
import type { RoleState, WorkRole } from './roleState'

const SELF = 'u-self'
type Own = 'own' | 'other' | 'unknown'

function doc(stage: DocumentStage | undefined, own: Own, status: DocumentRecord['status'] = 'pending') {
  const d: Pick<DocumentRecord, 'stage' | 'status' | 'collector' | 'checker' | 'startedAt'> = { stage, status }
  if (own !== 'unknown') d.collector = { id: own === 'own' ? SELF : 'u-other', name: own === 'own' ? 'Я' : 'Игорь Петров' }
  return d
}

function role(active: WorkRole, o: Partial<RoleState> = {}): RoleState {
  return { enabled: true, roles: [active], activeRole: active, permissions: [], isAdmin: false, selfId: SELF, ...o }
}

const settings = (o: Partial<RolesSettings> = {}): RolesSettings => ({ ...DEFAULT_ROLES_SETTINGS, ...o })

const NONE = { open: 'none', startFirst: false, canStart: false, canRelease: false, canReleaseOther: false } as const
const WORK = { open: 'work', startFirst: false, canStart: false, canRelease: false, canReleaseOther: false, hint: '' } as const

describe('the access table', () => {
  it.each<[string, WorkRole, DocumentStage, Own, Partial<RolesSettings>, Partial<RoleState>, DocumentAccess]>([
    // checker
    ['checker, new', 'checker', 'new', 'other', {}, {}, { ...NONE, hint: ACCESS_HINTS.notCollected }],
    ['checker, collecting', 'checker', 'collecting', 'other', {}, {}, { ...NONE, hint: ACCESS_HINTS.notCollected }],
    ['checker, checked', 'checker', 'checked', 'other', {}, {}, { ...NONE, hint: 'Проверка закончена' }],
    ['checker, collected by another', 'checker', 'collected', 'other', {}, {}, { ...NONE, open: 'check', hint: '' }],
    ['checker, collected, collector unknown', 'checker', 'collected', 'unknown', {}, {}, { ...NONE, open: 'check', hint: '' }],
    ['checker, collected by himself', 'checker', 'collected', 'own', {}, {}, { ...NONE, hint: 'Этот заказ собирали вы — проверить его должен другой сотрудник' }],
    ['checker, collected by himself, allowCheckOwn', 'checker', 'collected', 'own', { allowCheckOwn: true }, {}, { ...NONE, open: 'check', hint: '' }],
    ['checker, someone collecting, checkerCanRelease', 'checker', 'collecting', 'other', { checkerCanRelease: true }, {}, { ...NONE, canReleaseOther: true, hint: ACCESS_HINTS.notCollected }],
    ['checker, collecting, collector unknown, checkerCanRelease', 'checker', 'collecting', 'unknown', { checkerCanRelease: true }, {}, { ...NONE, hint: ACCESS_HINTS.notCollected }],
    // collector
    ['collector, new', 'collector', 'new', 'unknown', {}, {}, { ...WORK, canStart: true }],
    ['collector, new, requireStart', 'collector', 'new', 'unknown', { requireStart: true }, {}, { ...WORK, canStart: true, startFirst: true }],
    ['collector, new, releaseOnExit', 'collector', 'new', 'unknown', { releaseOnExit: true }, {}, { ...WORK, canStart: true, startFirst: true }],
    ['collector, collecting by another', 'collector', 'collecting', 'other', {}, {}, { ...NONE, hint: 'Собирает Игорь Петров' }],
    ['collector, collecting his own', 'collector', 'collecting', 'own', {}, {}, { ...WORK, canRelease: true }],
    ['collector, collecting, unknown collector', 'collector', 'collecting', 'unknown', {}, {}, { ...WORK, canRelease: true }],
    ['collector, his own, collectorCanRelease off', 'collector', 'collecting', 'own', { collectorCanRelease: false }, {}, WORK],
    ['collector, his own, releaseOnExit', 'collector', 'collecting', 'own', { releaseOnExit: true }, {}, WORK],
    ['collector, collected', 'collector', 'collected', 'own', {}, {}, { ...NONE, hint: 'Собран, ждет проверки' }],
    ['collector, checked', 'collector', 'checked', 'own', {}, {}, { ...NONE, hint: 'Проверка закончена' }],
    // administrator
    ['administrator collector, his own, collectorCanRelease off', 'collector', 'collecting', 'own', { collectorCanRelease: false }, { isAdmin: true }, { ...WORK, canRelease: true }],
    ['administrator collector, his own, releaseOnExit', 'collector', 'collecting', 'own', { releaseOnExit: true }, { isAdmin: true }, WORK],
    ['administrator collector, another collecting', 'collector', 'collecting', 'other', {}, { isAdmin: true }, { ...NONE, canReleaseOther: true, hint: 'Собирает Игорь Петров' }],
    ['administrator checker, another collecting', 'checker', 'collecting', 'other', {}, { isAdmin: true }, { ...NONE, canReleaseOther: true, hint: ACCESS_HINTS.notCollected }],
  ])('%s', (_name, active, stage, own, s, r, expected) => {
    expect(documentAccess(doc(stage, own), role(active, r), settings(s))).toEqual(expected)
  })

  it('without roles, or for a document without a stage, everything is open for work', () => {
    expect(documentAccess(doc('collected', 'own'), role('checker', { enabled: false }), settings())).toEqual(WORK)
    expect(documentAccess(doc(undefined, 'other', 'completed'), role('checker'), settings())).toEqual(WORK)
  })

  it('a collecting card names its collector and the start time', () => {
    const d = { ...doc('collecting', 'other'), startedAt: new Date(2026, 0, 5, 9, 7).toISOString() }
    expect(documentAccess(d, role('collector'), settings()).hint).toBe('Собирает Игорь Петров с 09:07')
    expect(documentAccess({ stage: 'collecting', status: 'pending', collector: { id: 'u-other', name: '' } }, role('collector'), settings()).hint).toBe('Уже собирают')
  })
})

describe('reopen and check mode', () => {
  it.each<[string, DocumentStage, WorkRole, Partial<RoleState>, Partial<RolesSettings>, boolean]>([
    ['administrator, collected', 'collected', 'collector', { isAdmin: true }, {}, true],
    ['administrator, checked', 'checked', 'collector', { isAdmin: true }, {}, true],
    ['administrator, collecting', 'collecting', 'collector', { isAdmin: true }, {}, false],
    ['administrator, hidden in the app', 'checked', 'collector', { isAdmin: true }, { reopenVisibleInApp: false }, false],
    ['checker without checkerCanReopen', 'collected', 'checker', {}, {}, false],
    ['checker with checkerCanReopen', 'collected', 'checker', {}, { checkerCanReopen: true }, true],
    ['collector with checkerCanReopen', 'collected', 'collector', {}, { checkerCanReopen: true }, false],
    ['roles off', 'collected', 'checker', { enabled: false, isAdmin: true }, {}, false],
  ])('reopen: %s', (_n, stage, active, r, s, expected) => {
    expect(canReopen({ stage, status: 'pending' }, role(active, r), settings(s))).toBe(expected)
  })

  it.each<[WorkRole, DocumentStage | undefined, boolean, boolean]>([
    ['checker', 'collected', true, true],
    ['checker', 'collected', false, false],
    ['checker', 'checked', true, false],
    ['checker', undefined, true, false],
    ['collector', 'collected', true, false],
  ])('check mode for %s on %s (roles %s): %s', (active, stage, enabled, expected) => {
    expect(isCheckMode({ stage, status: 'pending' }, role(active, { enabled }))).toBe(expected)
  })
})
