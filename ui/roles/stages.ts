/**
 * Document stages of the two-person check: the stage of a record, its label,
 * the card's stage line, the stages the list asks for, the tabs of each role
 * and which tab a document belongs to, the list hint, and the stage after a
 * completion. Pure.
 */
import type { CompletedMark } from '../documents/completedMarks'
import { clockTime, STAGE_LABELS } from '../documents/picking/refusalText'
import type { DocumentRecord, DocumentStage } from '../documents/records'
import { workingRole, type RoleState, type WorkRole } from './roleState'

export { STAGE_LABELS }

/** The record's stage; without one a completed document counts as checked, any other as new. */
export function documentStage(doc: Pick<DocumentRecord, 'stage' | 'status'>): DocumentStage {
  return doc.stage ?? (doc.status === 'completed' ? 'checked' : 'new')
}

/** The card's stage line. */
export function cardStageLine(doc: Pick<DocumentRecord, 'stage' | 'status' | 'collector' | 'checker' | 'startedAt'>): string {
  const collector = doc.collector?.name.trim() ?? ''
  switch (documentStage(doc)) {
    case 'collecting': {
      if (!collector) return 'Уже собирают'
      const since = clockTime(doc.startedAt)
      return since ? `Собирает ${collector} с ${since}` : `Собирает ${collector}`
    }
    case 'collected':
      return collector ? `Ждет проверки · собрал ${collector}` : 'Ждет проверки'
    case 'checked': {
      const checker = doc.checker?.name.trim() ?? ''
      return checker ? `Проверен · ${checker}` : 'Проверен'
    }
    default:
      return 'Новый'
  }
}

/** The stages the list asks the server for; empty means every stage. */
export function stagesForRole(state: RoleState): DocumentStage[] {
  if (!state.enabled || state.isAdmin) return []
  return workingRole(state) === 'checker' ? ['collected'] : ['new', 'collecting']
}

export type RoleTabKey = 'all' | 'to-check' | 'checked' | 'new' | 'collecting' | 'collected'

export interface RoleTab {
  key: RoleTabKey
  label: string
  stages: readonly DocumentStage[]
  /** documents completed here with this role land here too */
  done?: true
}

const ALL_TAB: RoleTab = { key: 'all', label: 'Все', stages: ['new', 'collecting', 'collected', 'checked'] }
const CHECKER_TABS: readonly RoleTab[] = [
  { key: 'to-check', label: 'На проверку', stages: ['collected'] },
  { key: 'checked', label: 'Проверены', stages: ['checked'], done: true },
]
const COLLECTOR_TABS: readonly RoleTab[] = [
  { key: 'new', label: 'Новые', stages: ['new'] },
  { key: 'collecting', label: 'В сборке', stages: ['collecting'] },
  { key: 'collected', label: 'Собраны', stages: ['collected', 'checked'], done: true },
]

/** The tabs of the list: an administrator gets "Все" first. */
export function roleTabs(state: RoleState): RoleTab[] {
  const own = workingRole(state) === 'checker' ? CHECKER_TABS : COLLECTOR_TABS
  return state.isAdmin ? [ALL_TAB, ...own] : [...own]
}

/**
 * The role tab a document belongs to (besides "Все"): the done tab when it was
 * completed here in this role or its stage is one of the done tab's; else the
 * first other tab holding its stage; none when no tab of the role holds it.
 */
export function roleTabOf(doc: DocumentRecord, mark: CompletedMark | undefined, role: WorkRole): RoleTabKey | null {
  const tabs = role === 'checker' ? CHECKER_TABS : COLLECTOR_TABS
  const done = tabs.find((t) => t.done)!
  const stage = documentStage(doc)
  if ((mark && mark.role === role) || done.stages.includes(stage)) return done.key
  return tabs.find((t) => !t.done && t.stages.includes(stage))?.key ?? null
}

/** Whether a document is shown under `tab`. */
export function inRoleTab(doc: DocumentRecord, mark: CompletedMark | undefined, role: WorkRole, tab: RoleTabKey): boolean {
  return tab === 'all' || roleTabOf(doc, mark, role) === tab
}

/** The hint above the list (not for an administrator, who sees every stage). */
export function listHint(state: RoleState): string {
  if (!state.enabled || state.isAdmin) return ''
  return workingRole(state) === 'checker'
    ? 'Вы видите собранные документы, ждущие проверки'
    : 'Вы видите новые и свои документы в сборке'
}

/** The tab a list opened from the check tile starts on. */
export const CHECK_ENTRY_TAB: RoleTabKey = 'to-check'

/** The local stage after a completion: the server's, else checked for a checker and collected for a collector. */
export function stageAfterComplete(serverStage: unknown, role: WorkRole): DocumentStage {
  const stages: readonly DocumentStage[] = ['new', 'collecting', 'collected', 'checked']
  if (stages.includes(serverStage as DocumentStage)) return serverStage as DocumentStage
  return role === 'checker' ? 'checked' : 'collected'
}
