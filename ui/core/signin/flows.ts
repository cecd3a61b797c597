/**
 * What the sign-in screens do to the session: device code, PIN creation,
 * quick login, worker sign-in, end of shift, the working mode and unbinding
 * accounts. The screens call these and only show the outcome; navigation is
 * left to them (or passed in where its failure matters).
 */
import { isNavigationFailure } from 'vue-router'
import { clearAnonJwt } from '../anonToken'
import { useAccountStore } from '../accountStore'
import { readAccountMode, writeAccountMode } from '../accountMode'
import { normaliseProfile } from '../accountDescription'
import { useAuthStore } from '../authStore'
import { errorText } from '../bridge'
import { readLocal, writeLocal } from '../localStore'
import { RefusalError } from '../requests'
import {
  addSavedAccount,
  findAccountByPin,
  isPinTaken,
  readSavedAccounts,
  SavedAccountError,
  setCurrentAccount,
  type SavedAccount,
} from '../savedAccounts'
import {
  command,
  connectSocket,
  currentChannel,
  deauthorizeDevice,
  deviceAuth,
  disconnectSocket,
  enterDemoMode,
  isDemoMode,
  leaveDemoMode,
  restartCapabilitiesWait,
  retryAccountDescription,
  revokeSavedSession,
  userPinAuth,
  workerAuth,
} from '../session'
import { useSettingsStore } from '../settings'
import { revokeNotice } from './authorizations'

export const PIN_LENGTH = 6
export const DEVICE_TYPE_ASKED_KEY = 'zv_device_type_asked'

// ---- device code

export interface NewDevice {
  deviceJwt: string
  refreshToken: string
  userName?: string
}

/** Signs the device in with "NNNN-NNNN"; rejects with the server's text (or "timeout"). */
export async function signInWithDeviceCode(code: string): Promise<NewDevice> {
  useAccountStore().reset()
  const t = await deviceAuth(code)
  clearAnonJwt()
  return { deviceJwt: t.token, refreshToken: t.refreshToken }
}

/** "/create-pin" with the new tokens. */
export function createPinRoute(d: NewDevice) {
  const query: Record<string, string> = { deviceJwt: d.deviceJwt, refreshToken: d.refreshToken }
  if (d.userName) query.userName = d.userName
  return { path: '/create-pin', query }
}

// ---- PIN creation

/**
 * Opens the channel with the new device token and asks who it is; answers
 * the display name (the server's full name, else first and last name, else
 * `fallbackName`).
 */
export async function beginPinCreation(deviceJwt: string, fallbackName = ''): Promise<string> {
  useAuthStore().setDeviceJwt(deviceJwt)
  if (currentChannel()?.token !== deviceJwt) {
    disconnectSocket()
    connectSocket()
  }
  if (!(await retryAccountDescription())) return fallbackName.trim()
  const d = useAccountStore().description
  if (!d) return fallbackName.trim()
  return d.fullName.trim() || `${d.firstName} ${d.lastName}`.trim() || fallbackName.trim()
}

export const PIN_TEXTS = {
  taken: 'Этот PIN уже занят другим сотрудником на этом устройстве. Придумайте другой.',
  repeat: 'Повторите PIN-код',
  mismatch: 'PIN-коды не совпали. Начните заново: введите PIN-код, затем повторите его.',
  saving: 'Сохраняем PIN и подключаем устройство…',
  saveFailed: 'Не удалось сохранить PIN на устройстве. Проверьте свободное место и повторите.',
  openFailed: 'PIN сохранен, но приложение не открылось. Нажмите «Открыть приложение».',
  openFailedAgain: 'Не удалось открыть приложение. Закройте его и запустите снова.',
} as const

/** The first entry of a new PIN: refused when another account of this device has it. */
export function firstPinEntry(pin: string): { ok: true } | { ok: false; message: string } {
  return isPinTaken(pin) ? { ok: false, message: PIN_TEXTS.taken } : { ok: true }
}

export type SaveOutcome = { ok: true; account: SavedAccount } | { ok: false; reason: 'pin-taken' | 'storage' }

/**
 * Keeps the new account with its PIN, drops the anonymous token and signs the
 * worker in. Nothing is half-saved: when the account could not be written,
 * nothing else has changed and saving can be repeated.
 */
export function savePinAccount(pin: string, d: NewDevice, now = Date.now()): SaveOutcome {
  let account: SavedAccount
  try {
    account = addSavedAccount({ pin, deviceJwt: d.deviceJwt, refreshToken: d.refreshToken, name: d.userName }, now)
  } catch (err) {
    if (err instanceof SavedAccountError) return { ok: false, reason: err.reason }
    return { ok: false, reason: 'storage' }
  }
  clearAnonJwt()
  const auth = useAuthStore()
  auth.setDeviceJwt(account.deviceJwt)
  auth.setWorkerSession({ workerId: account.id, workerName: account.name, token: '' })
  setCurrentAccount({ id: account.id, name: account.name })
  return { ok: true, account }
}

