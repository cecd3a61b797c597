/** What the page does with a link handed over by a second launch. */

export type DeepLinkAction = { kind: 'pin'; pin: string } | { kind: 'tour'; name: string }

/**
 * Each URL is checked against both rules on its own:
 * - tsd-auth://pin/<PIN> signs the device in with that PIN;
 * - zorvik://tour/<name> and tsd-auth://tour/<name> start the named guided tour.
 * Anything else, or a URL that does not parse, yields nothing.
 */
export function deepLinkActions(raw: string): DeepLinkAction[] {
  let url: URL
  try {
    url = new URL(raw)
  } catch {
    return []
  }
  const scheme = url.protocol.replace(/:$/, '').toLowerCase()
  const host = url.hostname.toLowerCase()
  const path = url.pathname.replace(/^\//, '')
  const out: DeepLinkAction[] = []
  if (scheme === 'tsd-auth' && host === 'pin' && path !== '') out.push({ kind: 'pin', pin: path })
  if ((scheme === 'zorvik' || scheme === 'tsd-auth') && host === 'tour') {
    let name = ''
    try {
      name = decodeURIComponent(path)
    } catch {
      name = ''
    }
    if (name !== '') out.push({ kind: 'tour', name })
  }
  return out
}

/** The event payload is an array of URL strings; anything else yields nothing. */
export function deepLinkPayloadUrls(payload: unknown): string[] {
  return Array.isArray(payload) ? payload.filter((u): u is string => typeof u === 'string') : []
}
