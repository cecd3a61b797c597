/**
 * The marketplace requests over the server channel. Replies carry no request
 * id, so requests of one name go one at a time; each waits for its reply up
 * to its own time limit. Text arguments are trimmed and optional ones left
 * out when empty.
 */
import type { Payload } from '../core/envelope'
import { createSerialiser, requestOn } from '../core/requests'
import type { Channel } from '../core/serverChannel'
import { currentChannel, NO_CHANNEL } from '../core/session'

export const MARKETPLACE_TIMEOUT_MS = 30_000

let channelSource: () => Channel | undefined = () => currentChannel()

/** Tests (and nothing else) may put another channel in place; no argument restores the session's. */
export function useMarketplaceChannel(source?: () => Channel | undefined): void {
  channelSource = source ?? (() => currentChannel())
}

const serialised = /*#__PURE__*/ createSerialiser()

/** Sends one request and resolves its reply's payload; rejects with "timeout" or the channel's failure. */
export function marketplaceRequest(name: string, payload: Payload, timeoutMs: number = MARKETPLACE_TIMEOUT_MS): Promise<Payload> {
  return serialised(name, () => {
    const ch = channelSource()
    if (!ch) return Promise.reject(new Error(NO_CHANNEL))
    return requestOn(ch, name, payload, { timeoutMs })
  })
}
