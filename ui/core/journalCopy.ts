/**
 * A list of keyed records (each with a `key`) kept in a host journal file, as one value of a
 * `CopyFile` (see ./durableCopy): writing the list appends one record to the file with the records
 * that changed and the keys that went, made durable with one data sync, instead of writing the whole
 * file again. A scan added to a queue of hundreds costs the one scan.
 *
 * The host keeps the journal's entries by key and rewrites the file whole only now and then; a record
 * cut short by a hard kill is left out when the file is next opened (it was never answered, so nothing
 * it carried was reported kept). A file of the older kind (a key-value file holding the whole list
 * under the value's name) is read as that list, and the first write moves it into keyed entries.
 */
import { invokePlugin } from './bridge'
import type { CopyFile } from './durableCopy'

/** The host's journal file (plugin:journal). */
export interface HostJournal {
  /** the entries by key when it was opened */
  entries: Record<string, unknown>
  /** set by the host when it found the file damaged and kept it aside under this name */
  keptAside: string | null
  /** one record: entries put and keys removed; resolves once it is on the disk */
  change(put: Record<string, unknown>, del: string[]): Promise<void>
}

export async function openHostJournal(path: string): Promise<HostJournal> {
  const opened = await invokePlugin<{ rid: number; entries: Record<string, unknown>; keptAside: string | null }>('journal', 'open', { path })
  return {
    entries: opened.entries ?? {},
    keptAside: opened.keptAside ?? null,
    change: (put, del) => invokePlugin<void>('journal', 'change', { rid: opened.rid, put, del }),
  }
}

interface Keyed {
  key: string
}
const isKeyed = (v: unknown): v is Keyed => typeof v === 'object' && v !== null && typeof (v as { key?: unknown }).key === 'string'

/**
 * A `CopyFile` whose one value `name` is a list of keyed records held in `journal`. `set` is durable
 * when it resolves; `save` has nothing left to do. One `set` at a time (durableCopy writes in turn):
 * each is told apart from what the one before left.
 */
export function journalCopyFile(journal: HostJournal, name: string, log: (line: string) => void = () => {}): CopyFile {
  // What the file holds, by key, as written (to tell what a new list changes).
  const held = new Map<string, string>()
  let olderKind = false
  const older = journal.entries[name]
  if (Array.isArray(older)) {
    olderKind = true
    for (const row of older) if (isKeyed(row)) held.set(row.key, JSON.stringify(row))
  } else {
    for (const [key, row] of Object.entries(journal.entries)) if (isKeyed(row) && row.key === key) held.set(key, JSON.stringify(row))
  }
  if (journal.keptAside) log(`[копия] файл был поврежден и отложен как ${journal.keptAside}; прочитано, что удалось`)
  const rows = (): unknown[] => [...held.values()].map((text) => JSON.parse(text) as unknown)

  return {
    async get<T>(key: string): Promise<T | undefined> {
      if (key !== name) return undefined
      return rows() as T
    },
    async set(key: string, value: unknown): Promise<void> {
      if (key !== name) throw new Error(`в журнале хранится только «${name}»`)
      if (!Array.isArray(value) || !value.every(isKeyed)) throw new Error('в журнал пишется только список записей с ключами')
      const put: Record<string, unknown> = {}
      const seen = new Set<string>()
      for (const row of value) {
        seen.add(row.key)
        const text = JSON.stringify(row)
        // A file of the older kind holds no entry by key yet: every record goes in.
        if (olderKind || held.get(row.key) !== text) put[row.key] = row
      }
      const del = [...held.keys()].filter((k) => !seen.has(k))
      if (olderKind) del.push(name)
      if (Object.keys(put).length === 0 && del.length === 0) return
      await journal.change(put, del)
      olderKind = false
      for (const k of del) held.delete(k)
      for (const [k, row] of Object.entries(put)) held.set(k, JSON.stringify(row))
    },
    async save(): Promise<void> {},
  }
}
