/** Merging list pages into what is shown, pruning, and when a completed-here mark gives way. Pure. */
import type { CompletedMarks } from './completedMarks'
import type { DocumentRecord } from './records'

/** A completed-here mark survives a server that disagrees for this long. */
export const MARK_GRACE_MS = 120_000

/** Documents of the page replace shown ones with the same id (no longer unconfirmed); new ones are appended. */
export function mergePage(shown: DocumentRecord[], page: DocumentRecord[]): DocumentRecord[] {
  const incoming = new Map(page.map((d) => [d.id, d]))
  const out = shown.map((d) => incoming.get(d.id) ?? d)
  const present = new Set(shown.map((d) => d.id))
  for (const d of page) if (!present.has(d.id)) out.push(d)
  return out.map((d) => {
    if (!incoming.has(d.id) || !d.unconfirmed) return d
    const { unconfirmed: _u, ...rest } = d
    return rest
  })
}

/** Only the documents the server listed in this load. */
export function prune(list: DocumentRecord[], seen: ReadonlySet<string>): DocumentRecord[] {
  return list.filter((d) => seen.has(d.id))
}

/** The server still lists it as not collected: with stages asked, no `collectedAt`; without, a status other than "completed". */
export function stillOpenOnServer(doc: DocumentRecord, stagesAsked: boolean): boolean {
  return stagesAsked ? !doc.collectedAt : doc.status !== 'completed'
}

/**
 * Marks that give way: the server still lists the document as open, it is
 * not waiting in the send queue, and the mark is at least 120 s old.
 */
export function marksToDrop(
  page: DocumentRecord[],
  marks: CompletedMarks,
  queued: ReadonlySet<string>,
  stagesAsked: boolean,
  now: number,
): string[] {
  return page
    .filter((d) => {
      const mark = marks[d.id]
      return mark !== undefined && stillOpenOnServer(d, stagesAsked) && !queued.has(d.id) && now - mark.at >= MARK_GRACE_MS
    })
    .map((d) => d.id)
}

/** Confirmed documents first (the cache keeps the first 500). */
export function confirmedFirst(list: DocumentRecord[]): DocumentRecord[] {
  return [...list.filter((d) => !d.unconfirmed), ...list.filter((d) => d.unconfirmed)]
}
