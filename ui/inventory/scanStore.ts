/**
 * Adds a scan to a session's queue: the scan is written to the device database (transaction
 * complete) before the caller hears it is saved. Without a database the scan lives in memory only,
 * and the reply says so.
 */
import type { InventoryDb } from './inventoryDb'
import { makeScan, type QueuedScan } from './scanQueue'

export type SaveResult = { ok: true; scan: QueuedScan; durable: boolean } | { ok: false; error: string }

export async function saveScan(
  queue: QueuedScan[],
  db: InventoryDb | null,
  where: { accountId: string; sessionId: number },
  input: Parameters<typeof makeScan>[0],
  ctx: Parameters<typeof makeScan>[1],
): Promise<SaveResult> {
  const made = makeScan(input, ctx)
  if (!made.ok) return made
  if (db) {
    try {
      await db.put(where.accountId, where.sessionId, [made.scan])
    } catch (e) {
      console.warn('inventory scan write:', e)
      return { ok: false, error: 'Скан не сохранился на устройстве — отсканируйте еще раз' }
    }
  }
  queue.push(made.scan)
  return { ok: true, scan: made.scan, durable: db !== null }
}
