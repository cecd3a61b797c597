// Test-mode control routes for signing: the server asks a connected desktop
// to sign (an authorisation string or a small document), and the outcome of
// each request (the desktop's refusal, or the OpenSSL verdict on its
// signature) and what the desktop's agent reported can be read back.
import { chosenThumbprint, czAccount, freshAuthString, requestSignature, signingState, signOutcome } from '../ui/demo/index.ts'

/** A small withdrawal document, as the server would prepare one. */
const SAMPLE_DOCUMENT = JSON.stringify({ action: 'LK_RECEIPT', documentDate: '2026-01-01', products: [{ cis: '0104600000000017215abcdefgh', price: 10000 }] })

/** @param {import('../ui/demo/index.ts').MemoryBackend} backend */
export function signingRoutes(backend) {
  /** The device connection opened with `token`, or the newest device connection. */
  const connectionFor = (/** @type {unknown} */ token) => {
    const devices = backend.connections().filter((c) => c.identity.kind === 'device' && (typeof token !== 'string' || c.identity.token === token))
    const conn = devices.at(-1)
    if (!conn) throw new Error('no such device connection')
    return conn
  }
  const thumbprintFor = (/** @type {Record<string, any>} */ b, /** @type {{ id: string }} */ conn) => {
    const t = typeof b.thumbprint === 'string' && b.thumbprint ? b.thumbprint : chosenThumbprint(backend, conn.id)
    if (!t) throw new Error('the desktop reported no certificate; pass thumbprint')
    return t
  }
  return {
    // {token?, thumbprint?, data?}: signAuthData.push with a fresh string; answers the request id at once
    'POST /sign-auth': (/** @type {Record<string, any>} */ b) => {
      const conn = connectionFor(b.token)
      const data = typeof b.data === 'string' ? b.data : freshAuthString()
      const { requestId } = requestSignature(backend, conn, { kind: 'auth', data, thumbprint: thumbprintFor(b, conn) })
      return { requestId, data }
    },
    // {token?, thumbprint?, documentType?, document? (text)}: signDocument.push with a small document
    'POST /sign-document': (/** @type {Record<string, any>} */ b) => {
      const conn = connectionFor(b.token)
      const documentBase64 = Buffer.from(typeof b.document === 'string' ? b.document : SAMPLE_DOCUMENT, 'utf8').toString('base64')
      const documentType = typeof b.documentType === 'string' ? b.documentType : 'LK_RECEIPT'
      const { requestId } = requestSignature(backend, conn, { kind: 'document', documentBase64, documentType, thumbprint: thumbprintFor(b, conn) })
      return { requestId }
    },
    // ?requestId=: one outcome (status waiting | verified | invalid | refused | timeout); without it, all of them
    'GET /sign-outcomes': (/** @type {unknown} */ _b, /** @type {URLSearchParams} */ q) => {
      const id = q.get('requestId')
      if (!id) return { outcomes: signingState(backend).outcomes }
      const outcome = signOutcome(backend, id)
      if (!outcome) throw new Error('no such request')
      return { outcome }
    },
    // {accountId? | token?, expired?, thumbprint?, clear?}: the account's Chestny ZNAK token made expired (or
    // cleared), or the certificate chosen in the account (the server's) made another; answers the account's state
    'POST /cz-token': (/** @type {Record<string, any>} */ b) => {
      let accountId = typeof b.accountId === 'string' && b.accountId ? b.accountId : undefined
      if (!accountId) {
        const conn = connectionFor(b.token)
        accountId = conn.identity.kind === 'device' ? conn.identity.accountId : undefined
      }
      if (!accountId) throw new Error('accountId or token is required')
      const a = czAccount(backend, accountId)
      if (b.clear) a.token = null
      if (b.expired && a.token) a.token.expiresAt = backend.now() - 60_000
      if (b.expired && !a.token) a.token = { expiresAt: backend.now() - 60_000, inn: null, thumbprint: a.thumbprint ?? '' }
      if (typeof b.thumbprint === 'string') a.thumbprint = b.thumbprint.toLowerCase() || null
      return { account: a }
    },
    // ?token=: what the desktop's agent reported last (certificates, status, name, consent, printers)
    'GET /signing-agent': (/** @type {unknown} */ _b, /** @type {URLSearchParams} */ q) => {
      const conn = connectionFor(q.get('token') ?? undefined)
      const s = signingState(backend)
      return {
        report: s.reports.get(conn.id) ?? null,
        consent: s.consents.get(conn.id) ?? null,
        printers: s.printers.get(conn.id) ?? null,
      }
    },
  }
}
