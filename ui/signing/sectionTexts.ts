/**
 * The texts of the "🔐 Честный Знак" settings section, as pure functions of
 * what the section knows: the tools' status, the certificates, the consent,
 * the server's token and the readiness to ask for one.
 */
import { displayName, isCertificateValid, type Certificate } from './certificates'
import type { CryptoStatus } from './cryptoHost'
import { MONTHS_GENITIVE } from '../core/ruDates'

/** "CP-2" with certmgr, "CP-1" with only cryptcp, "CP-0" with neither; "T" when csptest is there. None when available. */
export function supportCode(status: CryptoStatus): string | null {
  if (status.available) return null
  const base = status.certmgrPath ? 'CP-2' : status.cryptcpPath ? 'CP-1' : 'CP-0'
  return status.csptestPath ? `${base}T` : base
}

export function cryptoStatusText(status: CryptoStatus | null): string {
  if (!status) return 'Проверяем…'
  if (status.available) return status.version ?? 'Установлен'
  const found = status.certmgrPath || status.cryptcpPath ? 'Найден не полностью' : 'Не найден'
  return `${found} · ${supportCode(status)}`
}

export function cryptoMissingHint(status: CryptoStatus): string {
  return status.certmgrPath || status.cryptcpPath
    ? 'КриптоПро установлен, но приложение нашло не все, что ему нужно. Укажите каталог, в который установлен КриптоПро.'
    : 'КриптоПро не найден. Если он установлен — укажите каталог установки.'
}

/** The certificate's button: name, INN, and its state (an expired one cannot be chosen). */
export function certificateButton(cert: Certificate, now = Date.now()): { text: string; disabled: boolean } {
  const inn = cert.inn ? `ИНН ${cert.inn}` : 'без ИНН'
  const valid = isCertificateValid(cert, now)
  const state = !valid
    ? ' · срок истек'
    : !cert.hasPrivateKey
      ? ' · ключ не привязан — установите из контейнера'
      : cert.validTo
        ? ` · до ${cert.validTo}`
        : ''
  return { text: `${displayName(cert)} · ${inn}${state}`, disabled: !valid }
}

/** "5 июня, 14:07" in local time. */
export function dateText(ms: number): string {
  const d = new Date(ms)
  return `${d.getDate()} ${MONTHS_GENITIVE[d.getMonth()]}, ${String(d.getHours()).padStart(2, '0')}:${String(d.getMinutes()).padStart(2, '0')}`
}

/** What is left of a token: under a minute, minutes, hours and minutes, or days. */
export function timeLeftText(ms: number): string {
  const minutes = Math.floor(ms / 60_000)
  if (minutes < 1) return 'меньше минуты'
  if (minutes < 60) return `${minutes} мин`
  const hours = Math.floor(minutes / 60)
  if (hours < 24) return `${hours} ч ${minutes % 60} мин`
  return `${Math.floor(hours / 24)} дн`
}

/** The answer of `czTokenStatus` as the section keeps it. */
export interface TokenStatus {
  hasToken: boolean
  expireDate: string | null
  inn: string | null
  stand: 'prod' | 'sandbox'
  thumbprint: string | null
  error: string | null
}

export function readTokenStatus(p: Record<string, unknown>): TokenStatus {
  const text = (v: unknown) => (typeof v === 'string' && v !== '' ? v : null)
  return {
    hasToken: p.hasToken === true,
    expireDate: text(p.expireDate),
    inn: text(p.inn),
    stand: p.stand === 'sandbox' ? 'sandbox' : 'prod',
    thumbprint: text(p.thumbprint),
    error: text(p.error),
  }
}

/** Where the token status stands: not asked yet, no channel, the request failed, or an answer. */
export type TokenState =
  | { kind: 'unknown' }
  | { kind: 'offline' }
  | { kind: 'failed' }
  | { kind: 'answer'; status: TokenStatus }

export function tokenStatusText(state: TokenState, now = Date.now()): string {
  if (state.kind === 'unknown') return 'Неизвестно — сервер еще не ответил'
  if (state.kind === 'offline') return 'Нет связи с сервером'
  if (state.kind === 'failed') return 'Сервер не ответил про токен'
  const s = state.status
  if (s.error) return s.error
  if (!s.hasToken) return 'Токен не получен'
  const expires = s.expireDate ? Date.parse(s.expireDate) : NaN
  let text = 'Токен получен'
  if (Number.isFinite(expires))
    text = expires <= now ? `Токен истек ${dateText(expires)}` : `Действует до ${dateText(expires)} · осталось ${timeLeftText(expires - now)}`
  if (s.inn) text += ` · ИНН ${s.inn}`
  if (s.stand === 'sandbox') text += ' · демо-стенд'
  return text
}

/** Why "🔑 Получить токен" cannot be pressed, checked in this order; null when it can. */
export function tokenReadiness(r: { connected: boolean; available: boolean; chosen: boolean; consent: boolean }): string | null {
  if (!r.connected) return 'Нет связи с сервером — в Честный Знак ходит он'
  if (!r.available) return 'КриптоПро не найден — подписывать нечем'
  if (!r.chosen) return 'Сертификат не выбран'
  if (!r.consent) return 'Нет разрешения на подпись — выдайте его выше'
  return null
}

