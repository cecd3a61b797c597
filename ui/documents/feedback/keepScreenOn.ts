/**
 * Keeping the screen on while a document is open. The device's own choice
 * (local key "zv_keep_screen_on_device") wins over the account-wide setting
 * `keepScreenOn`. Requests to the host go one at a time, in order; a refused
 * request puts the state back and leaves a warning.
 */
import { invokePlugin, isDesktopHost } from '@ui/core/bridge'
import { readLocal, removeLocal, writeLocal } from '@ui/core/localStore'

export const KEEP_SCREEN_ON_DEVICE_KEY = 'zv_keep_screen_on_device'

/** Texts of the two switches (this device; every device of the account). */
export const KEEP_SCREEN_ON_TEXTS = {
  device: 'Не гасить экран во время документа',
  deviceOn: 'Пока открыт документ, экран телефона или ТСД не будет гаснуть',
  deviceOff: 'Экран гаснет как обычно',
  account: 'Не гасить экран на всех устройствах',
  accountHint: 'Действует на всех устройствах, пока сотрудник не выбрал иначе у себя',
} as const

/** The device's choice: true ("1"), false ("0"), or undefined when it follows the account. */
export function readDeviceKeepScreenOn(): boolean | undefined {
  const v = readLocal<unknown>(KEEP_SCREEN_ON_DEVICE_KEY)
  if (v === '1' || v === 1 || v === true) return true
  if (v === '0' || v === 0 || v === false) return false
  return undefined
}

/** Stores the device's choice; undefined makes the device follow the account again. */
export function writeDeviceKeepScreenOn(value: boolean | undefined): void {
  if (value === undefined) removeLocal(KEEP_SCREEN_ON_DEVICE_KEY)
  else writeLocal(KEEP_SCREEN_ON_DEVICE_KEY, value ? '1' : '0')
}

/** The account-wide `keepScreenOn`: true for true, 1 or "1". */
export function accountKeepScreenOn(value: unknown): boolean {
  return value === true || value === 1 || value === '1'
}

export function wantsKeepScreenOn(device: boolean | undefined, account: unknown): boolean {
  return device ?? accountKeepScreenOn(account)
}

export interface KeepScreenOnOptions {
  request?: (enable: boolean) => Promise<unknown>
  /** The host can keep the screen on (a plain browser cannot). */
  supported?: () => boolean
  log?: (line: string) => void
}

export interface KeepScreenOn {
  /** Asks the host; resolves once this and every earlier request are done. */
  set(enable: boolean): Promise<void>
  /** The state the host last accepted (or is being asked for). */
  readonly enabled: boolean
}

export function createKeepScreenOn(options: KeepScreenOnOptions = {}): KeepScreenOn {
  const request = options.request ?? ((enable: boolean) => invokePlugin('keep-screen-on', 'keep_screen_on', { enable }))
  const supported = options.supported ?? isDesktopHost
  const log = options.log ?? ((line: string) => console.warn(line))
  let enabled = false
  let queue: Promise<void> = Promise.resolve()

  return {
    get enabled() {
      return enabled
    },
    set(enable) {
      queue = queue.then(async () => {
        if (enable === enabled || !supported()) return
        const before = enabled
        enabled = enable
        try {
          await request(enable)
        } catch (err) {
          enabled = before
          log(`[экран] не удалось ${enable ? 'включить' : 'выключить'} удержание экрана: ${err instanceof Error ? err.message : String(err)}`)
        }
      })
      return queue
    },
  }
}

/**
 * For a screen with an open document: keeps the screen on when the device (or
 * else the account) asks for it. Returns the release for when the document closes.
 */
export function holdScreenWhileOpen(keeper: KeepScreenOn, accountSetting: unknown): () => Promise<void> {
  if (!wantsKeepScreenOn(readDeviceKeepScreenOn(), accountSetting)) return () => Promise.resolve()
  void keeper.set(true)
  return () => keeper.set(false)
}
