/**
 * The server's side of signing: what the desktop's signing agent reports
 * (certificates, consent, printers), and the signature exchange itself: a
 * `signAuthData.push` or `signDocument.push` to one connection, its
 * `signResult` matched by request id and checked by the verifier before the
 * outcome is recorded. The local service host plugs in a verifier that checks
 * the CMS signature with OpenSSL; inside the page (demonstration mode) only
 * the signature's outer form can be looked at.
 */
import type { Payload } from '../core/envelope'
import type { Connection, Handler, MemoryBackend } from './backend'
import { randomHex } from './tokens'

export const SIGN_RESULT_TIMEOUT_MS = 60_000
const OUTCOME_LIMIT = 200

export type SignRequest =
  | { kind: 'auth'; data: string; thumbprint: string }
  | { kind: 'document'; documentBase64: string; documentType: string; thumbprint: string }

/** What the verifier found: `ok` with the signer's thumbprint, or why not. */
export interface Verdict {
  ok: boolean
  detail: string
  signerThumbprint?: string
}

export type Verifier = (request: SignRequest, signatureBase64: string) => Promise<Verdict>

export type OutcomeStatus = 'waiting' | 'verified' | 'invalid' | 'refused' | 'timeout'

export interface SignOutcome {
  requestId: string
  kind: SignRequest['kind']
  conn: string
  thumbprint: string
  status: OutcomeStatus
  /** the desktop's refusal, or what the verifier found wrong */
  error?: string
  detail?: string
  signatureLength?: number
  at: number
}

export interface AgentReport {
  certificates: Payload[]
  crypto?: Payload
  deviceName?: string
  at: number
}

interface Pending {
  conn: string
  request: SignRequest
  outcome: SignOutcome
  done(outcome: SignOutcome): void
  timer: ReturnType<typeof setTimeout>
}

interface SigningState {
  reports: Map<string, AgentReport>
  consents: Map<string, Payload>
  printers: Map<string, unknown[]>
  chunks: Map<string, Payload[]>
  pending: Map<string, Pending>
  outcomes: SignOutcome[]
  verify: Verifier
}

const ASN1_SIGNED_DATA = [0x06, 0x09, 0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x07, 0x02]

function decodeBase64(text: string): Uint8Array | undefined {
  try {
    return Uint8Array.from(atob(text), (c) => c.charCodeAt(0))
  } catch {
    return undefined
  }
}

function contains(haystack: Uint8Array, needle: readonly number[] | Uint8Array): boolean {
  outer: for (let i = 0; i + needle.length <= haystack.length; i++) {
    for (let j = 0; j < needle.length; j++) if (haystack[i + j] !== needle[j]) continue outer
    return true
  }
  return false
}

/** Inside the page nothing can check a signature: only its form (a CMS SignedData, the string inside for an authorisation). */
export const formOnlyVerifier: Verifier = async (request, signature) => {
  const der = decodeBase64(signature)
  if (!der || der[0] !== 0x30 || !contains(der, ASN1_SIGNED_DATA)) return { ok: false, detail: 'не подпись CMS' }
  if (request.kind === 'auth' && !contains(der, new TextEncoder().encode(request.data)))
    return { ok: false, detail: 'в подписи нет строки авторизации' }
  return { ok: true, detail: 'проверена только форма подписи' }
}

export function signingState(b: MemoryBackend): SigningState {
  let s = b.state.get('signing') as SigningState | undefined
  if (!s) {
    s = {
      reports: new Map(),
      consents: new Map(),
      printers: new Map(),
      chunks: new Map(),
      pending: new Map(),
      outcomes: [],
      verify: formOnlyVerifier,
    }
    b.state.set('signing', s)
  }
  return s
}

/** The service host's verifier replaces the form check. */
export function useSignatureVerifier(b: MemoryBackend, verify: Verifier): void {
  signingState(b).verify = verify
}

/** A fresh authorisation string in the form the desktop accepts (letters, digits, '-' and '_'). */
export function freshAuthString(): string {
  return `zv-${randomHex(16)}`
}

/** The thumbprint the server asks for: the one the user chose (its consent report), else the first reported. */
export function chosenThumbprint(b: MemoryBackend, conn: string): string | undefined {
  const s = signingState(b)
  const consent = s.consents.get(conn)
  if (typeof consent?.thumbprint === 'string' && consent.thumbprint) return consent.thumbprint
  const first = s.reports.get(conn)?.certificates[0]?.thumbprint
  return typeof first === 'string' ? first : undefined
}

