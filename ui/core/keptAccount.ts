/**
 * The last account description the service confirmed for each device token used on this device
 * ("zv_kept_accounts", with a copy in the host file "account.dat" in the desktop app). Without a
 * connection, or while the identity check is slow, the menu and the work kept on the device (the
 * inventory queue) go on under the account this token last belonged to instead of under no account.
 * A token never confirmed has no kept account: nothing is filed under a guess.
 */
import { writeAppLog } from './appLog'
import { isDesktopHost } from './bridge'
import { normaliseAccountDescription, type AccountDescription } from './accountDescription'
import { createDurableCopy, type CopyFile, type DurableCopy } from './durableCopy'
import { HostStore } from './hostStore'
import { readLocal, writeLocal } from './localStore'

export const KEPT_ACCOUNTS_KEY = 'zv_kept_accounts'
export const KEPT_ACCOUNTS_FILE = 'account.dat'
/** tokens remembered; the oldest confirmation goes first */
export const KEPT_MAX = 8

export interface KeptAccount { token: string; description: AccountDescription; at: number }

function readAll(): KeptAccount[] {
  const raw = readLocal<unknown>(KEPT_ACCOUNTS_KEY)
  if (!Array.isArray(raw)) return []
  const out: KeptAccount[] = []
  for (const r of raw) {
    if (!r || typeof r !== 'object') continue
    const o = r as Record<string, unknown>
    if (typeof o.token !== 'string' || o.token === '') continue
    const description = normaliseAccountDescription(o.description)
    if (description.uid === '') continue
    out.push({ token: o.token, description, at: typeof o.at === 'number' ? o.at : 0 })
  }
  return out
}

let copy: DurableCopy | null = null
let opener: (() => Promise<CopyFile>) | null | undefined

/** Uses `open` as the host file (tests), or none with null. */
export function useKeptAccountsFile(open: (() => Promise<CopyFile>) | null): void {
  opener = open
  copy = null
}

function durable(): DurableCopy | null {
  if (opener === undefined) opener = isDesktopHost() ? () => HostStore.load(KEPT_ACCOUNTS_FILE) : null
  if (!opener) return null
  copy ??= createDurableCopy<unknown[]>({
    open: opener,
    key: 'accounts',
    readLocal: () => readLocal<unknown>(KEPT_ACCOUNTS_KEY),
    writeLocal: (v) => writeLocal(KEPT_ACCOUNTS_KEY, v),
    empty: [],
    accepts: (v): v is unknown[] => Array.isArray(v),
    log: writeAppLog,
    texts: {
      notOpened: '[аккаунт] файл подтвержденного аккаунта не открылся:',
      notRead: '[аккаунт] подтвержденный аккаунт не прочитан из файла:',
      notWritten: '[аккаунт] подтвержденный аккаунт не записан в файл:',
    },
  })
  return copy
}

/** Settles once the host file's copy has been read back into local storage (at once without a host). */
export const keptAccountsReady = (): Promise<unknown> => durable()?.ready ?? Promise.resolve()

/** The account last confirmed for `token`; null for a token never confirmed here. */
export function keptAccountFor(token: string | null | undefined): AccountDescription | null {
  if (!token) return null
  return readAll().find((k) => k.token === token)?.description ?? null
}

/** Every account uid ever confirmed on this device (and still remembered). */
export const keptAccountUids = (): string[] => [...new Set(readAll().map((k) => k.description.uid))]

async function write(list: KeptAccount[]): Promise<boolean> {
  const d = durable()
  if (d) await d.ready
  writeLocal(KEPT_ACCOUNTS_KEY, list.slice(-KEPT_MAX))
  return d ? d.persist() : true
}

/** Keeps the description the service has just confirmed for `token`. */
export function keepAccount(token: string, description: AccountDescription, now = Date.now()): Promise<boolean> {
  if (!token || description.uid === '') return Promise.resolve(false)
  return write([...readAll().filter((k) => k.token !== token), { token, description, at: now }])
}

/** A renewed token keeps the account of the token it replaced. */
export function retokenKeptAccount(oldToken: string, newToken: string): Promise<boolean> {
  const all = readAll()
  const i = all.findIndex((k) => k.token === oldToken)
  if (i < 0 || !newToken || oldToken === newToken) return Promise.resolve(false)
  const moved = { ...all[i]!, token: newToken }
  return write([...all.filter((k) => k.token !== oldToken && k.token !== newToken), moved])
}
