/**
 * What the roles reach outside themselves: the server commands and the count
 * of collected shipments. The session's channel by default; tests put in one
 * over the in-memory backend.
 */
import type { Payload } from '../core/envelope'
import { command } from '../core/session'
import { getDocumentList } from '../documents/documentRequests'

export interface RolesChannel {
  /** a command whose refusal rejects with RefusalError */
  command(name: string, payload: Payload, timeoutMs?: number, accept?: (p: Payload) => boolean): Promise<Payload>
  /** the number of collected shipments waiting for the check */
  collectedShipments(): Promise<number>
}

export const sessionRolesChannel: RolesChannel = {
  command: (name, payload, timeoutMs, accept) => command(name, payload, timeoutMs, accept),
  async collectedShipments() {
    const page = await getDocumentList('shipment', { stage: ['collected'], maxPages: 1 })
    return page.total ?? page.items.length
  },
}

let current: RolesChannel = sessionRolesChannel

export function rolesChannel(): RolesChannel {
  return current
}

/** Puts another channel in place (tests); none restores the session's. */
export function useRolesChannel(channel?: RolesChannel): void {
  current = channel ?? sessionRolesChannel
}
