/**
 * What a tab of the list shows and in which order: tabs by status, the
 * chosen order, documents completed here pinned on top, and completed-here
 * documents the server no longer lists. Pure.
 */
import type { CompletedMark, CompletedMarks } from './completedMarks'
import { pinnedLabel } from './listTexts'
import type { DocumentRecord } from './records'

export type SortKey = 'date-desc' | 'date-asc' | 'number-desc' | 'number-asc'
export type TabKey = 'all' | 'pending' | 'in_progress' | 'completed'

export const SORT_STORAGE_KEY = 'zv_doc_sort'
export const SORT_OPTIONS: ReadonlyArray<{ key: SortKey; label: string }> = [
  { key: 'date-desc', label: 'Сначала новые' },
  { key: 'date-asc', label: 'Сначала старые' },
  { key: 'number-desc', label: 'Номер ↓' },
  { key: 'number-asc', label: 'Номер ↑' },
]
export const TABS: ReadonlyArray<{ key: TabKey; label: string }> = [
  { key: 'all', label: 'Все' },
  { key: 'pending', label: 'Не начаты' },
  { key: 'in_progress', label: 'В процессе' },
  { key: 'completed', label: 'Собраны' },
]
export const DONE_TAB: TabKey = 'completed'
export const PIN_MS = 12 * 60 * 60 * 1000
export const GONE_TEXT = 'Проверка закрыта — в МоемСкладе документ больше не в работе'

export function isSortKey(v: unknown): v is SortKey {
  return SORT_OPTIONS.some((o) => o.key === v)
}

export interface ListRow {
  doc: DocumentRecord
  mark?: CompletedMark
  /** "Собран <time>" on a pinned card */
  pinned?: string
  /** completed here, and the server no longer lists it */
  gone?: boolean
}

const collator = new Intl.Collator('ru', { numeric: true, sensitivity: 'base' })
const when = (d: DocumentRecord) => d.moment || d.date

export function compareDocuments(a: DocumentRecord, b: DocumentRecord, key: SortKey): number {
  if (key === 'number-asc' || key === 'number-desc') {
    const c = collator.compare(a.number, b.number)
    return key === 'number-asc' ? c : -c
  }
  const wa = when(a)
  const wb = when(b)
  const c = wa < wb ? -1 : wa > wb ? 1 : collator.compare(a.number, b.number)
  return key === 'date-asc' ? c : -c
}

export function sortDocuments(docs: DocumentRecord[], key: SortKey): DocumentRecord[] {
  return [...docs].sort((a, b) => compareDocuments(a, b, key))
}

/** A completed-here document the server no longer lists, rebuilt from its mark. */
export function goneDocument(id: string, mark: CompletedMark): DocumentRecord {
  const d = mark.doc!
  const positions = typeof d.positions === 'number' ? d.positions : 0
  const doc: DocumentRecord = {
    id,
    type: d.type,
    number: d.number ?? '',
    date: d.date ?? '',
    counterparty: d.counterparty ?? '',
    warehouse: '',
    status: 'completed',
    totalPositions: positions,
    checkedPositions: positions,
    products: [],
  }
  if (d.moment) doc.moment = d.moment
  return doc
}

export function rowsForTab(
  docs: DocumentRecord[],
  marks: CompletedMarks,
  type: string,
  tab: TabKey,
  sort: SortKey,
  now: number,
): ListRow[] {
  const ofType = docs.filter((d) => d.type === type)
  if (tab === DONE_TAB) {
    const listed = new Set(ofType.map((d) => d.id))
    const rows: ListRow[] = sortDocuments(
      ofType.filter((d) => d.status === 'completed'),
      sort,
    ).map((doc) => ({ doc, mark: marks[doc.id] }))
    for (const [id, mark] of Object.entries(marks)) {
      if (!listed.has(id) && mark.doc?.type === type) rows.push({ doc: goneDocument(id, mark), mark, gone: true })
    }
    // Completion time first, newest on top; the rest keep the chosen order.
    return rows.map((r, i) => ({ r, i })).sort((x, y) => (y.r.mark?.at ?? -1) - (x.r.mark?.at ?? -1) || x.i - y.i).map((x) => x.r)
  }
  const pinned = ofType
    .filter((d) => marks[d.id] && now - marks[d.id]!.at <= PIN_MS)
    .sort((a, b) => marks[b.id]!.at - marks[a.id]!.at)
    .map((doc): ListRow => ({ doc, mark: marks[doc.id], pinned: pinnedLabel(marks[doc.id]!.at, now) }))
  const pinnedIds = new Set(pinned.map((r) => r.doc.id))
  const rest = sortDocuments(
    ofType.filter((d) => !pinnedIds.has(d.id) && d.status !== 'completed' && (tab === 'all' || d.status === tab)),
    sort,
  ).map((doc): ListRow => ({ doc, mark: marks[doc.id] }))
  return [...pinned, ...rest]
}
