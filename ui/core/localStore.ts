/**
 * The page's local storage: every key starts with "zv_". Unreadable values
 * read as absent; a full quota makes a write answer false instead of throwing;
 * timed entries carry their own time and expire when read.
 */

export const KEY_PREFIX = 'zv_'

function storage(): Storage | undefined {
  try {
    return typeof localStorage === 'undefined' ? undefined : localStorage
  } catch {
    return undefined
  }
}

function fullKey(key: string): string {
  return key.startsWith(KEY_PREFIX) ? key : KEY_PREFIX + key
}

/** The stored text as it is, or undefined when absent or the storage cannot be read. */
export function readLocalText(key: string): string | undefined {
  try {
    return storage()?.getItem(fullKey(key)) ?? undefined
  } catch {
    return undefined
  }
}

/** The stored JSON value, or undefined when absent or unreadable. */
export function readLocal<T>(key: string): T | undefined {
  const s = storage()
  if (!s) return undefined
  try {
    const raw = s.getItem(fullKey(key))
    if (raw === null) return undefined
    return JSON.parse(raw) as T
  } catch {
    return undefined
  }
}

/** Writes a JSON value; false when the storage refused it (quota, disabled storage). */
export function writeLocal(key: string, value: unknown): boolean {
  const s = storage()
  if (!s) return false
  try {
    s.setItem(fullKey(key), JSON.stringify(value))
    return true
  } catch {
    return false
  }
}

export function removeLocal(key: string): void {
  try {
    storage()?.removeItem(fullKey(key))
  } catch {
    // nothing to do: the value is unreachable either way
  }
}

interface Timed<T> {
  t: number
  v: T
}

/** Writes a value stamped with `now` (ms). */
export function writeTimed(key: string, value: unknown, now = Date.now()): boolean {
  return writeLocal(key, { t: now, v: value } satisfies Timed<unknown>)
}

/** The value if it is younger than `maxAgeMs`; an expired or malformed entry is removed and reads as absent. */
export function readTimed<T>(key: string, maxAgeMs: number, now = Date.now()): T | undefined {
  const entry = readLocal<Timed<T>>(key)
  if (!entry || typeof entry !== 'object' || typeof entry.t !== 'number' || !('v' in entry)) {
    if (entry !== undefined) removeLocal(key)
    return undefined
  }
  if (now - entry.t > maxAgeMs || entry.t > now + maxAgeMs) {
    removeLocal(key)
    return undefined
  }
  return entry.v
}

export const DAY_MS = 24 * 60 * 60 * 1000
