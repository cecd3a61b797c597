/** Host events ("deep-link://new-url", ...): listen with a page callback, undo with the returned function. */
import { invokePlugin, registerCallback, unregisterCallback } from './bridge'

export interface HostEvent<T> {
  event: string
  id: number
  payload: T
}

export async function listen<T>(event: string, handler: (e: HostEvent<T>) => void): Promise<() => Promise<void>> {
  const callbackId = registerCallback((message) => handler(message as HostEvent<T>))
  let eventId: number
  try {
    eventId = await invokePlugin<number>('event', 'listen', { event, target: { kind: 'Any' }, handler: callbackId })
  } catch (err) {
    unregisterCallback(callbackId)
    throw err
  }
  return async () => {
    unregisterCallback(callbackId)
    await invokePlugin('event', 'unlisten', { event, eventId }).catch(() => {})
  }
}

export function emit(event: string, payload?: unknown): Promise<void> {
  return invokePlugin('event', 'emit', { event, payload })
}
