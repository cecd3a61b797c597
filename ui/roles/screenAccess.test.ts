import { describe, expect, it } from 'vitest'
import type { DocumentRecord } from '../documents/records'
import { ACCESS_HINTS } from './access'
import { DEFAULT_ROLES_SETTINGS, type RolesSettings } from './rolesSettings'
import type { RoleState, WorkRole } from './roleState'
import { SCREEN_TEXTS, screenAccess, stageFromDetails, takenOverText, type ScreenAccess } from './screenAccess'
import { normaliseStageDetails } from './stageDetails'

const SELF = { id: 'u-self', name: 'Анна Смирнова' }
const startedAt = new Date(2026, 11, 10, 9, 5).toISOString()

function role(active: WorkRole, o: Partial<RoleState> = {}): RoleState {
  return { enabled: true, roles: [active], activeRole: active, permissions: [], isAdmin: false, selfId: SELF.id, ...o }
}

const settings = (o: Partial<RolesSettings> = {}): RolesSettings => ({ ...DEFAULT_ROLES_SETTINGS, ...o })
const OPEN: ScreenAccess = { readOnly: false, reason: '', canTakeOver: false, collectorName: '' }
const TAKEN = 'Документ уже собирает Игорь Петров с 09:05. Возьмите другой или попросите его отпустить.'

/** The screen of a document opened by address alone: the stage comes from `documentStageGet`. */
function byAddress(answer: Record<string, unknown>): Pick<DocumentRecord, 'stage' | 'status' | 'collector' | 'checker' | 'startedAt'> {
  return { status: 'pending', ...stageFromDetails(normaliseStageDetails(answer), SELF) }
}

describe('access of a document opened by address', () => {
  it.each<[string, Record<string, unknown>, RoleState, Partial<RolesSettings>, ScreenAccess]>([
    ['new, a collector', { stage: 'new' }, role('collector'), {}, OPEN],
    [
      'collected by another, a collector is told it waits for the check',
      { stage: 'collected', collector: 'Игорь Петров', collectorId: 'u-igor' },
      role('collector'),
      {},
      { ...OPEN, readOnly: true, reason: ACCESS_HINTS.waitsForCheck },
    ],
    [
      'collecting by another (by id), a collector',
      { stage: 'collecting', collector: 'Игорь Петров', collectorId: 'u-igor', startedAt },
      role('collector'),
      {},
      { readOnly: true, reason: TAKEN, canTakeOver: false, collectorName: 'Игорь Петров' },
    ],
    [
      'collecting by another named without an id',
      { stage: 'collecting', collector: 'Игорь Петров', startedAt },
      role('collector'),
      {},
      { readOnly: true, reason: TAKEN, canTakeOver: false, collectorName: 'Игорь Петров' },
    ],
    ['collecting by himself, named without an id', { stage: 'collecting', collector: SELF.name, startedAt }, role('collector'), {}, OPEN],
    ['collecting by himself (by id)', { stage: 'collecting', collector: SELF.name, collectorId: SELF.id }, role('collector'), {}, OPEN],
    [
      'collecting by another, an administrator may take it over',
      { stage: 'collecting', collector: 'Игорь Петров', collectorId: 'u-igor', startedAt },
      role('collector', { isAdmin: true, roles: ['collector', 'checker'] }),
      {},
      { readOnly: true, reason: TAKEN, canTakeOver: true, collectorName: 'Игорь Петров' },
    ],
    [
      'collecting by another, an administrator checking takes nothing over',
      { stage: 'collecting', collector: 'Игорь Петров', collectorId: 'u-igor' },
      role('checker', { isAdmin: true }),
      {},
      { readOnly: true, reason: ACCESS_HINTS.notCollected, canTakeOver: false, collectorName: 'Игорь Петров' },
    ],
    ['collected, a checker', { stage: 'collected', collector: 'Игорь Петров', collectorId: 'u-igor' }, role('checker'), {}, OPEN],
    [
      'collected by the checker himself',
      { stage: 'collected', collector: SELF.name, collectorId: SELF.id },
      role('checker'),
      {},
      { ...OPEN, readOnly: true, reason: ACCESS_HINTS.ownDocument },
    ],
    ['collected by the checker himself, allowCheckOwn', { stage: 'collected', collector: SELF.name, collectorId: SELF.id }, role('checker'), { allowCheckOwn: true }, OPEN],
    ['checked, a checker', { stage: 'checked', checker: 'Вера Соколова' }, role('checker'), {}, { ...OPEN, readOnly: true, reason: ACCESS_HINTS.checkDone }],
  ])('%s', (_name, answer, r, s, expected) => {
    expect(screenAccess({ doc: byAddress(answer), role: r, settings: settings(s) })).toEqual(expected)
  })

  it('waits for the stage before anything counts, and works as without roles when roles are off', () => {
    const doc = { status: 'pending' as const }
    expect(screenAccess({ doc, role: role('collector'), settings: settings(), stageLoading: true })).toEqual({ ...OPEN, readOnly: true, reason: SCREEN_TEXTS.stageLoading })
    expect(screenAccess({ doc, role: { ...role('collector'), enabled: false }, settings: settings(), stageLoading: true })).toEqual(OPEN)
  })

  it('a refused start, and a collection taken over from this collector, leave the screen read-only with the reason', () => {
    const mine = { stage: 'new' as const, status: 'pending' as const }
    expect(screenAccess({ doc: mine, role: role('collector'), settings: settings(), refusal: 'Документ уже ушел на другой этап. Обновите список.' })).toMatchObject({
      readOnly: true,
      reason: 'Документ уже ушел на другой этап. Обновите список.',
    })
    const taken = { stage: 'collecting' as const, status: 'in_progress' as const, collector: { id: 'u-anna', name: 'Анна Смирнова' } }
    const igor = { ...role('collector'), selfId: 'u-igor' }
    expect(screenAccess({ doc: taken, role: igor, settings: settings(), takenOverBy: 'Анна Смирнова' })).toEqual({
      readOnly: true,
      reason: takenOverText('Анна Смирнова'),
      canTakeOver: false,
      collectorName: 'Анна Смирнова',
    })
    // Taken back: the note no longer applies.
    expect(screenAccess({ doc: { ...taken, collector: { id: 'u-igor', name: 'Игорь Петров' } }, role: igor, settings: settings(), takenOverBy: 'Анна Смирнова' })).toEqual(OPEN)
  })
})
