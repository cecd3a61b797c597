/** Request payloads of the marketplace screens. Pure. */
import type { Payload } from '../core/envelope'

/** The payload with texts trimmed and the `optional` keys left out when empty. */
export function cleanPayload(payload: Payload, optional: readonly string[] = []): Payload {
  const out: Payload = {}
  for (const [k, v] of Object.entries(payload)) {
    const value = typeof v === 'string' ? v.trim() : v
    if (optional.includes(k) && (value === undefined || value === null || value === '')) continue
    out[k] = value
  }
  return out
}
