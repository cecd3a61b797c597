/**
 * The account's MoySklad lists the editor chooses from (`msReferenceGet`):
 * statuses, extra fields and print forms per MoySklad entity.
 */

export type Entity = 'demand' | 'customerorder' | 'move' | 'salesreturn' | 'supply' | 'internalorder'

export const ENTITY_TITLES: Readonly<Record<Entity, string>> = {
  demand: 'Отгрузка',
  customerorder: 'Заказ покупателя',
  move: 'Перемещение',
  salesreturn: 'Возврат покупателя',
  supply: 'Приемка',
  internalorder: 'Внутренний заказ',
}
const ENTITIES = Object.keys(ENTITY_TITLES) as Entity[]
export const REFERENCE_KINDS = ['states', 'attributes', 'templates'] as const
export type ReferenceKind = (typeof REFERENCE_KINDS)[number]

export interface ReferenceItem {
  id: string
  name: string
  /** #rrggbb, for statuses */
  color: string
  /** the value type of an extra field */
  type: string
}

export interface ReferenceGroup {
  entity: Entity
  title: string
  items: ReferenceItem[]
}

export type Reference = Record<ReferenceKind, ReferenceGroup[]> & { fetchedAt: string }

export const emptyReference = (): Reference => ({ states: [], attributes: [], templates: [], fetchedAt: '' })

const record = (v: unknown): Record<string, unknown> | null => (typeof v === 'object' && v !== null && !Array.isArray(v) ? (v as Record<string, unknown>) : null)
const text = (v: unknown): string => (typeof v === 'string' ? v : typeof v === 'number' ? String(v) : '')

function colour(v: unknown): string {
  return typeof v === 'number' && Number.isInteger(v) && v >= 0 && v <= 0xffffff ? `#${v.toString(16).padStart(6, '0')}` : '#9ca3af'
}

/** The answer of `msReferenceGet`: items without an id are dropped, a missing name is the id. */
export function readReference(answer: unknown): Reference {
  const a = record(answer) ?? {}
  const out = emptyReference()
  out.fetchedAt = text(a.fetchedAt)
  for (const entity of ENTITIES) {
    const lists = record(a[entity])
    if (!lists) continue
    for (const kind of REFERENCE_KINDS) {
      const items: ReferenceItem[] = []
      for (const raw of Array.isArray(lists[kind]) ? (lists[kind] as unknown[]) : []) {
        const i = record(raw)
        const id = text(i?.id)
        if (!i || !id || items.some((x) => x.id === id)) continue
        items.push({ id, name: text(i.name) || id, color: colour(i.color), type: text(i.type) })
      }
      if (items.length) out[kind].push({ entity, title: ENTITY_TITLES[entity], items })
    }
  }
  return out
}

/** The groups of one entity only (the linked order's statuses). */
export const groupsOf = (groups: readonly ReferenceGroup[], entity: Entity): ReferenceGroup[] => groups.filter((g) => g.entity === entity)

/** The name of an id in the lists, or the id itself when the lists do not know it. */
export function nameOf(groups: readonly ReferenceGroup[], id: string): string {
  for (const g of groups) {
    const item = g.items.find((i) => i.id === id)
    if (item) return item.name
  }
  return id
}