const STAGE_TEXT: Record<string, string> = {
  key: 'Честный Знак не дал строку для подписи',
  sign: 'Подписать не удалось',
  signIn: 'Честный Знак не принял подпись',
}

/** The line under the token button after `czAuthCheck`. */
export function authCheckText(result: Record<string, unknown>, statusText: string): string {
  if (result.ok === true) return `✅ Токен получен. ${statusText}`
  const stage = typeof result.stage === 'string' && Object.hasOwn(STAGE_TEXT, result.stage) ? STAGE_TEXT[result.stage]! : 'Авторизация не прошла'
  return `❌ ${stage}${typeof result.error === 'string' && result.error ? `: ${result.error}` : ''}`
}

export const AUTH_CHECK_TIMEOUT_TEXT = '❌ Сервер не ответил за минуту — проверьте, что он умеет команду czAuthCheck'

/** How a certificate is named in a notice: «name» when it is in the local list, else by its last 6 characters. */
export function certificateRef(thumbprint: string, list: readonly Certificate[]): string {
  const cert = list.find((c) => c.thumbprint.toLowerCase() === thumbprint.toLowerCase())
  return cert ? `«${displayName(cert)}»` : `с отпечатком …${thumbprint.slice(-6)}`
}

const innOf = (thumbprint: string, list: readonly Certificate[]) =>
  list.find((c) => c.thumbprint.toLowerCase() === thumbprint.toLowerCase())?.inn ?? null

/** The notice when the token was obtained with another certificate than the chosen one. */
export function tokenMismatchNotice(tokenThumbprint: string | null, chosen: string | null, list: readonly Certificate[]): string | null {
  if (!tokenThumbprint || !chosen || tokenThumbprint.toLowerCase() === chosen.toLowerCase()) return null
  const a = innOf(tokenThumbprint, list)
  const b = innOf(chosen, list)
  const people =
    a && b
      ? a !== b
        ? 'Это сертификаты разных людей: подпись другого человека Честный Знак не примет. '
        : 'Оба на один ИНН — скорее всего, документ пройдет, но надежнее подписывать тем, которым получен токен. '
      : 'Подписывать нужно сертификатом того же человека, которым получен токен: сертификат другого человека Честный Знак не примет. '
  return (
    `Токен Честного Знака получен сертификатом ${certificateRef(tokenThumbprint, list)}, а подписывать выбран ${certificateRef(chosen, list)}. ` +
    people +
    'Выберите тот же сертификат — или нажмите «Получить токен», чтобы выдать его на выбранный.'
  )
}

/** The notice when the account's certificate on the server differs from the chosen one; `canChoose` offers the button. */
export function serverMismatchNotice(
  serverThumbprint: string | null,
  chosen: string | null,
  list: readonly Certificate[] | null,
): { text: string; canChoose: boolean } | null {
  if (!serverThumbprint || !chosen || serverThumbprint.toLowerCase() === chosen.toLowerCase()) return null
  const known = list ?? []
  const head =
    `В кабинете выбран сертификат ${certificateRef(serverThumbprint, known)}, а на этом компьютере — ${certificateRef(chosen, known)}. ` +
    'Запросы подписи придут для сертификата из кабинета, и приложение их отклонит. '
  const missing = list !== null && !list.some((c) => c.thumbprint.toLowerCase() === serverThumbprint.toLowerCase())
  if (missing)
    return {
      text: head + 'На этом компьютере такого сертификата нет: выберите в кабинете тот, что здесь, или нажмите «Получить токен» — сервер перейдет на выбранный здесь.',
      canChoose: false,
    }
  return { text: head + 'Нажмите «Выбрать как в кабинете» — или «Получить токен», чтобы сервер перешел на выбранный здесь.', canChoose: true }
}

/** The organisation's INN field: empty (take the certificate's), or 10 or 12 digits. */
export function organizationInnError(value: string): string | null {
  const v = value.trim()
  if (v === '') return null
  if (!/^\d+$/.test(v)) return 'ИНН состоит только из цифр'
  if (v.length !== 10 && v.length !== 12) return 'В ИНН 10 цифр у организации или 12 у предпринимателя'
  return null
}

export const STANDS = {
  prod: {
    label: 'Промышленный контур',
    description: 'Настоящая маркировка: документы уходят в ГИС МТ, коды выводятся из оборота на самом деле.',
  },
  sandbox: {
    label: 'Демо-стенд (песочница ЦРПТ)',
    description:
      'Проверочный контур ЦРПТ: коды из оборота не выводятся по-настоящему, документы в настоящую маркировку не попадают. Для работы со складом не годится.',
  },
} as const

/** Counts taps on the title: the `need`-th tap with at most `gapMs` between taps opens; a longer pause starts over. */
export function createTapCounter(need = 10, gapMs = 3000) {
  let count = 0
  let last = -Infinity
  return (now: number): boolean => {
    count = now - last <= gapMs ? count + 1 : 1
    last = now
    return count >= need
  }
}
