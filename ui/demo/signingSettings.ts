/**
 * The server's Chestny ZNAK side of the signature settings, per account: the
 * token (obtained by a real signature exchange with the asking desktop, see
 * ./signing), the contour, the certificate chosen in the account and the
 * account's marking options.
 */
import type { Payload } from '../core/envelope'
import type { Handler, MemoryBackend } from './backend'
import { freshAuthString, requestSignature, SIGN_RESULT_TIMEOUT_MS, signingState } from './signing'

export const TOKEN_LIFETIME_MS = 10 * 60 * 60 * 1000
const THUMBPRINT = /^[0-9A-Fa-f]{40}$/

export interface CzAccount {
  stand: 'prod' | 'sandbox'
  token: { expiresAt: number; inn: string | null; thumbprint: string } | null
  /** the certificate chosen in the account (the server signs in with it) */
  thumbprint: string | null
  organizationInn: string
  writeOff: boolean
  checkMarks: boolean
}

export function czAccount(b: MemoryBackend, accountId: string): CzAccount {
  const key = `cz:${accountId}`
  let a = b.state.get(key) as CzAccount | undefined
  if (!a) {
    a = { stand: 'prod', token: null, thumbprint: null, organizationInn: '', writeOff: false, checkMarks: true }
    b.state.set(key, a)
  }
  return a
}

const text = (v: unknown): string | null => (typeof v === 'string' && v !== '' ? v : null)
const refused = { error: 'session not found', errorCode: 'unauthorized' }

const czTokenStatus: Handler = ({ backend, conn }) => {
  const me = backend.signedIn(conn)
  if (!me) return refused
  const a = czAccount(backend, me.account.uid)
  return {
    hasToken: a.token !== null,
    expireDate: a.token ? new Date(a.token.expiresAt).toISOString() : null,
    inn: a.token?.inn ?? null,
    stand: a.stand,
    thumbprint: a.thumbprint,
  }
}

/** Asks the desktop to sign a fresh string with the certificate, checks the signature, and only then issues the token. */
const czAuthCheck: Handler = ({ backend, conn }, p: Payload) => {
  const me = backend.signedIn(conn)
  if (!me) return { ok: false, ...refused }
  const thumbprint = text(p.thumbprint)
  if (!thumbprint || !THUMBPRINT.test(thumbprint)) return { ok: false, stage: 'key', error: 'не указан сертификат' }
  const inn = text(p.inn)
  // The reply must leave before the desktop's own wait of 60 s runs out.
  const { outcome } = requestSignature(backend, conn, { kind: 'auth', data: freshAuthString(), thumbprint }, SIGN_RESULT_TIMEOUT_MS - 5_000)
  void outcome.then((o) => {
    const a = czAccount(backend, me.account.uid)
    let answer: Payload
    if (o.status === 'verified') {
      a.token = { expiresAt: backend.now() + TOKEN_LIFETIME_MS, inn, thumbprint: thumbprint.toLowerCase() }
      a.thumbprint = thumbprint.toLowerCase()
      answer = { ok: true, expireDate: new Date(a.token.expiresAt).toISOString(), inn }
    } else if (o.status === 'invalid') {
      answer = { ok: false, stage: 'signIn', error: `подпись не прошла проверку (${o.error ?? 'неизвестно почему'})` }
    } else {
      answer = { ok: false, stage: 'sign', error: o.error ?? 'подпись не пришла' }
    }
    conn.push('czAuthCheck.result', answer)
  })
  return null
}

const czSetStand: Handler = ({ backend, conn }, p: Payload) => {
  const me = backend.signedIn(conn)
  if (!me) return { ok: false, ...refused }
  if (p.stand !== 'prod' && p.stand !== 'sandbox') return { ok: false, error: 'неизвестный контур' }
  const a = czAccount(backend, me.account.uid)
  if (a.stand !== p.stand) a.token = null
  a.stand = p.stand
  return { ok: true, stand: a.stand }
}

const czSettingsGet: Handler = ({ backend, conn }) => {
  const me = backend.signedIn(conn)
  if (!me) return refused
  const a = czAccount(backend, me.account.uid)
  return {
    settings: { writeOff: a.writeOff, checkMarks: a.checkMarks },
    organizationInn: a.organizationInn,
    selected: { thumbprint: a.thumbprint },
  }
}

const czSettingsSave: Handler = ({ backend, conn }, p: Payload) => {
  const me = backend.signedIn(conn)
  if (!me) return refused
  const thumbprint = text(p.thumbprint)
  if (!thumbprint || !THUMBPRINT.test(thumbprint)) return { error: 'не указан сертификат' }
  const a = czAccount(backend, me.account.uid)
  a.thumbprint = thumbprint.toLowerCase()
  a.writeOff = p.writeOff === true
  a.checkMarks = p.checkMarks === true
  a.organizationInn = text(p.inn) ?? ''
  const reported = signingState(backend).reports.get(conn.id)?.certificates ?? []
  const known = reported.some((c) => typeof c.thumbprint === 'string' && c.thumbprint.toLowerCase() === a.thumbprint)
  return known ? { ok: true } : { ok: true, warning: 'этот компьютер не сообщал о таком сертификате' }
}

export const signingSettingsHandlers: Readonly<Record<string, Handler>> = {
  czTokenStatus,
  czAuthCheck,
  czSetStand,
  czSettingsGet,
  czSettingsSave,
}
