/**
 * Vibration patterns through the host's haptics. Only a mobile host has them;
 * the desktop host refuses, and every failure is ignored (haptics swallows it).
 */
import { impactFeedback, notificationFeedback } from '@ui/core/haptics'

/** A counted scan. */
export function impactMedium(): Promise<void> {
  return impactFeedback('medium')
}

/** A refused scan. */
export function notifyError(): Promise<void> {
  return notificationFeedback('error')
}

/** Excess and other warnings. */
export function notifyWarning(): Promise<void> {
  return notificationFeedback('warning')
}

/** The welcome after a quick login: three light impacts 90 ms apart. */
export function tripleLight(): Promise<void> {
  const at = (ms: number) =>
    new Promise<void>((resolve) => setTimeout(() => void impactFeedback('light').then(resolve), ms))
  return Promise.all([at(0), at(90), at(180)]).then(() => undefined)
}
