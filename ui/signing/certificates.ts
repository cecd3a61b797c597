/**
 * What the signing screens and the agent derive from a certificate and the
 * `crypto` settings: the display name, validity by `validTo`, consent
 * validity, and the two text rules the host applies too (authorisation
 * string, thumbprint).
 */
import type { CryptoSettings } from '../core/settingsModel'

/** A certificate as `list_certificates` answers it. */
export interface Certificate {
  thumbprint: string
  subject: string
  issuer: string
  inn: string | null
  innLe: string | null
  innPersonal: string | null
  validFrom: string | null
  validTo: string | null
  hasPrivateKey: boolean
}

/** The only consent scope the agent signs under. */
export const CONSENT_SCOPE = 'v1:auth+withdrawal'

const AUTH_STRING = /^[0-9A-Za-z_-]{16,256}$/
const THUMBPRINT = /^[0-9A-Fa-f]{40}$/

export const isAuthString = (data: unknown): data is string => typeof data === 'string' && AUTH_STRING.test(data)
export const isThumbprint = (value: unknown): value is string => typeof value === 'string' && THUMBPRINT.test(value)

/** Subject text → name/value pairs: commas inside double quotes do not split, outer quotes go, doubled quotes halve. */
export function subjectAttributes(subject: string): Array<{ name: string; value: string }> {
  const pieces: string[] = []
  let quoted = false
  let start = 0
  for (let i = 0; i < subject.length; i++) {
    const ch = subject[i]
    if (ch === '"') quoted = !quoted
    else if (ch === ',' && !quoted) {
      pieces.push(subject.slice(start, i))
      start = i + 1
    }
  }
  pieces.push(subject.slice(start))
  const out: Array<{ name: string; value: string }> = []
  for (const raw of pieces) {
    const piece = raw.trim()
    const eq = piece.indexOf('=')
    if (eq < 0) continue
    let value = piece.slice(eq + 1).trim()
    if (value.length >= 2 && value.startsWith('"') && value.endsWith('"')) value = value.slice(1, -1).replaceAll('""', '"')
    out.push({ name: piece.slice(0, eq).trim(), value })
  }
  return out
}

/** The subject's CN (name compared ignoring case), else the subject, else the thumbprint. */
export function displayName(cert: Pick<Certificate, 'subject' | 'thumbprint'>): string {
  const cn = subjectAttributes(cert.subject ?? '').find((a) => a.name.toLowerCase() === 'cn')?.value
  if (cn) return cn
  return cert.subject || cert.thumbprint
}

const VALID_TO = /^(\d{1,2})[./](\d{1,2})[./](\d{4})(?:\s+(\d{1,2}):(\d{2}):(\d{2}))?/

/** The end of validity as a UTC moment (ms), or undefined when `validTo` is missing or unreadable. */
export function validToMs(validTo: string | null | undefined): number | undefined {
  const m = VALID_TO.exec((validTo ?? '').trim())
  if (!m) return undefined
  const [day, month, year, h, min, s] = m.slice(1).map((v) => (v === undefined ? 0 : Number(v))) as number[]
  if (month! < 1 || month! > 12 || day! < 1 || day! > 31 || h! > 23 || min! > 59 || s! > 59) return undefined
  return Date.UTC(year!, month! - 1, day!, h, min, s)
}

/** Valid while the end of validity is later than now; a missing or unreadable `validTo` counts as valid. */
export function isCertificateValid(cert: Pick<Certificate, 'validTo'>, now = Date.now()): boolean {
  const end = validToMs(cert.validTo)
  return end === undefined || end > now
}

/** Consent counts only with a time and the current scope. */
export function isConsentValid(crypto: Pick<CryptoSettings, 'consentAt' | 'consentScope'>): boolean {
  return !!crypto.consentAt && crypto.consentScope === CONSENT_SCOPE
}

/** The thumbprint shortened for a row: first 6, "…", last 4 when longer than 12. */
export function shortThumbprint(thumbprint: string): string {
  return thumbprint.length > 12 ? `${thumbprint.slice(0, 6)}…${thumbprint.slice(-4)}` : thumbprint
}

/** A certificate as `reportCertificates` sends it: empty INN parts left out, validity added. */
export function reportedCertificate(cert: Certificate, now = Date.now()): Record<string, unknown> {
  const { innLe, innPersonal, ...rest } = cert
  const out: Record<string, unknown> = { ...rest }
  if (innLe) out.innLe = innLe
  if (innPersonal) out.innPersonal = innPersonal
  out.isValid = isCertificateValid(cert, now)
  return out
}

type Dict = Record<string, unknown>
const text = (v: unknown): string | null => (typeof v === 'string' ? v : null)

/** A certificate record from the host; one without a thumbprint is dropped. */
export function readCertificate(raw: unknown): Certificate | undefined {
  if (typeof raw !== 'object' || raw === null) return undefined
  const r = raw as Dict
  if (typeof r.thumbprint !== 'string' || r.thumbprint === '') return undefined
  return {
    thumbprint: r.thumbprint,
    subject: text(r.subject) ?? '',
    issuer: text(r.issuer) ?? '',
    inn: text(r.inn),
    innLe: text(r.innLe),
    innPersonal: text(r.innPersonal),
    validFrom: text(r.validFrom),
    validTo: text(r.validTo),
    hasPrivateKey: r.hasPrivateKey === true,
  }
}
