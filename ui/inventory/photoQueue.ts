/**
 * Photos waiting on the device for their upload, as pure logic: which go now, and what an attempt's
 * outcome does to one. A photo waits with its unit: it goes only once the unit has left the device's
 * scan queue (the service files it by the unit's `scanUid`), and a failed upload is tried again with the
 * scans' back-off. A photo the service refused stays on the device with the reason until the user
 * saves it to a file or drops it.
 */
import { backoffMs } from './scanQueue'

export interface WaitingPhoto {
  key: string
  accountId: string
  sessionId: number
  scanUid: string
  bytes: Uint8Array
  type: string
  /** ms since the epoch */
  addedAt: number
  attempts: number
  lastAttemptAt: number
  /** the service's reason when it refused the photo for good */
  refused?: string
}

/** The photos to upload now, oldest first: not refused, not under way, their unit delivered, their retry time come. */
export function photosDue(
  list: readonly WaitingPhoto[], o: { nowMs: number; unitWaiting: (scanUid: string) => boolean; busy: ReadonlySet<string> },
): WaitingPhoto[] {
  return list
    .filter((p) => p.refused === undefined && !o.busy.has(p.key) && !o.unitWaiting(p.scanUid))
    .filter((p) => p.attempts === 0 || o.nowMs - p.lastAttemptAt >= backoffMs(p.attempts))
    .sort((a, b) => a.addedAt - b.addedAt)
}

export type Attempt = { kind: 'sent' } | { kind: 'refused'; reason: string } | { kind: 'unreached' }

/** The photo after an attempt: null once it is on the service. */
export function afterAttempt(p: WaitingPhoto, a: Attempt, nowMs: number): WaitingPhoto | null {
  if (a.kind === 'sent') return null
  if (a.kind === 'refused') return { ...p, refused: a.reason, attempts: p.attempts + 1, lastAttemptAt: nowMs }
  return { ...p, attempts: p.attempts + 1, lastAttemptAt: nowMs }
}

/** Photos of a unit that count against its limit: those waiting (refused ones do not). */
export const waitingFor = (list: readonly WaitingPhoto[], scanUid: string) => list.filter((p) => p.scanUid === scanUid && p.refused === undefined).length

const EXT: Record<string, string> = { 'image/png': 'png', 'image/webp': 'webp', 'image/heic': 'heic', 'image/heif': 'heif' }

/** The file name a refused photo is saved under: "foto-<unit>-<time>.<ext>". */
export function refusedFileName(p: Pick<WaitingPhoto, 'scanUid' | 'addedAt' | 'type'>): string {
  const unit = p.scanUid.replace(/[^0-9a-zA-Z-]/g, '').slice(0, 8) || 'edinica'
  return `foto-${unit}-${p.addedAt}.${EXT[p.type] ?? 'jpg'}`
}
