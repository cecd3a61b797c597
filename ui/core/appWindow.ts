/** The page's own window: shown and focused once the UI has mounted. */
import { invokePlugin } from './bridge'

export async function showOwnWindow(): Promise<void> {
  await invokePlugin('window', 'show').catch(() => {})
  await invokePlugin('window', 'set_focus').catch(() => {})
}
