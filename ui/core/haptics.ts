/** Vibration through the host. The desktop refuses it; every failure is swallowed. */
import { invokePlugin, isDesktopHost } from './bridge'

export type ImpactStyle = 'light' | 'medium' | 'heavy' | 'soft' | 'rigid'
export type NotificationKind = 'success' | 'warning' | 'error'

export async function impactFeedback(style: ImpactStyle): Promise<void> {
  if (!isDesktopHost()) return
  await invokePlugin('haptics', 'impact_feedback', { style }).catch(() => {})
}

export async function notificationFeedback(type: NotificationKind): Promise<void> {
  if (!isDesktopHost()) return
  await invokePlugin('haptics', 'notification_feedback', { type }).catch(() => {})
}