function finish(s: SigningState, pending: Pending, change: Partial<SignOutcome>): void {
  clearTimeout(pending.timer)
  s.pending.delete(pending.outcome.requestId)
  Object.assign(pending.outcome, change)
  pending.done(pending.outcome)
}

/**
 * Sends the request to the connection and answers its outcome once the desktop replied and the reply was
 * checked (or the wait ran out). The outcome is also kept for the control endpoint.
 */
export function requestSignature(
  b: MemoryBackend,
  conn: Connection,
  request: SignRequest,
  timeoutMs = SIGN_RESULT_TIMEOUT_MS,
): { requestId: string; outcome: Promise<SignOutcome> } {
  const s = signingState(b)
  const requestId = `sig-${randomHex(8)}`
  const outcome: SignOutcome = { requestId, kind: request.kind, conn: conn.id, thumbprint: request.thumbprint, status: 'waiting', at: b.now() }
  s.outcomes.unshift(outcome)
  s.outcomes.splice(OUTCOME_LIMIT)
  const result = new Promise<SignOutcome>((done) => {
    const pending: Pending = {
      conn: conn.id,
      request,
      outcome,
      done,
      timer: setTimeout(() => finish(s, pending, { status: 'timeout', error: 'подпись не пришла' }), timeoutMs),
    }
    s.pending.set(requestId, pending)
  })
  if (request.kind === 'auth') conn.push('signAuthData.push', { requestId, data: request.data, thumbprint: request.thumbprint })
  else
    conn.push('signDocument.push', {
      requestId,
      documentBase64: request.documentBase64,
      documentType: request.documentType,
      thumbprint: request.thumbprint,
    })
  return { requestId, outcome: result }
}

export function signOutcome(b: MemoryBackend, requestId: string): SignOutcome | undefined {
  return signingState(b).outcomes.find((o) => o.requestId === requestId)
}

const text = (v: unknown): string => (typeof v === 'string' ? v : '')

const signResult: Handler = ({ backend, conn }, p) => {
  const s = signingState(backend)
  const pending = s.pending.get(text(p.requestId))
  if (!pending || pending.conn !== conn.id) return null
  if (typeof p.error === 'string' && p.error) {
    finish(s, pending, { status: 'refused', error: p.error })
    return null
  }
  const signature = text(p.signature)
  pending.outcome.signatureLength = signature.length
  const reported = s.reports.get(conn.id)?.certificates.some(
    (c) => typeof c.thumbprint === 'string' && c.thumbprint.toLowerCase() === pending.request.thumbprint.toLowerCase(),
  )
  void s
    .verify(pending.request, signature)
    .catch((err: unknown): Verdict => ({ ok: false, detail: err instanceof Error ? err.message : String(err) }))
    .then((verdict) => {
      const signer = verdict.signerThumbprint?.toLowerCase()
      let error: string | undefined
      if (!verdict.ok) error = verdict.detail
      else if (signer !== undefined && signer !== pending.request.thumbprint.toLowerCase())
        error = `подписано другим сертификатом: ${signer}`
      else if (!reported) error = 'сертификат подписи не из тех, о которых сообщил компьютер'
      finish(s, pending, error ? { status: 'invalid', error, detail: verdict.detail } : { status: 'verified', detail: verdict.detail })
    })
  return null
}

const reportCertificates: Handler = ({ backend, conn, now }, p) => {
  const certificates = Array.isArray(p.certificates)
    ? p.certificates.filter((c): c is Payload => typeof c === 'object' && c !== null && typeof (c as Payload).thumbprint === 'string')
    : []
  const report: AgentReport = { certificates, at: now }
  if (typeof p.crypto === 'object' && p.crypto !== null) report.crypto = p.crypto as Payload
  if (typeof p.deviceName === 'string') report.deviceName = p.deviceName
  signingState(backend).reports.set(conn.id, report)
  return null
}

const cryptoConsent: Handler = ({ backend, conn }, p) => {
  signingState(backend).consents.set(conn.id, { ...p })
  return null
}

const reportPrinters: Handler = ({ backend, conn }, p) => {
  signingState(backend).printers.set(conn.id, Array.isArray(p.printers) ? p.printers : [])
  return null
}

const supportDiagnoseChunk: Handler = ({ backend }, p) => {
  const chunks = signingState(backend).chunks
  const id = text(p.requestId)
  chunks.set(id, [...(chunks.get(id) ?? []), { ...p }])
  return null
}

export const signingHandlers: Readonly<Record<string, Handler>> = {
  signResult,
  reportCertificates,
  cryptoConsent,
  reportPrinters,
  'supportDiagnose.chunk': supportDiagnoseChunk,
}
