/** The account's working mode ("zv_account_mode"): with or without MoySklad, and the profile. */
import { normaliseProfile } from './accountDescription'
import { readLocal, writeLocal } from './localStore'

export const ACCOUNT_MODE_KEY = 'zv_account_mode'

export interface AccountMode {
  /** false only when the account works without MoySklad */
  moysklad: boolean
  profile: '' | 'radio' | 'orders'
}

/** The mode in an answer of `deviceWhoAmI` or of the phone registration. */
export function accountModeFrom(payload: unknown): AccountMode {
  const p = typeof payload === 'object' && payload !== null ? (payload as Record<string, unknown>) : {}
  return { moysklad: p.moysklad !== false, profile: normaliseProfile(p.profile) }
}

export function readAccountMode(): AccountMode {
  const raw = readLocal<unknown>(ACCOUNT_MODE_KEY)
  if (typeof raw !== 'object' || raw === null || Array.isArray(raw)) return { moysklad: true, profile: '' }
  return accountModeFrom(raw)
}

export function writeAccountMode(mode: AccountMode): boolean {
  return writeLocal(ACCOUNT_MODE_KEY, { moysklad: mode.moysklad, profile: mode.profile })
}
