/** Applies a change from the settings screen and writes it at once. */
import { useSettingsStore } from '../settings'
import { settingsChangeHooks } from './changeHooks'

export function useSaveSettings() {
  const settings = useSettingsStore()
  return async (partial: unknown) => {
    settings.applySettings(partial)
    await settings.saveDeviceSettings()
    settingsChangeHooks.run(settings.personalCopy())
  }
}
