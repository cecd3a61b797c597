/** Called after every change made in the settings screen (the session keeps a copy per quick-login account). */
import type { AccountSettings } from '../settingsModel'

export const settingsChangeHooks: Array<(copy: AccountSettings) => void> = []
