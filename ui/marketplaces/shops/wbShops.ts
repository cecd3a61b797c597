/**
 * The Wildberries shops of the account settings: the shop rows as the server
 * sends them, the form's checks (a bad token never leaves the device) and
 * the texts of every answer. The requests go through `ask`.
 */
import type { Payload } from '../../core/envelope'
import { isTimeout } from '../../core/requests'
import { cleanPayload } from '../payload'
import { dateText } from '../wb/wbTask'

export interface WbShop {
  sellerId: string
  title: string
  organizationName: string
  inn: string
  sellerName: string
  tradeMark: string
  sandbox: boolean
  tokenExpiresAt: string
  tokenExpired: boolean
  enabled: boolean
}

const str = (v: unknown) => (typeof v === 'string' ? v.trim() : typeof v === 'number' ? String(v) : '')

export function readShopRows(raw: unknown): WbShop[] {
  return (Array.isArray(raw) ? raw : [])
    .filter((s): s is Record<string, unknown> => typeof s === 'object' && s !== null)
    .map((s) => ({
      sellerId: str(s.sellerId),
      title: str(s.title),
      organizationName: str(s.organizationName),
      inn: str(s.inn),
      sellerName: str(s.sellerName),
      tradeMark: str(s.tradeMark),
      sandbox: s.sandbox === true,
      tokenExpiresAt: str(s.tokenExpiresAt),
      tokenExpired: s.tokenExpired === true,
      enabled: s.enabled !== false,
    }))
    .filter((s) => s.sellerId !== '')
}

export function shopTitle(s: WbShop): string {
  return s.title || 'Магазин Wildberries'
}

/** "Магазин: <sellerName> · марка <tradeMark>"; empty without either. */
export function sellerLine(s: Pick<WbShop, 'sellerName' | 'tradeMark'>): string {
  const parts = [s.sellerName ? `Магазин: ${s.sellerName}` : '', s.tradeMark ? `марка ${s.tradeMark}` : ''].filter(Boolean)
  return parts.join(' · ')
}

export interface ExpiryText {
  text: string
  expired: boolean
}

/** The token's expiry, or null when the server named no date. */
export function expiryText(s: Pick<WbShop, 'tokenExpiresAt' | 'tokenExpired'>, now: number): ExpiryText | null {
  if (s.tokenExpiresAt === '') return s.tokenExpired ? { text: 'Срок токена прошел — нужен новый токен', expired: true } : null
  const at = Date.parse(s.tokenExpiresAt)
  const date = dateText(s.tokenExpiresAt.replace(/T.*$/, ''))
  const expired = s.tokenExpired || (Number.isFinite(at) && at <= now)
  return expired ? { text: `Срок токена прошел ${date} — нужен новый токен`, expired } : { text: `Токен действует до ${date}`, expired }
}

// ---- the form's checks

export function tokenProblem(token: string): string | null {
  const t = token.trim()
  if (t === '') return 'Вставьте токен Wildberries'
  if (/\s/.test(t)) return 'В токене не должно быть пробелов и переносов строк'
  const parts = t.split('.')
  if (parts.length !== 3 || parts.some((p) => p === '')) return 'Это не похоже на токен Wildberries: в токене три части через точку'
  return null
}

export function innDigits(inn: string): string {
  return inn.replace(/\s+/g, '')
}

export function innProblem(inn: string): string | null {
  const digits = innDigits(inn)
  if (digits === '') return null
  if (!/^\d+$/.test(digits)) return 'ИНН состоит только из цифр'
  if (digits.length !== 10 && digits.length !== 12) return 'В ИНН 10 цифр у организации или 12 у предпринимателя'
  return null
}

/** A server's error as shown: a leading "wb:" removed, the first letter capitalised. */
export function cleanError(text: string): string {
  const t = text.trim().replace(/^wb:\s*/i, '')
  return t.charAt(0).toUpperCase() + t.slice(1)
}

export const SERVER_LATE = 'Сервер не ответил вовремя. Попробуйте еще раз.'
export const NOT_DONE = 'Не удалось выполнить. Проверьте связь и повторите.'

export const LIST_TIMEOUT_MS = 20_000
export const CHECK_TIMEOUT_MS = 45_000

export type Ask = (name: string, payload: Payload, timeoutMs: number) => Promise<Payload>

export interface ShopForm {
  title: string
  token: string
  inn: string
  organizationId?: string
  organizationName?: string
}

export type Result = { ok: boolean; text: string }

function failure(err: unknown): Result {
  return { ok: false, text: isTimeout(err) ? SERVER_LATE : NOT_DONE }
}

/** The first problem of the form, checked before anything is sent. */
export function formProblem(form: ShopForm): string | null {
  return tokenProblem(form.token) ?? innProblem(form.inn)
}

export async function saveShop(ask: Ask, form: ShopForm): Promise<Result> {
  const problem = formProblem(form)
  if (problem) return { ok: false, text: problem }
  const payload = cleanPayload(
    { token: form.token, title: form.title, inn: innDigits(form.inn), organizationId: form.organizationId ?? '', organizationName: form.organizationName ?? '' },
    ['title', 'organizationId', 'organizationName'],
  )
  let p: Payload
  try {
    p = await ask('wbCredentialsSave', payload, CHECK_TIMEOUT_MS)
  } catch (err) {
    return failure(err)
  }
  if (str(p.error)) return { ok: false, text: cleanError(str(p.error)) }
  if (p.saved !== true) return { ok: false, text: 'Сервер не подтвердил сохранение. Попробуйте еще раз' }
  return { ok: true, text: str(p.warning) ? `Магазин сохранен. ${str(p.warning)}` : 'Магазин сохранен, токен проверен' }
}

/** Checks the form's token (`token`) or a saved shop (`sellerId`). */
export async function checkShop(ask: Ask, what: { token: string } | { sellerId: string }, now: number): Promise<Result> {
  if ('token' in what) {
    const problem = tokenProblem(what.token)
    if (problem) return { ok: false, text: problem }
  }
  let p: Payload
  try {
    p = await ask('wbCredentialsCheck', cleanPayload('token' in what ? { token: what.token } : { sellerId: what.sellerId }), CHECK_TIMEOUT_MS)
  } catch (err) {
    return failure(err)
  }
  if (p.valid !== true) return { ok: false, text: str(p.error) ? cleanError(str(p.error)) : 'Wildberries не принял токен' }
  const expiry = expiryText({ tokenExpiresAt: str(p.tokenExpiresAt), tokenExpired: false }, now)
  const parts = [str(p.sellerName) ? `Магазин: ${str(p.sellerName)}` : '', expiry?.text ?? '', str(p.warning)].filter(Boolean)
  return { ok: true, text: parts.join('. ') }
}

export async function deleteShop(ask: Ask, sellerId: string): Promise<Result> {
  let p: Payload
  try {
    p = await ask('wbCredentialsDelete', { sellerId }, LIST_TIMEOUT_MS)
  } catch (err) {
    return failure(err)
  }
  if (p.deleted === true) return { ok: true, text: 'Магазин удален' }
  return { ok: false, text: str(p.error) ? cleanError(str(p.error)) : 'Не удалось удалить магазин' }
}

export async function listShops(ask: Ask): Promise<{ shops: WbShop[] } | { error: string }> {
  try {
    const p = await ask('wbCredentialsList', {}, LIST_TIMEOUT_MS)
    if (str(p.error)) return { error: str(p.error) }
    return { shops: readShopRows(p.shops) }
  } catch {
    return { error: 'Не удалось загрузить магазины. Проверьте связь и повторите.' }
  }
}
