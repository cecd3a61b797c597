/** The "settings" holder: every screen reads its preferences here. */
import { defineStore } from 'pinia'
import { computed, ref } from 'vue'
import { writeAppLog } from './appLog'
import { createAccountSettingsLoader } from './accountSettings'
import { errorText, isDesktopHost } from './bridge'
import { HostStore } from './hostStore'
import { currentDeviceTraits, isTouchDevice } from '../documents/scanner/scannerMode'
import { readLocal, writeLocal } from './localStore'
import {
  accountCopy,
  applyAccountCopy,
  applyDeviceRecord,
  defaultSettings,
  deviceRecord,
  mergeSettings,
  type Environment,
  type Settings,
  type ThemeMode,
} from './settingsModel'
import { applyThemeMode, applyUiScale } from './theme'

/** Where the device record lives: the host file ".settings.dat", or local storage in a plain browser. */
export interface SettingsBackend {
  read(): Promise<unknown>
  write(record: unknown): Promise<void>
}

export const SETTINGS_FILE = '.settings.dat'
export const SETTINGS_KEY = 'work'

export function hostSettingsBackend(): SettingsBackend {
  let store: Promise<HostStore> | undefined
  const open = () => (store ??= HostStore.load(SETTINGS_FILE))
  return {
    read: async () => (await open()).get(SETTINGS_KEY),
    write: async (record) => (await open()).set(SETTINGS_KEY, record),
  }
}

export function browserSettingsBackend(): SettingsBackend {
  return {
    read: async () => readLocal('settings_work'),
    write: async (record) => {
      if (!writeLocal('settings_work', record)) throw new Error('хранилище браузера переполнено')
    },
  }
}

export function currentEnvironment(): Environment {
  return { desktopHost: isDesktopHost(), touch: isTouchDevice(currentDeviceTraits(false)) }
}

export const useSettingsStore = defineStore('settings', () => {
  const env = currentEnvironment()
  const state = ref<Settings>(defaultSettings(env))
  let backend: SettingsBackend | undefined
  let stopFollowingTheme: () => void = () => {}
  /** How the account-wide block is asked for; the session wires the server request. */
  let fetchAccountSettings: () => Promise<unknown> = () => Promise.reject(new Error('нет соединения с сервером'))
  /** which account is signed in: the account-wide block is kept per account */
  let accountScope: () => string = () => ''
  const accountLoader = createAccountSettingsLoader(
    () => fetchAccountSettings(),
    undefined,
    () => accountScope(),
  )

  const sound = computed(() => state.value.sound)
  const work = computed(() => state.value.work)
  const print = computed(() => state.value.print)
  const crypto = computed(() => state.value.crypto)
  const support = computed(() => state.value.support)
  const uiScale = computed(() => state.value.uiScale)
  const themeMode = computed(() => state.value.themeMode)

  function useBackend(b: SettingsBackend) {
    backend = b
  }
  function backendOrDefault(): SettingsBackend {
    return (backend ??= isDesktopHost() ? hostSettingsBackend() : browserSettingsBackend())
  }

  function setThemeMode(mode: ThemeMode) {
    state.value = mergeSettings(state.value, { themeMode: mode })
    stopFollowingTheme()
    stopFollowingTheme = typeof document === 'undefined' ? () => {} : applyThemeMode(state.value.themeMode)
  }

  function setUiScale(factor: number) {
    state.value = mergeSettings(state.value, { uiScale: factor })
    if (typeof document !== 'undefined') applyUiScale(state.value.uiScale)
  }

  /** Merges a partial settings object (any of sound, work, print, crypto, support, uiScale, themeMode). */
  function applySettings(partial: unknown) {
    const before = state.value
    state.value = mergeSettings(before, partial)
    if (state.value.themeMode !== before.themeMode) setThemeMode(state.value.themeMode)
    if (state.value.uiScale !== before.uiScale) setUiScale(state.value.uiScale)
  }

  /** Reads the device record; a failure keeps the defaults. Applies theme and zoom either way. */
  async function loadDeviceSettings(): Promise<void> {
    try {
      const record = await backendOrDefault().read()
      state.value = applyDeviceRecord(state.value, record)
    } catch (err) {
      writeAppLog(`настройки: не удалось прочитать, работаем с умолчаниями: ${errorText(err)}`)
    }
    setThemeMode(state.value.themeMode)
    setUiScale(state.value.uiScale)
  }

  /** Writes the device record; answers false (and logs) when it could not be written. */
  async function saveDeviceSettings(): Promise<boolean> {
    try {
      await backendOrDefault().write(deviceRecord(state.value))
      return true
    } catch (err) {
      writeAppLog(`настройки: не удалось сохранить: ${errorText(err)}`)
      return false
    }
  }

  function personalCopy() {
    return accountCopy(state.value)
  }

  function applyPersonalCopy(copy: unknown) {
    applySettings(applyAccountCopy(state.value, copy))
  }

  function useAccountSettingsSource(fetcher: () => Promise<unknown>, scope: () => string = () => '') {
    fetchAccountSettings = fetcher
    accountScope = scope
    accountLoader.reset()
  }

  return {
    state,
    sound,
    work,
    print,
    crypto,
    support,
    uiScale,
    themeMode,
    useBackend,
    applySettings,
    setThemeMode,
    setUiScale,
    loadDeviceSettings,
    saveDeviceSettings,
    personalCopy,
    applyPersonalCopy,
    useAccountSettingsSource,
    accountSettings: () => accountLoader.get(),
    rememberAccountSettings: (block: unknown) => accountLoader.remember(block),
  }
})
