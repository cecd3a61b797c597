/**
 * What a tab of the list shows with roles on: the documents of the tab's
 * stages in the chosen order; the done tab also holds what was completed here
 * in this role, newest first, including documents the server no longer lists
 * to this role. Pure.
 */
import type { CompletedMarks } from '../documents/completedMarks'
import { goneDocument, sortDocuments, type ListRow, type SortKey } from '../documents/listRows'
import type { DocumentRecord } from '../documents/records'
import type { WorkRole } from './roleState'
import { inRoleTab, roleTabs, type RoleTabKey } from './stages'
import type { RoleState } from './roleState'
import { workingRole } from './roleState'

export function rowsForRoleTab(
  docs: DocumentRecord[],
  marks: CompletedMarks,
  type: string,
  tab: RoleTabKey,
  sort: SortKey,
  role: WorkRole,
): ListRow[] {
  const ofType = docs.filter((d) => d.type === type)
  const rows: ListRow[] = sortDocuments(
    ofType.filter((d) => inRoleTab(d, marks[d.id], role, tab)),
    sort,
  ).map((doc) => ({ doc, mark: marks[doc.id] }))
  const done = roleTabs({ enabled: true, roles: [role], activeRole: role, permissions: [], isAdmin: false, selfId: '' }).find((t) => t.done)
  if (tab !== done?.key) return rows
  const listed = new Set(ofType.map((d) => d.id))
  for (const [id, mark] of Object.entries(marks))
    if (!listed.has(id) && mark.doc?.type === type && mark.role === role) rows.push({ doc: goneDocument(id, mark), mark })
  return rows.map((r, i) => ({ r, i })).sort((x, y) => (y.r.mark?.at ?? -1) - (x.r.mark?.at ?? -1) || x.i - y.i).map((x) => x.r)
}

/** The tab a list starts on: "На проверку" from the check tile, else the first of the role. */
export function firstRoleTab(state: RoleState, entry: unknown): RoleTabKey {
  const tabs = roleTabs(state)
  if (entry === 'check' && workingRole(state) === 'checker') return 'to-check'
  return tabs[0]!.key
}
