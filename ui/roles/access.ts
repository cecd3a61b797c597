/**
 * Who may do what with a document under the two-person check: open it (for
 * work or for the check), must start it first, may start or release it,
 * may release someone else's collection, and the hint shown instead of
 * opening. Evaluated per card and on the document screen. Pure.
 */
import type { DocumentRecord } from '../documents/records'
import type { RolesSettings } from './rolesSettings'
import { workingRole, type RoleState } from './roleState'
import { cardStageLine, documentStage } from './stages'

export interface DocumentAccess {
  open: 'work' | 'check' | 'none'
  startFirst: boolean
  canStart: boolean
  canRelease: boolean
  canReleaseOther: boolean
  hint: string
}

export const ACCESS_HINTS = {
  checkDone: 'Проверка закончена',
  notCollected: 'Еще не собран',
  ownDocument: 'Этот заказ собирали вы — проверить его должен другой сотрудник',
  waitsForCheck: 'Собран, ждет проверки',
} as const

const OPEN_FOR_WORK: DocumentAccess = { open: 'work', startFirst: false, canStart: false, canRelease: false, canReleaseOther: false, hint: '' }

type AccessDoc = Pick<DocumentRecord, 'stage' | 'status' | 'collector' | 'checker' | 'startedAt'>

/** Whether this employee collects the document: null when either id is unknown. */
export function ownDocument(doc: Pick<DocumentRecord, 'collector'>, selfId: string): boolean | null {
  const id = doc.collector?.id ?? ''
  if (!id || !selfId) return null
  return id === selfId
}

export function documentAccess(doc: AccessDoc, role: RoleState, settings: RolesSettings): DocumentAccess {
  if (!role.enabled || doc.stage === undefined) return OPEN_FOR_WORK
  const stage = documentStage(doc)
  const own = ownDocument(doc, role.selfId)
  const checker = workingRole(role) === 'checker'
  const canReleaseOther = stage === 'collecting' && own === false && (role.isAdmin || (checker && settings.checkerCanRelease))
  const none = (hint: string): DocumentAccess => ({ open: 'none', startFirst: false, canStart: false, canRelease: false, canReleaseOther, hint })

  if (checker) {
    if (stage !== 'collected') return none(stage === 'checked' ? ACCESS_HINTS.checkDone : ACCESS_HINTS.notCollected)
    if (own === true && !settings.allowCheckOwn) return none(ACCESS_HINTS.ownDocument)
    return { ...none(''), open: 'check' }
  }
  switch (stage) {
    case 'new':
      return { ...none(''), open: 'work', startFirst: settings.requireStart || settings.releaseOnExit, canStart: true }
    case 'collecting':
      if (own === false) return none(cardStageLine(doc))
      return {
        ...none(''),
        open: 'work',
        canRelease: !settings.releaseOnExit && (role.isAdmin || settings.collectorCanRelease !== false),
      }
    case 'collected':
      return none(ACCESS_HINTS.waitsForCheck)
    default:
      return none(ACCESS_HINTS.checkDone)
  }
}

/** "Вернуть к сборке" is offered: roles on, the app may show it, the document collected or checked, and an administrator or a checker allowed to. */
export function canReopen(doc: Pick<DocumentRecord, 'stage' | 'status'>, role: RoleState, settings: RolesSettings): boolean {
  if (!role.enabled || settings.reopenVisibleInApp === false || doc.stage === undefined) return false
  const stage = documentStage(doc)
  if (stage !== 'collected' && stage !== 'checked') return false
  return role.isAdmin || (workingRole(role) === 'checker' && settings.checkerCanReopen)
}

/** The document screen works as checker: roles on, the checker role active and the document collected. */
export function isCheckMode(doc: Pick<DocumentRecord, 'stage' | 'status'>, role: RoleState): boolean {
  return role.enabled && role.activeRole === 'checker' && doc.stage === 'collected'
}

export const CARD_BUTTONS = {
  start: 'Начать сборку',
  release: 'Снять с себя',
  releaseOther: 'Снять сборку',
  reopen: 'Вернуть к сборке',
} as const
