/**
 * The device's photo settings, kept in local storage: where a unit's photo comes from (the camera or
 * the gallery) and how many photos one choice may attach (1 to 5).
 */
import { readLocal, writeLocal } from '../core/localStore'
import { MAX_PHOTOS_PER_UNIT } from './photoRules'

export const PHOTO_SOURCE_KEY = 'zv_inventory_photo_source'
export const PHOTOS_PER_SCAN_KEY = 'zv_inventory_photos_per_scan'

export type PhotoSource = 'camera' | 'gallery'
export interface PhotoSettings { source: PhotoSource; perScan: number }

export const normalisePhotoSource = (v: unknown): PhotoSource => (v === 'gallery' ? 'gallery' : 'camera')
export const normalisePhotosPerScan = (v: unknown): number => {
  const n = typeof v === 'number' ? v : typeof v === 'string' && v.trim() !== '' ? Number(v) : NaN
  return Number.isFinite(n) ? Math.min(MAX_PHOTOS_PER_UNIT, Math.max(1, Math.round(n))) : 1
}

export const readPhotoSettings = (): PhotoSettings => ({
  source: normalisePhotoSource(readLocal(PHOTO_SOURCE_KEY)),
  perScan: normalisePhotosPerScan(readLocal(PHOTOS_PER_SCAN_KEY)),
})

export function writePhotoSettings(s: Partial<PhotoSettings>): PhotoSettings {
  if (s.source !== undefined) writeLocal(PHOTO_SOURCE_KEY, normalisePhotoSource(s.source))
  if (s.perScan !== undefined) writeLocal(PHOTOS_PER_SCAN_KEY, normalisePhotosPerScan(s.perScan))
  return readPhotoSettings()
}

/**
 * The photos of one choice that are attached: at most `perScan`, and no more than the unit has room
 * for. The rest is named in `refused` (the unit's limit text when that was the cause).
 */
export function photosToAttach<T>(files: readonly T[], existing: number, perScan: number): { take: T[]; refused: string | null } {
  const room = Math.max(0, MAX_PHOTOS_PER_UNIT - existing)
  const n = Math.min(room, normalisePhotosPerScan(perScan), files.length)
  if (n === files.length) return { take: [...files], refused: null }
  if (n === room) return { take: files.slice(0, n), refused: 'К этой единице уже 5 фото' }
  return { take: files.slice(0, n), refused: `За один раз — не больше ${n} фото (настройка «Фото за раз»)` }
}
