/**
 * Sign-in by phone: the number's normalisation and display, the send
 * button's state, the SMS code field and what each refusal shows. Pure.
 */
import { isTimeout, PhoneAuthError } from '../requests'
import { humaniseDurations } from './durations'

/** Digits of a Russian mobile number as the server wants them: 79 and nine digits (or less while typing). */
export function normalisePhone(text: string): string {
  let d = text.replace(/\D/g, '')
  if (d.length === 11 && d.startsWith('8')) d = `7${d.slice(1)}`
  else if (d.length === 10) d = `7${d}`
  return d
}

export function isValidPhone(digits: string): boolean {
  return /^79\d{9}$/.test(digits)
}

/** "79001234567" → "+7 900 123-45-67". */
export function formatPhone(digits: string): string {
  const m = /^7(\d{3})(\d{3})(\d{2})(\d{2})$/.exec(digits)
  return m ? `+7 ${m[1]} ${m[2]}-${m[3]}-${m[4]}` : digits
}

export const SEND_HINTS = {
  sending: 'SMS отправляется по очереди — это может занять до двух минут.',
  cooldown: 'SMS иногда идет до минуты. Если не пришла — повторите, когда счетчик закончится.',
  badPhone: 'Номер мобильного телефона — 10 цифр после восьмерки или +7.',
} as const

export interface SendState {
  sending: boolean
  cooldownLeft: number
  /** what was typed */
  phoneText: string
  offerAccepted: boolean
  privacyAccepted: boolean
}

export interface SendButton {
  enabled: boolean
  label: string
  hint: string
}

export function consentHint(offer: boolean, privacy: boolean): string {
  const what =
    !offer && !privacy
      ? 'согласие с офертой и на обработку персональных данных'
      : !offer
        ? 'согласие с офертой'
        : 'согласие на обработку персональных данных'
  return `Отметьте ${what} — без этого мы не можем отправить SMS на ваш номер.`
}

/** The first rule that holds decides: sending, cool-down, a bad number, a missing consent, else ready. */
export function sendButton(s: SendState): SendButton {
  if (s.sending) return { enabled: false, label: 'Отправляем…', hint: SEND_HINTS.sending }
  if (s.cooldownLeft > 0) return { enabled: false, label: `Отправить код повторно через ${s.cooldownLeft} с`, hint: SEND_HINTS.cooldown }
  if (!isValidPhone(normalisePhone(s.phoneText)))
    return { enabled: false, label: 'Получить код', hint: /\d/.test(s.phoneText) ? SEND_HINTS.badPhone : '' }
  if (!s.offerAccepted || !s.privacyAccepted) return { enabled: false, label: 'Получить код', hint: consentHint(s.offerAccepted, s.privacyAccepted) }
  return { enabled: true, label: 'Получить код', hint: '' }
}

export const DEFAULT_CODE_LENGTH = 8

/** The code field keeps digits, at most the code's length (eight when unknown). */
export function codeInput(text: string, codeLength?: number): string {
  return text.replace(/\D/g, '').slice(0, codeLength && codeLength > 0 ? codeLength : DEFAULT_CODE_LENGTH)
}

/** Complete at exactly the known length, else at four to eight digits. */
export function isCompleteCode(code: string, codeLength?: number): boolean {
  if (!/^\d+$/.test(code)) return false
  return codeLength && codeLength > 0 ? code.length === codeLength : code.length >= 4 && code.length <= DEFAULT_CODE_LENGTH
}

/** Six-digit codes read "123-456", eight-digit ones "1234-5678". */
export function formatCode(code: string): string {
  if (code.length === 6) return `${code.slice(0, 3)}-${code.slice(3)}`
  if (code.length === 8) return `${code.slice(0, 4)}-${code.slice(4)}`
  return code
}

