/**
 * Adds a scan to a session's queue: the scan is written to the device database (transaction
 * complete) and, at the same time, wherever else the caller keeps it (`alongside`, the host copy),
 * before the caller hears it is saved. Without a database the scan lives in memory only, and the reply
 * says so.
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
  alongside: (scan: QueuedScan) => Promise<boolean> = async () => true,
): Promise<SaveResult> {
  const made = makeScan(input, ctx)
  if (!made.ok) return made
  // The two writes wait on two disks' flushes; side by side the picker waits for the slower one only.
  const [stored, kept] = await Promise.all([
    db
      ? db.put(where.accountId, where.sessionId, [made.scan]).then(
          () => true,
          (e: unknown) => {
            console.warn('inventory scan write:', e)
            return false
          },
        )
      : Promise.resolve(true),
    alongside(made.scan),
  ])
  if (!stored) return { ok: false, error: 'Скан не сохранился на устройстве — отсканируйте еще раз' }
  queue.push(made.scan)
  return { ok: true, scan: made.scan, durable: db !== null && kept }
}
