/** Marks sent with completed documents ("zv_mark_history": gtin → {serial → time sent}); kept 90 days. */
import { readLocal, writeLocal } from '../../core/localStore'

export const MARK_HISTORY_KEY = 'mark_history'
export const MARK_HISTORY_MAX_AGE_MS = 90 * 24 * 60 * 60 * 1000

type History = Record<string, Record<string, number>>

function read(): History {
  const raw = readLocal<unknown>(MARK_HISTORY_KEY)
  return typeof raw === 'object' && raw !== null && !Array.isArray(raw) ? (raw as History) : {}
}

/** Records "<gtin>:<serial>" identities as sent at `now`. */
export function recordSentMarks(identities: string[], now = Date.now()): boolean {
  if (identities.length === 0) return true
  const h = read()
  for (const id of identities) {
    const cut = id.indexOf(':')
    if (cut <= 0) continue
    const gtin = id.slice(0, cut)
    const serial = id.slice(cut + 1)
    const bySerial = typeof h[gtin] === 'object' && h[gtin] !== null ? h[gtin]! : {}
    bySerial[serial] = now
    h[gtin] = bySerial
  }
  return writeLocal(MARK_HISTORY_KEY, h)
}

/** When this mark was sent, if it was. */
export function sentAt(gtin: string, serial: string): number | undefined {
  const t = read()[gtin]?.[serial]
  return typeof t === 'number' ? t : undefined
}

/** Drops entries older than 90 days (start-up). */
export function purgeMarkHistory(now = Date.now()): void {
  const h = read()
  let changed = false
  for (const [gtin, serials] of Object.entries(h)) {
    if (typeof serials !== 'object' || serials === null) {
      delete h[gtin]
      changed = true
      continue
    }
    for (const [serial, at] of Object.entries(serials))
      if (typeof at !== 'number' || now - at > MARK_HISTORY_MAX_AGE_MS) {
        delete serials[serial]
        changed = true
      }
    if (Object.keys(serials).length === 0) {
      delete h[gtin]
      changed = true
    }
  }
  if (changed) writeLocal(MARK_HISTORY_KEY, h)
}
