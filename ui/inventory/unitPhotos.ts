/** A unit's photos as the service lists them, and the units a photo may be moved to. */
import { MAX_PHOTOS_PER_UNIT } from './photoRules'
import { absoluteUrl } from './photoUpload'
import type { Scan } from './records'

export interface UnitPhoto { id: string; scanUid: string; url: string; size: number; createdAt: string }

/** A listed photo with its address made absolute; null without an id or an address. */
export function normalisePhoto(raw: unknown, base: string): UnitPhoto | null {
  const p = raw && typeof raw === 'object' ? (raw as Record<string, unknown>) : {}
  const id = typeof p.id === 'string' || typeof p.id === 'number' ? String(p.id) : ''
  const url = typeof p.url === 'string' ? p.url : ''
  if (id === '' || url === '') return null
  return {
    id,
    scanUid: typeof p.scanUid === 'string' ? p.scanUid : '',
    url: absoluteUrl(url, base),
    size: typeof p.size === 'number' && p.size >= 0 ? p.size : 0,
    createdAt: typeof p.createdAt === 'string' ? p.createdAt : '',
  }
}

/** Units a photo of `fromUid` can go to: on the service already, another unit, with room for one more. */
export const moveTargets = (scans: readonly Scan[], fromUid: string): Scan[] =>
  scans.filter((s) => !s.pending && s.scanUid !== fromUid && s.photos < MAX_PHOTOS_PER_UNIT)

/** "1,2 МБ" / "830 КБ" */
export function sizeText(bytes: number): string {
  if (bytes >= 1024 * 1024) return `${(bytes / 1024 / 1024).toFixed(1).replace('.', ',')} МБ`
  return `${Math.max(1, Math.round(bytes / 1024))} КБ`
}
