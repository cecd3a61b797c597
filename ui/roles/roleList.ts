/**
 * The roles on the document list: the role's tabs and hint, the rows of a
 * tab, access when a card is opened (a hint, or the start first), the card
 * actions (given to the cards through provide/inject), a reload after a role
 * switch, and the drafts an automatic release kept.
 */
import { computed, inject, provide, ref, watch, type InjectionKey, type Ref } from 'vue'
import { displayName } from '../core/accountDescription'
import { useAccountStore } from '../core/accountStore'
import type { CompletedMarks } from '../documents/completedMarks'
import { useDocumentStore } from '../documents/documentStore'
import type { SortKey } from '../documents/listRows'
import { useDocumentListStore } from '../documents/listStore'
import { deleteDraft } from '../documents/picking/draft'
import type { DocumentRecord, Person } from '../documents/records'
import { canReopen, documentAccess, type DocumentAccess } from './access'
import { createDocumentActions, type DocumentActions } from './documentActions'
import { settleReleasedDrafts } from './releasedDrafts'
import { firstRoleTab, rowsForRoleTab } from './roleRows'
import { useRolesStore } from './rolesStore'
import { createStageActions } from './stageActions'
import { listHint, roleTabs, type RoleTabKey } from './stages'

export interface CardRoles {
  actions: DocumentActions
  access(doc: DocumentRecord): DocumentAccess
  reopen(doc: DocumentRecord): boolean
}

const CARD_ROLES: InjectionKey<CardRoles> = Symbol('card roles')

/** The roles of the list a card sits in (none without roles). */
export function useCardRoles(): CardRoles | null {
  return inject(CARD_ROLES, null)
}

/** The signed-in employee as a document's collector or checker. */
export function useSelf(): () => Person {
  const account = useAccountStore()
  const roles = useRolesStore()
  return () => ({ id: roles.roleState.selfId, name: account.description ? displayName(account.description) : '' })
}

/** The stage actions of the signed-in employee on the document holder. */
export function useStageActions() {
  return createStageActions({ documents: useDocumentStore(), self: useSelf() })
}

export function useRoleList(type: Ref<string>, entry: () => unknown) {
  const roles = useRolesStore()
  const docs = useDocumentStore()
  const list = useDocumentListStore()
  const on = computed(() => roles.enabled)
  const tabs = computed(() => roleTabs(roles.roleState))
  const tab = ref<RoleTabKey>(firstRoleTab(roles.roleState, entry()))
  const hint = computed(() => listHint(roles.roleState))
  const reload = () => void list.reload(type.value, { force: true })

  const actions = createDocumentActions({
    actions: useStageActions(),
    settings: () => roles.rolesSettings,
    reloadList: (t) => void list.reload(t, { force: true }),
    released: reload,
    reopened: reload,
  })
  const access = (doc: DocumentRecord) => documentAccess(doc, roles.roleState, roles.rolesSettings)
  provide(CARD_ROLES, { actions, access, reopen: (doc) => canReopen(doc, roles.roleState, roles.rolesSettings) })

  watch(
    () => roles.role,
    () => {
      tab.value = firstRoleTab(roles.roleState, entry())
      list.reloadAfterRoleSwitch(type.value)
    },
  )
  // A draft kept after an automatic release goes once someone else has started the document.
  watch(
    () => docs.documents,
    (all) => {
      if (on.value) settleReleasedDrafts(all, roles.roleState.selfId, deleteDraft)
    },
  )

  const rows = (marks: CompletedMarks, sort: SortKey) => rowsForRoleTab(docs.documents, marks, type.value, tab.value, sort, roles.role)

  /** Opening a card: the hint instead when it may not be opened; a new document started first when it must be. */
  async function open(doc: DocumentRecord): Promise<{ open: true } | { open: false; hint: string }> {
    const a = access(doc)
    if (a.open === 'none') return { open: false, hint: a.hint }
    if (a.startFirst && doc.stage === 'new' && !(await actions.start(doc))) return { open: false, hint: actions.state.message }
    return { open: true }
  }

  /** A notice left for the list (an automatic release), said once. */
  function takeNotice(): string {
    const text = roles.listNotice
    roles.listNotice = ''
    return text
  }

  return { on, tabs, tab, hint, rows, open, actions, takeNotice }
}
