/**
 * Quick-login accounts ("zv_accounts", newest last) and the current account
 * ("zv_current_account"). Unreadable values read as none.
 */
import { readLocal, removeLocal, writeLocal } from './localStore'
import { randomId } from './randomId'
import { settingsChangeHooks } from './settings/changeHooks'

export const ACCOUNTS_KEY = 'zv_accounts'
export const CURRENT_ACCOUNT_KEY = 'zv_current_account'
export const DEFAULT_ACCOUNT_NAME = 'Пользователь'

export interface SavedAccount {
  id: string
  /** ms since the epoch */
  addedAt: number
  /** six-digit quick-login PIN, unique among the device's accounts */
  pin: string
  deviceJwt: string
  refreshToken: string
  name: string
  /** per-account copy of sound and work settings */
  settings: Record<string, unknown>
}

export interface CurrentAccount {
  id: string
  name: string
}

function normalise(raw: unknown): SavedAccount | undefined {
  if (typeof raw !== 'object' || raw === null) return undefined
  const a = raw as Record<string, unknown>
  if (typeof a.id !== 'string' || a.id === '' || typeof a.deviceJwt !== 'string' || a.deviceJwt === '') return undefined
  return {
    id: a.id,
    addedAt: typeof a.addedAt === 'number' ? a.addedAt : 0,
    pin: typeof a.pin === 'string' ? a.pin : '',
    deviceJwt: a.deviceJwt,
    refreshToken: typeof a.refreshToken === 'string' ? a.refreshToken : '',
    name: typeof a.name === 'string' && a.name.trim() !== '' ? a.name : DEFAULT_ACCOUNT_NAME,
    settings: typeof a.settings === 'object' && a.settings !== null && !Array.isArray(a.settings) ? (a.settings as Record<string, unknown>) : {},
  }
}

export function readSavedAccounts(): SavedAccount[] {
  const raw = readLocal<unknown>(ACCOUNTS_KEY)
  if (!Array.isArray(raw)) return []
  return raw.map(normalise).filter((a): a is SavedAccount => a !== undefined)
}

/** false when the storage refused the write */
export function writeSavedAccounts(list: SavedAccount[]): boolean {
  return writeLocal(ACCOUNTS_KEY, list)
}

export function newestSavedAccount(): SavedAccount | undefined {
  return readSavedAccounts().at(-1)
}

export function findAccountByPin(pin: string): SavedAccount | undefined {
  return readSavedAccounts().find((a) => a.pin === pin)
}

export function findAccountByJwt(deviceJwt: string): SavedAccount | undefined {
  return readSavedAccounts().find((a) => a.deviceJwt === deviceJwt)
}

export function isPinTaken(pin: string): boolean {
  return findAccountByPin(pin) !== undefined
}

export class SavedAccountError extends Error {
  constructor(readonly reason: 'pin-taken' | 'storage') {
    super(reason === 'pin-taken' ? 'PIN уже занят' : 'не удалось сохранить аккаунт')
    this.name = 'SavedAccountError'
  }
}

/** Appends an account (newest last); throws SavedAccountError when the PIN is taken or the storage refused. */
export function addSavedAccount(
  fields: { pin: string; deviceJwt: string; refreshToken: string; name?: string; settings?: Record<string, unknown> },
  now = Date.now(),
): SavedAccount {
  const list = readSavedAccounts()
  if (list.some((a) => a.pin === fields.pin)) throw new SavedAccountError('pin-taken')
  const account: SavedAccount = {
    id: randomId(now),
    addedAt: now,
    pin: fields.pin,
    deviceJwt: fields.deviceJwt,
    refreshToken: fields.refreshToken,
    name: fields.name?.trim() || DEFAULT_ACCOUNT_NAME,
    settings: fields.settings ?? {},
  }
  if (!writeSavedAccounts([...list, account])) throw new SavedAccountError('storage')
  return account
}

/** Removes the accounts that match; answers the removed ones. */
export function removeSavedAccounts(match: (a: SavedAccount) => boolean): SavedAccount[] {
  const list = readSavedAccounts()
  const removed = list.filter(match)
  if (removed.length) writeSavedAccounts(list.filter((a) => !match(a)))
  return removed
}

/** Replaces the tokens of the account holding `oldJwt`, keeping its refresh token when none came. */
export function replaceAccountTokens(oldJwt: string, deviceJwt: string, refreshToken?: string): boolean {
  const list = readSavedAccounts()
  const account = list.find((a) => a.deviceJwt === oldJwt)
  if (!account) return false
  account.deviceJwt = deviceJwt
  if (refreshToken) account.refreshToken = refreshToken
  return writeSavedAccounts(list)
}

/** Merges a settings copy into an account's own. */
export function mergeAccountSettings(id: string, settings: Record<string, unknown>): boolean {
  const list = readSavedAccounts()
  const account = list.find((a) => a.id === id)
  if (!account) return false
  account.settings = deepMerge(account.settings, settings)
  return writeSavedAccounts(list)
}

function deepMerge(base: Record<string, unknown>, patch: Record<string, unknown>): Record<string, unknown> {
  const out: Record<string, unknown> = { ...base }
  for (const [k, v] of Object.entries(patch)) {
    const prev = out[k]
    out[k] =
      typeof v === 'object' && v !== null && !Array.isArray(v) && typeof prev === 'object' && prev !== null && !Array.isArray(prev)
        ? deepMerge(prev as Record<string, unknown>, v as Record<string, unknown>)
        : v
  }
  return out
}

// ---- current account

export function readCurrentAccount(): CurrentAccount | null {
  const raw = readLocal<unknown>(CURRENT_ACCOUNT_KEY)
  if (typeof raw !== 'object' || raw === null) return null
  const c = raw as Record<string, unknown>
  if (typeof c.id !== 'string' || c.id === '') return null
  return { id: c.id, name: typeof c.name === 'string' ? c.name : '' }
}

export function setCurrentAccount(account: CurrentAccount): boolean {
  return writeLocal(CURRENT_ACCOUNT_KEY, { id: account.id, name: account.name })
}

export function clearCurrentAccount(): void {
  removeLocal(CURRENT_ACCOUNT_KEY)
}

/** The cache scope of the data cache: the current account's id, or "shared". */
export function cacheScope(): string {
  return readCurrentAccount()?.id ?? 'shared'
}

/** Every change made in the settings screen goes into the current account's copy. */
export function keepAccountSettingsCopies(): () => void {
  return settingsChangeHooks.add((copy) => {
    const current = readCurrentAccount()
    if (current) mergeAccountSettings(current.id, copy as unknown as Record<string, unknown>)
  })
}
