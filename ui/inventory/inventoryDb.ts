/**
 * The device-side inventory database: the scan queue and the photos waiting for upload. A scan is
 * reported saved only after its transaction has completed; a database that cannot open is reported
 * to the caller at once (the queue then lives only in memory).
 */
import Dexie, { type Table } from 'dexie'
import type { IndexedDbImpl } from '../reference/assortmentDb'
import type { WaitingPhoto } from './photoQueue'
import type { QueuedScan } from './scanQueue'

export const DB_NAME = 'zorvik_inventory'

export interface StoredScan extends QueuedScan { key: string; accountId: string; sessionId: number }
export type StoredPhoto = WaitingPhoto

class InventoryDexie extends Dexie {
  queue!: Table<StoredScan, string>
  photos!: Table<StoredPhoto, string>
  meta!: Table<unknown, string>
  constructor(impl: IndexedDbImpl = {}) {
    // Strict durability: a scan must be on disk before the picker hears it was taken.
    super(DB_NAME, { ...impl, cache: 'disabled', chromeTransactionDurability: 'strict' })
    // Dexie stores ten times the version it is given: 0.1 is the database's own version 1.
    this.version(0.1).stores({ queue: 'key, sessionId', photos: 'key, sessionId, scanUid', meta: '' })
  }
}

export const scanKey = (accountId: string, scanUid: string) => `${accountId}:${scanUid}`

/** A queued scan as the stores keep it, and back. */
export const toStored = (accountId: string, sessionId: number, s: QueuedScan): StoredScan => ({ ...s, key: scanKey(accountId, s.scanUid), accountId, sessionId })
export const toQueued = ({ key: _k, accountId: _a, sessionId: _s, ...scan }: StoredScan): QueuedScan => scan

/** The rows of one account and session, oldest first. */
export const sessionRows = (rows: readonly StoredScan[], accountId: string, sessionId: number): QueuedScan[] =>
  rows.filter((r) => r.accountId === accountId && r.sessionId === sessionId).sort((a, b) => a.scannedAt.localeCompare(b.scannedAt)).map(toQueued)

export type OpenResult = { ok: true; db: InventoryDb } | { ok: false; error: string }

export class InventoryDb {
  private constructor(private readonly db: InventoryDexie) {}

  static async open(impl?: IndexedDbImpl): Promise<OpenResult> {
    try {
      const db = new InventoryDexie(impl)
      await db.open()
      return { ok: true, db: new InventoryDb(db) }
    } catch (e) {
      console.warn('inventory database:', e)
      return { ok: false, error: 'Хранилище сканов на устройстве недоступно — сканы хранятся только в памяти, не закрывайте программу до отправки' }
    }
  }

  /** Resolves once the write transaction has completed. */
  async put(accountId: string, sessionId: number, scans: readonly QueuedScan[]): Promise<void> {
    const rows = scans.map((s) => toStored(accountId, sessionId, s))
    await this.db.transaction('rw', this.db.queue, () => this.db.queue.bulkPut(rows))
  }

  async remove(accountId: string, scanUids: readonly string[]): Promise<void> {
    await this.db.transaction('rw', this.db.queue, () => this.db.queue.bulkDelete(scanUids.map((u) => scanKey(accountId, u))))
  }

  /** A session's queue of one account, oldest first. */
  async read(accountId: string, sessionId: number): Promise<QueuedScan[]> {
    return sessionRows(await this.db.queue.where('sessionId').equals(sessionId).toArray(), accountId, sessionId)
  }

  /** Resolves once the photo is stored (with its bytes) until `removePhoto`. */
  async putPhoto(p: WaitingPhoto): Promise<void> {
    await this.db.transaction('rw', this.db.photos, () => this.db.photos.put(p))
  }

  async removePhoto(key: string): Promise<void> {
    await this.db.transaction('rw', this.db.photos, () => this.db.photos.delete(key))
  }

  /** One account's photos waiting here, oldest first. */
  async photos(accountId: string): Promise<WaitingPhoto[]> {
    const all = await this.db.photos.toArray()
    return all.filter((p) => p.accountId === accountId && ArrayBuffer.isView(p.bytes)).sort((a, b) => a.addedAt - b.addedAt)
  }

  /** The sessions of one account that have scans here. */
  async sessionIds(accountId: string): Promise<number[]> {
    const rows = await this.db.queue.filter((r) => r.accountId === accountId).toArray()
    return [...new Set(rows.map((r) => r.sessionId))]
  }

  close() { this.db.close() }
}
