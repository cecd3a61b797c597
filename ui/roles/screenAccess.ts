/**
 * What the document screen allows under the two-person check: the same
 * access a card has (a document opened by address alone first learns its
 * stage), a start the server refused, and a collection an administrator took
 * over. A screen that may not work shows why, refuses scans and the finish,
 * and offers the way back — and to an administrator, taking it over. Pure.
 */
import type { DocumentRecord, DocumentStage, Person } from '../documents/records'
import { refusalText } from '../documents/picking/refusalText'
import { documentAccess, ownDocument, type DocumentAccess } from './access'
import type { RolesSettings } from './rolesSettings'
import { workingRole, type RoleState } from './roleState'
import type { StageDetails } from './stageDetails'
import { documentStage } from './stages'

export const SCREEN_TEXTS = {
  stageLoading: 'Проверяем, свободен ли документ…',
  back: '← К списку',
  takeOver: 'Забрать себе',
  takeOverTitle: 'Забрать документ себе?',
  takeOverConfirm: 'Забрать',
  takeOverCancel: 'Отмена',
} as const

/** The question before an administrator takes a collection over, naming its collector. */
export function takeOverQuestion(name: string): string {
  const who = name || 'другой сотрудник'
  return `Документ сейчас собирает ${who}. Если забрать его себе, ${who} не сможет продолжить: при следующем скане ему скажут, что документ забрали.`
}

/** What the former collector is told: at his next scan, and on the screen. */
export function takenOverText(name: string): string {
  return name
    ? `Документ забрал себе администратор: теперь его собирает ${name}. Ваши сканы здесь больше не считаются.`
    : 'Документ забрал себе администратор. Ваши сканы здесь больше не считаются.'
}

type AccessDoc = Pick<DocumentRecord, 'stage' | 'status' | 'collector' | 'checker' | 'startedAt'>

export interface ScreenAccessInput {
  doc: AccessDoc
  role: RoleState
  settings: RolesSettings
  /** opened by address: the stage is still being asked */
  stageLoading?: boolean
  /** a start on this screen refused ("taken", "wrong-stage"): its text */
  refusal?: string
  /** this employee's collection was taken over; the new collector's name */
  takenOverBy?: string
}

export interface ScreenAccess {
  /** nothing may be counted or finished here */
  readOnly: boolean
  /** why, as the screen and a refused scan say it */
  reason: string
  /** an administrator may take the collection over */
  canTakeOver: boolean
  /** the collector it would be taken from */
  collectorName: string
}

const OPEN: ScreenAccess = { readOnly: false, reason: '', canTakeOver: false, collectorName: '' }

/** The text for a document someone else collects: the "taken" refusal with his name and start time. */
function takenText(doc: AccessDoc): string {
  return refusalText({ code: 'taken', collector: doc.collector, startedAt: doc.startedAt })
}

export function screenAccess(i: ScreenAccessInput): ScreenAccess {
  if (!i.role.enabled) return OPEN
  if (i.stageLoading) return { ...OPEN, readOnly: true, reason: SCREEN_TEXTS.stageLoading }
  const access: DocumentAccess = documentAccess(i.doc, i.role, i.settings)
  const collecting = i.doc.stage !== undefined && documentStage(i.doc) === 'collecting'
  const other = collecting && ownDocument(i.doc, i.role.selfId) === false
  const collector = workingRole(i.role) === 'collector'
  const canTakeOver = other && i.role.isAdmin && collector
  const collectorName = other ? (i.doc.collector?.name ?? '') : ''
  if (i.takenOverBy !== undefined && other) return { readOnly: true, reason: takenOverText(i.takenOverBy), canTakeOver, collectorName }
  if (i.refusal) return { readOnly: true, reason: i.refusal, canTakeOver, collectorName }
  if (access.open === 'none') return { readOnly: true, reason: other && collector ? takenText(i.doc) : access.hint, canTakeOver, collectorName }
  return OPEN
}

/**
 * A document opened by address carries no stage: the stage details fill it
 * in. A collector named without an id is this employee when the name is his.
 */
export function stageFromDetails(d: StageDetails, self: Person): Pick<DocumentRecord, 'stage'> & Partial<Pick<DocumentRecord, 'collector' | 'checker' | 'startedAt'>> {
  const out: Pick<DocumentRecord, 'stage'> & Partial<Pick<DocumentRecord, 'collector' | 'checker' | 'startedAt'>> = { stage: d.stage as DocumentStage }
  if (d.collector || d.collectorId) {
    const id = d.collectorId || (self.name && d.collector === self.name ? self.id : '')
    // An unknown id with another name is someone else: an id no employee has.
    out.collector = { id: id || `name:${d.collector}`, name: d.collector }
  }
  if (d.checker || d.checkerId) out.checker = { id: d.checkerId, name: d.checker }
  if (d.startedAt) out.startedAt = d.startedAt
  return out
}
