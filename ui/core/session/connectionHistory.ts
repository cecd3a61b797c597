/** The connection's history in the application log: how long it lived, how long the recovery took. */
import {
  connectedLine,
  connectErrorLine,
  disconnectedLine,
  reconnectAttemptLine,
  reconnectedLine,
} from '../connectionLog'
import type { LifecycleEvent } from '../serverChannel'

export function createConnectionHistory(now: () => number, log: (line: string) => void) {
  let connectedAt: number | null = null
  let disconnectedAt: number | null = null

  function record(e: LifecycleEvent): void {
    const at = now()
    switch (e.type) {
      case 'connect':
        log(connectedLine(at, disconnectedAt))
        connectedAt = at
        disconnectedAt = null
        break
      case 'disconnect':
        log(disconnectedLine(e.reason, at, connectedAt))
        connectedAt = null
        disconnectedAt = at
        break
      case 'reconnect_attempt':
        log(reconnectAttemptLine(e.attempt))
        break
      case 'reconnect':
        log(reconnectedLine(e.attempt))
        break
      case 'connect_error':
        log(connectErrorLine(e.message))
        break
    }
  }

  function reset(): void {
    connectedAt = null
    disconnectedAt = null
  }

  return { record, reset }
}