export const PHONE_TEXTS = {
  timeout: 'Сервер не ответил вовремя. Попробуйте еще раз.',
  requestUnconfirmed:
    'Не дождались подтверждения отправки. Если SMS придет — введите код. Если нет — отправьте код еще раз или войдите по пин-коду.',
  msUnavailable: 'МойСклад не ответил. Попробуйте через минуту.',
  notConfigured: 'Регистрация по телефону на сервере пока не включена. Войдите по пин-коду.',
  gateway: 'Временный сбой отправки SMS. Повторите через пару минут или войдите по пин-коду.',
  smsDisabled: 'Вход по телефону на сервере пока не включен. Войдите по пин-коду.',
  blacklisted: 'Отправить код на этот номер нельзя. Войдите по пин-коду или напишите в поддержку.',
  wrongCode: 'Код не подошел. Проверьте последнюю SMS — код из предыдущей уже не действует.',
  notNow: 'Войти по телефону сейчас не получится. Попробуйте позже или войдите по пин-коду.',
  failedNoText: 'Войти не удалось. Проверьте связь и попробуйте еще раз.',
} as const

export const SMS_COOLDOWN_SEC = 60

const GATEWAY = new Set(['gateway_unavailable', 'internal', 'no_network', 'modem_unavailable'])
const BACK_TO_PHONE = new Set(['no_code', 'locked', 'registration_expired'])
const SERVER_TEXT = new Set([
  'bad_phone',
  'phone_not_found',
  'too_many_requests',
  'empty_code',
  'wrong_code',
  'locked',
  'no_code',
  'cooldown',
  'daily_limit',
  'bad_ms_token',
  'registration_expired',
])

/** A refusal of the phone commands as the screen sees it. */
export interface PhoneRefusal {
  /** `errorCode`; "" for a failure that is not the server's refusal */
  code: string
  /** the server's own text ("" when it sent none) */
  text: string
  retryAfter?: number
  timeout?: boolean
}

export interface PhoneOutcome {
  message: string
  /** seconds before a code may be asked for again */
  cooldown?: number
  /** the code step closes and the number is asked again */
  backToPhone: boolean
}

export function phoneOutcome(r: PhoneRefusal): PhoneOutcome {
  if (r.timeout) return { message: PHONE_TEXTS.timeout, backToPhone: false }
  const text = humaniseDurations(r.text.trim())
  const out: PhoneOutcome = { message: '', backToPhone: BACK_TO_PHONE.has(r.code) }
  if (r.retryAfter !== undefined && r.retryAfter > 0) out.cooldown = Math.ceil(r.retryAfter)
  else if (GATEWAY.has(r.code)) out.cooldown = SMS_COOLDOWN_SEC

  if (r.code === 'ms_unavailable') out.message = text || PHONE_TEXTS.msUnavailable
  else if (r.code === 'not_configured') out.message = PHONE_TEXTS.notConfigured
  else if (GATEWAY.has(r.code)) out.message = PHONE_TEXTS.gateway
  else if (r.code === 'sms_disabled') out.message = PHONE_TEXTS.smsDisabled
  else if (r.code === 'blacklisted') out.message = PHONE_TEXTS.blacklisted
  else if (SERVER_TEXT.has(r.code)) out.message = text || (r.code === 'wrong_code' ? PHONE_TEXTS.wrongCode : PHONE_TEXTS.notNow)
  else out.message = text ? `Войти не удалось: «${text}». Если повторится — напишите в поддержку.` : PHONE_TEXTS.failedNoText
  return out
}

/** A MoySklad token: at least 20 characters, no white space. */
export function isMoyskladToken(text: string): boolean {
  return text.length >= 20 && !/\s/.test(text)
}

/** Any failure of a phone command as a PhoneRefusal; a lost channel has no code and no text. */
export function phoneRefusalFrom(err: unknown): PhoneRefusal {
  if (isTimeout(err)) return { code: '', text: '', timeout: true }
  if (err instanceof PhoneAuthError) {
    // Without `error` the message is the code itself: that is no text to show.
    const text = err.message !== err.code ? err.message : ''
    return { code: err.code, text, ...(err.retryAfter !== undefined ? { retryAfter: err.retryAfter } : {}) }
  }
  return { code: '', text: '' }
}
