/**
 * The page's indexed database of the reference copy, "zorvik_assortment":
 * "items" (products by `assortmentId`, indexed by the run that wrote them) and
 * "meta" (free keys: the sync times, the incremental cursor, the account).
 * Every write is one transaction; a failed one leaves the copy as it was.
 */
import Dexie, { type Table } from 'dexie'
import type { AssortmentItem } from './syncAnswer'

export const DB_NAME = 'zorvik_assortment'
const LOAD_CHUNK = 2000
const DELETE_CHUNK = 1000
const PUT_BATCH = 250

export interface AssortmentMeta {
  lastSyncAt: number | null
  lastFullSyncAt: number | null
  since: string | null
  /** the account the copy belongs to */
  scope: string | null
}

/** The IndexedDB implementation to use (the page's own when absent; tests pass fake-indexeddb). */
export type IndexedDbImpl = Pick<NonNullable<ConstructorParameters<typeof Dexie>[1]>, 'indexedDB' | 'IDBKeyRange'>

class AssortmentDexie extends Dexie {
  items!: Table<AssortmentItem, string>
  meta!: Table<unknown, string>

  constructor(impl: IndexedDbImpl = {}) {
    // No live queries read this database: Dexie's query cache would only cost time on every write.
    // Relaxed durability: a commit need not wait for the disk. The copy is fetched again from the
    // server whenever it is short, and a page lost to a power cut is asked again (the cursor moves
    // only after the run's last write).
    super(DB_NAME, { ...impl, cache: 'disabled', chromeTransactionDurability: 'relaxed' })
    // Dexie stores ten times the version it is given: 0.1 is the database's own version 1.
    this.version(0.1).stores({ items: 'assortmentId, syncedAt', meta: '' })
  }
}

/** The system's text for a failed write (and a console line with the cause). */
const num = (v: unknown): number | null => (typeof v === 'number' && Number.isFinite(v) ? v : null)
const str = (v: unknown): string | null => (typeof v === 'string' && v !== '' ? v : null)

export class AssortmentDb {
  private readonly db: AssortmentDexie

  private constructor(db: AssortmentDexie) {
    this.db = db
  }

  /** Opens the database; rejects when the page cannot have one. */
  static async open(impl?: IndexedDbImpl): Promise<AssortmentDb> {
    const db = new AssortmentDexie(impl)
    await db.open()
    return new AssortmentDb(db)
  }

  /** Every stored product, in chunks by id, so a large copy never holds the page for long. */
  async loadAll(onChunk: (items: AssortmentItem[]) => void): Promise<void> {
    let last: string | null = null
    for (;;) {
      const chunk: AssortmentItem[] =
        last === null
          ? await this.db.items.orderBy(':id').limit(LOAD_CHUNK).toArray()
          : await this.db.items.where(':id').above(last).limit(LOAD_CHUNK).toArray()
      if (chunk.length === 0) return
      onChunk(chunk)
      last = chunk[chunk.length - 1]!.assortmentId
      if (chunk.length < LOAD_CHUNK) return
    }
  }

  async readMeta(): Promise<AssortmentMeta> {
    const [lastSyncAt, lastFullSyncAt, since, scope] = await this.db.meta.bulkGet(['lastSyncAt', 'lastFullSyncAt', 'since', 'scope'])
    return { lastSyncAt: num(lastSyncAt), lastFullSyncAt: num(lastFullSyncAt), since: str(since), scope: str(scope) }
  }

  /** Writes the given keys of the meta store (null removes a key) in one transaction. */
  async writeMeta(patch: Partial<AssortmentMeta>): Promise<void> {
    const entries = Object.entries(patch)
    if (entries.length === 0) return
    await this.db.transaction('rw', this.db.meta, async () => {
      for (const [key, value] of entries) {
        if (value === null || value === undefined) await this.db.meta.delete(key)
        else await this.db.meta.put(value, key)
      }
    })
  }

  /**
   * One page: its products written and its deletions applied together. The
   * products go in small batches: each batch's puts are cloned on the page's
   * thread, and between batches the page takes input and paints while the
   * transaction stays open.
   */
  async writePage(items: readonly AssortmentItem[], deleted: readonly string[]): Promise<void> {
    await this.db.transaction('rw', this.db.items, async () => {
      for (let at = 0; at < items.length; at += PUT_BATCH) await this.db.items.bulkPut(items.slice(at, at + PUT_BATCH))
      if (deleted.length > 0) await this.db.items.bulkDelete(deleted as string[])
    })
  }

  /** Removes products by id, a chunk per transaction. */
  async deleteIds(ids: readonly string[]): Promise<void> {
    for (let at = 0; at < ids.length; at += DELETE_CHUNK) {
      const chunk = ids.slice(at, at + DELETE_CHUNK)
      await this.db.transaction('rw', this.db.items, () => this.db.items.bulkDelete(chunk))
    }
  }

  /** Ids of the products a run other than the one started at `syncedAt` wrote last. */
  async staleIds(syncedAt: number): Promise<string[]> {
    return this.db.items.where('syncedAt').notEqual(syncedAt).primaryKeys()
  }

  async count(): Promise<number> {
    return this.db.items.count()
  }

  /** Empties both stores in one transaction. */
  async clear(): Promise<void> {
    await this.db.transaction('rw', this.db.items, this.db.meta, async () => {
      await this.db.items.clear()
      await this.db.meta.clear()
    })
  }

  close(): void {
    this.db.close()
  }
}
