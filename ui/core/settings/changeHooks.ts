/** Called after every change made in the settings screen (the session keeps a copy per quick-login account). */
import { createHooks } from '../hooks'
import type { AccountSettings } from '../settingsModel'

export const settingsChangeHooks = createHooks<[AccountSettings]>('изменение настроек')
