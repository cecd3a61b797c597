/**
 * The eight-digit device code from the personal cabinet: how the field keeps
 * it, how a QR code yields it, and what a refused sign-in shows. Pure.
 */
import { deepLinkActions } from '../deepLinks'

export const DEVICE_CODE_DIGITS = 8
/** "NNNN-NNNN" */
export const DEVICE_CODE_LENGTH = 9

/** "1234" → "1234-", "12345678" → "1234-5678": the dash appears once four digits are there. */
export function formatDeviceCode(digits: string): string {
  const d = digits.replace(/\D/g, '').slice(0, DEVICE_CODE_DIGITS)
  return d.length >= 4 ? `${d.slice(0, 4)}-${d.slice(4)}` : d
}

/**
 * The field's new text after an edit: digits only, at most eight, shown with
 * the dash. Deleting the dash (the text was "1234-" and is now "1234") also
 * deletes the fourth digit, otherwise the dash would come straight back.
 */
export function deviceCodeInput(previous: string, typed: string): string {
  let digits = typed.replace(/\D/g, '')
  const dashDeleted = previous.charAt(4) === '-' && !typed.includes('-') && typed.length === previous.length - 1
  if (dashDeleted) digits = digits.slice(0, 3) + digits.slice(4)
  return formatDeviceCode(digits)
}

export function isCompleteDeviceCode(text: string): boolean {
  return /^\d{4}-\d{4}$/.test(text)
}

export const QR_NO_CODE = 'В QR-коде нет 8-значного кода устройства. Попробуйте еще раз или войдите по PIN-коду.'

/**
 * The device code in a scanned QR code: the code of a "tsd-auth://pin/<code>"
 * link, else the text itself; its digits must number exactly eight.
 */
export function deviceCodeFromQr(text: string): { code: string } | { error: string } {
  const pin = deepLinkActions(text.trim()).find((a) => a.kind === 'pin')
  const source = pin?.kind === 'pin' ? pin.pin : text
  const digits = source.replace(/\D/g, '')
  if (digits.length !== DEVICE_CODE_DIGITS) return { error: QR_NO_CODE }
  return { code: formatDeviceCode(digits) }
}

export const DEVICE_AUTH_TEXTS = {
  timeout: 'Сервер не ответил вовремя. Попробуйте еще раз. (651273)',
  invalid: 'Неверный код или истек срок действия.',
  empty: 'Ошибка авторизации. Попробуйте еще раз.',
} as const

/** What the screen shows for a refused `deviceAuth`: a text, or a lock-out of some seconds without one. */
export type DeviceAuthOutcome = { message: string } | { lockSeconds: number }

export function deviceAuthOutcome(errorMessage: string): DeviceAuthOutcome {
  if (errorMessage === 'timeout') return { message: DEVICE_AUTH_TEXTS.timeout }
  const lock = /too many attempts.*?(\d+)s/i.exec(errorMessage)
  if (lock) return { lockSeconds: Number(lock[1]) }
  if (/invalid|expired/i.test(errorMessage)) return { message: DEVICE_AUTH_TEXTS.invalid }
  if (errorMessage.trim() !== '') return { message: errorMessage }
  return { message: DEVICE_AUTH_TEXTS.empty }
}