/**
 * After the account is saved: on the device's first PIN the scanner switches
 * to manual entry, then the menu opens. False when the menu did not open.
 */
export async function openAppAfterPin(navigate: (path: string) => Promise<unknown>): Promise<boolean> {
  try {
    if (readLocal<unknown>(DEVICE_TYPE_ASKED_KEY) === undefined) {
      writeLocal(DEVICE_TYPE_ASKED_KEY, '1')
      const settings = useSettingsStore()
      settings.applySettings({ work: { scannerMode: 'manual' } })
      await settings.saveDeviceSettings()
    }
    const result = await navigate('/menu')
    return !isNavigationFailure(result)
  } catch (err) {
    console.warn('[вход] меню не открылось:', errorText(err))
    return false
  }
}

// ---- quick login

/**
 * Checks a PIN against this device's accounts (the PIN never leaves the
 * device). A match signs that account in and reopens the channel with its
 * token; on the first connection the server hears that a PIN was accepted.
 * No match: the server hears only that one was refused (when a channel exists).
 */
export function quickLogin(pin: string): SavedAccount | null {
  const account = findAccountByPin(pin)
  if (!account) {
    userPinAuth(false)
    return null
  }
  const auth = useAuthStore()
  auth.setDeviceJwt(account.deviceJwt)
  // After the token is in place: the capabilities kept for it stand in while the channel is away.
  restartCapabilitiesWait()
  auth.setWorkerSession({ workerId: account.id, workerName: account.name, token: '' })
  setCurrentAccount({ id: account.id, name: account.name })
  useSettingsStore().applyPersonalCopy(account.settings)
  disconnectSocket()
  connectSocket(() => userPinAuth(true))
  return account
}

export const WRONG_PIN = 'Неверный PIN-код'

// ---- worker sign-in, end of shift, demonstration

export const WORKER_CODE_WRONG = 'Неверный код. Попробуйте еще раз.'

/** Signs a worker in by badge ("qr") or PIN; false when the server refused. */
export async function signInWorker(method: 'qr' | 'pin', code: string): Promise<boolean> {
  try {
    useAuthStore().setWorkerSession(await workerAuth(method, code))
    return true
  } catch (err) {
    console.warn('[вход] сборщик не вошел:', errorText(err))
    return false
  }
}

/** "Выйти" in the menu: answers the route to show (demo mode is left for device sign-in). */
export async function endShift(): Promise<string> {
  if (isDemoMode()) {
    await leaveDemoMode()
    return '/device-auth'
  }
  useAuthStore().reset()
  return '/quick-login'
}

export function tryDemoMode(): string {
  enterDemoMode()
  return '/menu'
}

// ---- working mode

export const MODE_TEXTS = {
  forbidden: 'Режим работы выбирает администратор аккаунта',
  failed: 'Не удалось сохранить режим. Проверьте связь и попробуйте еще раз.',
} as const

export type ModeOutcome = { ok: true } | { ok: false; forbidden: boolean; message: string }

export async function chooseMode(profile: 'radio' | 'orders'): Promise<ModeOutcome> {
  try {
    const p = await command('accountProfileSet', { profile })
    writeAccountMode({ moysklad: readAccountMode().moysklad, profile: normaliseProfile(p.profile) || profile })
    return { ok: true }
  } catch (err) {
    if (err instanceof RefusalError && err.info.code === 'forbidden') return { ok: false, forbidden: true, message: MODE_TEXTS.forbidden }
    return { ok: false, forbidden: false, message: MODE_TEXTS.failed }
  }
}

// ---- unbinding

/** True for the account this device is signed in with. */
export function isCurrentAccount(account: SavedAccount): boolean {
  const auth = useAuthStore()
  return auth.workerSession?.workerId === account.id || (!!auth.deviceJwt && auth.deviceJwt === account.deviceJwt)
}

export interface UnbindOutcome {
  /** the route to show next, when the screen has to change */
  next?: string
  /** shown on the list when the server session could not be ended */
  notice: string
}

/**
 * The current account: the device is de-authorised. Another account: its
 * server session is revoked when possible and its record removed either way.
 */
export async function unbindAccount(account: SavedAccount): Promise<UnbindOutcome> {
  if (isCurrentAccount(account)) return { next: await deauthorizeDevice(), notice: '' }
  const answer = await revokeSavedSession(account.id)
  const notice = revokeNotice(answer)
  return readSavedAccounts().length === 0 ? { next: '/device-auth', notice } : { notice }
}
