/**
 * What the scenarios reach outside themselves: the server commands and the
 * run pushes. The session's channel by default; tests put in one over the
 * in-memory backend.
 */
import type { Payload } from '../core/envelope'
import { command, onPush } from '../core/session'

export interface ScenariosChannel {
  /** a command whose refusal rejects with RefusalError */
  command(name: string, payload: Payload, timeoutMs?: number): Promise<Payload>
  /** listens to a push; answers the removal */
  onPush(name: string, handler: (payload: Payload) => void): () => void
}

export const sessionScenariosChannel: ScenariosChannel = {
  command: (name, payload, timeoutMs) => command(name, payload, timeoutMs),
  onPush: (name, handler) => onPush(name, handler),
}

let current: ScenariosChannel = sessionScenariosChannel

export function scenariosChannel(): ScenariosChannel {
  return current
}

/** Puts another channel in place (tests); none restores the session's. */
export function useScenariosChannel(channel?: ScenariosChannel): void {
  current = channel ?? sessionScenariosChannel
}
