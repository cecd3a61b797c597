/**
 * The device cache of lists and document contents, for offline work and for
 * showing something before the server answers. Each value is {cachedAt, data};
 * entries older than 7 days are deleted when read; at most 20 contents
 * entries are kept; a full quota evicts the oldest entries down to 10 and the
 * write is tried once more.
 */
import { DAY_MS, readLocal, removeLocal, writeLocal } from '../core/localStore'
import { readCurrentAccount } from '../core/savedAccounts'
import type { DocumentRecord, PositionRecord } from './records'

export const CACHE_PREFIX = 'zv_cache:'
export const CACHE_MAX_AGE_MS = 7 * DAY_MS
export const MAX_CONTENTS_ENTRIES = 20
export const QUOTA_KEEP_ENTRIES = 10
export const MAX_LIST_DOCUMENTS = 500
export const QUOTA_LINE = '[dataCache] квота переполнена, вытесняю старые записи'

export interface CacheEntry<T> {
  cachedAt: number
  data: T
}

/** The cache scope: the current account's id, or "shared" when there is none. */
export function cacheScope(): string {
  return readCurrentAccount()?.id || 'shared'
}

export const listKey = (type: string, scope = cacheScope()) => `${CACHE_PREFIX}list:${scope}:${type}`
export const contentsKey = (documentId: string, scope = cacheScope()) => `${CACHE_PREFIX}doc:${scope}:${documentId}`

function storage(): Storage | undefined {
  try {
    return typeof localStorage === 'undefined' ? undefined : localStorage
  } catch {
    return undefined
  }
}

function cacheKeys(): string[] {
  const s = storage()
  if (!s) return []
  const keys: string[] = []
  for (let i = 0; i < s.length; i++) {
    const k = s.key(i)
    if (k?.startsWith(CACHE_PREFIX)) keys.push(k)
  }
  return keys
}

const isContentsKey = (key: string) => key.startsWith(`${CACHE_PREFIX}doc:`)

function validEntry(v: unknown): v is CacheEntry<unknown> {
  return typeof v === 'object' && v !== null && typeof (v as CacheEntry<unknown>).cachedAt === 'number' && 'data' in v
}

/** The entry when it is younger than 7 days; an expired or unreadable entry is deleted and reads as absent. */
export function readEntry<T>(key: string, now = Date.now()): CacheEntry<T> | undefined {
  const v = readLocal<unknown>(key)
  if (v === undefined) return undefined
  if (!validEntry(v) || now - v.cachedAt > CACHE_MAX_AGE_MS) {
    removeLocal(key)
    return undefined
  }
  return v as CacheEntry<T>
}

/** Entries with their time, oldest first (unreadable ones count as oldest). */
function entriesByAge(keys: string[]): Array<{ key: string; cachedAt: number }> {
  return keys
    .map((key) => {
      const v = readLocal<unknown>(key)
      return { key, cachedAt: validEntry(v) ? v.cachedAt : -Infinity }
    })
    .sort((a, b) => a.cachedAt - b.cachedAt)
}

/** Deletes the oldest of `keys` until `keep` remain; `spare` is never deleted. */
function trim(keys: string[], keep: number, spare?: string): void {
  const others = entriesByAge(keys.filter((k) => k !== spare))
  const budget = spare && keys.includes(spare) ? keep - 1 : keep
  for (const e of others.slice(0, Math.max(0, others.length - budget))) removeLocal(e.key)
}

/** Writes one entry; on a full quota evicts down to 10 entries and tries once more. Keeps the newest 20 contents entries. */
export function writeEntry(key: string, data: unknown, now = Date.now()): boolean {
  const entry: CacheEntry<unknown> = { cachedAt: now, data }
  let ok = writeLocal(key, entry)
  if (!ok && storage()) {
    console.warn(QUOTA_LINE)
    trim(cacheKeys(), QUOTA_KEEP_ENTRIES, key)
    ok = writeLocal(key, entry)
  }
  if (ok && isContentsKey(key)) trim(cacheKeys().filter(isContentsKey), MAX_CONTENTS_ENTRIES, key)
  return ok
}

// ---- lists and contents

/** The cached list of a type: documents without positions, newest write wins. */
export function readCachedList(type: string, now = Date.now()): CacheEntry<DocumentRecord[]> | undefined {
  const e = readEntry<unknown>(listKey(type), now)
  if (!e || !Array.isArray(e.data)) return undefined
  return { cachedAt: e.cachedAt, data: e.data as DocumentRecord[] }
}

/** Keeps up to 500 documents of a type, each with its positions emptied. */
export function writeCachedList(type: string, documents: DocumentRecord[], now = Date.now()): boolean {
  const data = documents.slice(0, MAX_LIST_DOCUMENTS).map((d) => {
    const { unconfirmed: _unconfirmed, ...rest } = d
    return { ...rest, products: [] }
  })
  return writeEntry(listKey(type), data, now)
}

export function readCachedContents(documentId: string, now = Date.now()): CacheEntry<PositionRecord[]> | undefined {
  const e = readEntry<unknown>(contentsKey(documentId), now)
  if (!e || !Array.isArray(e.data)) return undefined
  return { cachedAt: e.cachedAt, data: e.data as PositionRecord[] }
}

/** Keeps the positions as the server sent them: nothing picked yet. */
export function writeCachedContents(documentId: string, positions: PositionRecord[], now = Date.now()): boolean {
  const data = positions.map((p) => ({ ...p, checked: 0, status: 'pending' as const }))
  return writeEntry(contentsKey(documentId), data, now)
}

/**
 * Start-up clean-up: keys of the old layout (without an account part) go,
 * expired entries go, and the contents entries are trimmed to 20.
 */
export function cleanDeviceCache(now = Date.now()): void {
  for (const key of cacheKeys()) {
    const rest = key.slice(CACHE_PREFIX.length)
    const kind = rest.slice(0, rest.indexOf(':') + 1)
    const tail = rest.slice(kind.length)
    if ((kind !== 'list:' && kind !== 'doc:') || !tail.includes(':')) {
      removeLocal(key)
      continue
    }
    readEntry(key, now) // deletes it when expired or unreadable
  }
  trim(cacheKeys().filter(isContentsKey), MAX_CONTENTS_ENTRIES)
}
