/**
 * The FBS rows of the Ozon page: which shipment documents show under the
 * status filter, the store chips and the search, each posting's state (to
 * collect, collected, shipped) and the order of the rows. Pure.
 */
import type { DocumentRecord } from '../../documents/records'
import { postingIn, statusText } from './ozonLogic'

export type StatusFilter = 'packaging' | 'deliver' | 'all'
export type PostingState = 'to-collect' | 'collected' | 'shipped'

export const STATUS_CHIPS: ReadonlyArray<{ value: StatusFilter; text: string }> = [
  { value: 'packaging', text: 'Сборка' },
  { value: 'deliver', text: 'Отгрузка' },
  { value: 'all', text: 'Все' },
]

const FILTER_STATUSES: Readonly<Record<StatusFilter, readonly string[]>> = {
  packaging: ['awaiting_packaging'],
  deliver: ['awaiting_deliver'],
  all: ['awaiting_packaging', 'awaiting_deliver'],
}

export function readStatusFilter(v: unknown): StatusFilter {
  return v === 'packaging' || v === 'deliver' ? v : 'all'
}

/** The posting number a document stands for: its own field, else the pattern in its number. */
export function postingOf(d: Pick<DocumentRecord, 'postingNumber' | 'number'>): string {
  return postingIn(d.postingNumber ?? '') || (d.postingNumber ?? '').trim() || postingIn(d.number)
}

export function postingState(d: Pick<DocumentRecord, 'ozonStatus' | 'status'>): PostingState {
  if (d.ozonStatus === 'awaiting_deliver') return 'shipped'
  return d.status === 'completed' ? 'collected' : 'to-collect'
}

const RANK: Readonly<Record<PostingState, number>> = { 'to-collect': 0, collected: 1, shipped: 2 }

/** "12345-0001-1" → "1234500011": the search's form of a text. */
const searchForm = (s: string) => s.trim().toLowerCase().replace(/-/g, '')

export function matchesQuery(d: Pick<DocumentRecord, 'number' | 'postingNumber'>, query: string): boolean {
  const q = searchForm(query)
  return q === '' || searchForm(d.number).includes(q) || searchForm(d.postingNumber ?? '').includes(q)
}

export interface RowFilter {
  status: StatusFilter
  /** a Client-Id, or '' for every store */
  store: string
  query: string
}

/** The rows shown: filtered, then to-collect, collected, shipped (stable within each). */
export function shownRows(docs: readonly DocumentRecord[], f: RowFilter): DocumentRecord[] {
  const statuses = FILTER_STATUSES[f.status]
  return docs
    .filter((d) => statuses.includes(d.ozonStatus ?? '') && (f.store === '' || d.clientId === f.store) && matchesQuery(d, f.query))
    .map((d, i) => ({ d, i }))
    .sort((a, b) => RANK[postingState(a.d)] - RANK[postingState(b.d)] || a.i - b.i)
    .map(({ d }) => d)
}

export interface StoreChip {
  clientId: string
  title: string
}

/** One chip per Client-Id, titled by the store's name; none when there is only one store. */
export function storeChips(docs: readonly DocumentRecord[]): StoreChip[] {
  const chips = new Map<string, string>()
  for (const d of docs) {
    const id = (d.clientId ?? '').trim()
    if (id === '' || chips.has(id)) continue
    chips.set(id, (d.storeTitle ?? '').trim() || `Магазин ${id}`)
  }
  return chips.size > 1 ? [...chips].map(([clientId, title]) => ({ clientId, title })) : []
}

/** The status text of a row: its own for a collected posting not handed over, else the Ozon status's. */
export function rowStatusText(d: Pick<DocumentRecord, 'ozonStatus' | 'status'>): string {
  return postingState(d) === 'collected' ? 'Собрано, не передано в Ozon' : statusText(d.ozonStatus ?? '')
}

export function positionsText(d: Pick<DocumentRecord, 'checkedPositions' | 'totalPositions'>): string {
  return d.totalPositions > 0 ? `${d.checkedPositions} / ${d.totalPositions}` : '—'
}
