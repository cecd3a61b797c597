/**
 * The Ozon shops of the account settings: the rows as the server sends them
 * (the Client-Id masked), the form's checks (bad keys never leave the
 * device) and the texts of every answer. The requests go through `ask`.
 */
import type { Payload } from '../../core/envelope'
import { isTimeout } from '../../core/requests'
import { cleanPayload } from '../payload'
import { NOT_DONE, SERVER_LATE, type Ask, type Result } from '../shops/wbShops'

export interface OzonShop {
  clientId: string
  title: string
  enabled: boolean
}

const str = (v: unknown) => (typeof v === 'string' ? v.trim() : typeof v === 'number' ? String(v) : '')

export function readOzonShops(raw: unknown): OzonShop[] {
  return (Array.isArray(raw) ? raw : [])
    .filter((s): s is Record<string, unknown> => typeof s === 'object' && s !== null)
    .map((s) => ({ clientId: str(s.clientId), title: str(s.title), enabled: s.enabled !== false }))
    .filter((s) => s.clientId !== '')
}

export const ozonShopTitle = (s: OzonShop) => s.title || 'Магазин Ozon'

/** "••••" and the last two characters; an id of up to two characters as bullets only. */
export function maskedClientId(id: string): string {
  return id.length <= 2 ? '•'.repeat(id.length) : `••••${id.slice(-2)}`
}

export interface OzonShopForm {
  title: string
  clientId: string
  apiKey: string
}

/** The first problem of the keys, checked before anything is sent. */
export function keysProblem(form: Pick<OzonShopForm, 'clientId' | 'apiKey'>): string | null {
  const id = form.clientId.trim()
  if (id === '') return 'Введите Client-Id'
  if (!/^\d+$/.test(id)) return 'Client-Id состоит только из цифр'
  const key = form.apiKey.trim()
  if (key === '') return 'Введите Api-Key'
  if (/\s/.test(key)) return 'В Api-Key не должно быть пробелов'
  return null
}

export const OZON_LIST_TIMEOUT_MS = 20_000
export const OZON_CHECK_TIMEOUT_MS = 45_000

const failure = (err: unknown): Result => ({ ok: false, text: isTimeout(err) ? SERVER_LATE : NOT_DONE })

async function asked(ask: Ask, name: string, payload: Payload, timeoutMs: number): Promise<Payload | Result> {
  try {
    return await ask(name, payload, timeoutMs)
  } catch (err) {
    return failure(err)
  }
}
const isResult = (v: Payload | Result): v is Result => typeof v.ok === 'boolean' && typeof v.text === 'string'

export async function saveOzonShop(ask: Ask, form: OzonShopForm): Promise<Result> {
  const problem = keysProblem(form)
  if (problem) return { ok: false, text: problem }
  const p = await asked(ask, 'ozonCredentialsSave', cleanPayload({ clientId: form.clientId, apiKey: form.apiKey, title: form.title }, ['title']), OZON_CHECK_TIMEOUT_MS)
  if (isResult(p)) return p
  if (str(p.error)) return { ok: false, text: str(p.error) }
  if (p.saved !== true) return { ok: false, text: 'Сервер не подтвердил сохранение. Попробуйте еще раз' }
  return { ok: true, text: str(p.warning) ? `Магазин сохранен. ${str(p.warning)}` : 'Магазин сохранен, ключи проверены' }
}

/** Checks the form's keys, or a saved shop by its Client-Id alone. */
export async function checkOzonShop(ask: Ask, keys: { clientId: string; apiKey?: string }): Promise<Result> {
  if (keys.apiKey !== undefined) {
    const problem = keysProblem({ clientId: keys.clientId, apiKey: keys.apiKey })
    if (problem) return { ok: false, text: problem }
  }
  const p = await asked(ask, 'ozonCredentialsCheck', cleanPayload({ clientId: keys.clientId, apiKey: keys.apiKey ?? '' }, ['apiKey']), OZON_CHECK_TIMEOUT_MS)
  if (isResult(p)) return p
  if (p.valid === true) return { ok: true, text: 'Ozon принял ключи' }
  return { ok: false, text: str(p.error) || 'Ozon не принял ключи' }
}

export async function deleteOzonShop(ask: Ask, clientId: string): Promise<Result> {
  const p = await asked(ask, 'ozonCredentialsDelete', { clientId }, OZON_LIST_TIMEOUT_MS)
  if (isResult(p)) return p
  if (p.deleted === true) return { ok: true, text: 'Магазин удален' }
  return { ok: false, text: str(p.error) || 'Не удалось удалить магазин' }
}

export async function listOzonShops(ask: Ask): Promise<{ shops: OzonShop[] } | { error: string }> {
  const p = await asked(ask, 'ozonCredentialsList', {}, OZON_LIST_TIMEOUT_MS)
  if (isResult(p)) return { error: 'Не удалось загрузить магазины. Проверьте связь и повторите.' }
  if (str(p.error)) return { error: str(p.error) }
  return { shops: readOzonShops(p.shops) }
}
