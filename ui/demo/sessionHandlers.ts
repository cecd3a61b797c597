/**
 * Session commands of the in-memory backend: device sign-in by code or by
 * phone, the account description, token renewal, worker sign-in, sign-out,
 * roles, the account's working mode and the workplace code.
 */
import type { Payload } from '../core/envelope'
import type { Handler, HandlerContext, MemoryBackend } from './backend'
import type { Profile, Role, SeedAccount, SeedUser } from './seed'
import { randomHex } from './tokens'
import { accountWorkplace } from './withdrawal'

const NOT_AUTHORIZED = 'session not authorized'
const PIN_ATTEMPTS = 5
const PIN_LOCK_MS = 45_000
const SMS_COOLDOWN_MS = 60_000
const SMS_ATTEMPTS = 3
const SMS_LOCK_MS = 10 * 60_000
const REGISTRATION_MS = 15 * 60_000

interface SmsCode {
  code: string
  sentAt: number
  attemptsLeft: number
}

interface PhoneState {
  codes: Map<string, SmsCode>
  lockedUntil: Map<string, number>
  registrations: Map<string, { phone: string; expiresAt: number }>
}

function phoneState(b: MemoryBackend): PhoneState {
  let s = b.state.get('phone') as PhoneState | undefined
  if (!s) {
    s = { codes: new Map(), lockedUntil: new Map(), registrations: new Map() }
    b.state.set('phone', s)
  }
  return s
}

/** The last SMS code sent to a phone (the local service host shows it; tests read it). */
export function lastSmsCode(b: MemoryBackend, phone: string): string | undefined {
  return phoneState(b).codes.get(phone)?.code
}

function text(p: Payload, key: string): string {
  const v = p[key]
  return typeof v === 'string' ? v : ''
}

function seconds(ms: number): number {
  return Math.max(1, Math.ceil(ms / 1000))
}

function roleState(user: SeedUser): Payload {
  return { roles: [...user.roles], activeRole: user.activeRole, permissions: [...user.permissions] }
}

function newAccount(b: MemoryBackend, phone: string, moysklad: boolean, name: string): SeedUser {
  const id = randomHex(6)
  const [firstName = 'Пользователь', ...rest] = name.trim() ? name.trim().split(/\s+/) : []
  const user: SeedUser = {
    userId: `u-${id}`,
    firstName,
    lastName: rest.join(' '),
    role: 'admin',
    roles: [],
    activeRole: null,
    permissions: ['settings'],
    phone,
  }
  const account: SeedAccount = {
    uid: `acc-${id}`,
    name: moysklad ? 'Аккаунт МоегоСклада' : name.trim() || 'Мой склад',
    moysklad,
    profile: moysklad ? 'orders' : '',
    features: { roles: false, checkMarksOnScan: false, assortmentSearch: moysklad, radio: !moysklad },
    options: {},
    appSettings: {},
    users: [user],
    workers: [],
  }
  b.accounts.set(account.uid, account)
  return user
}

function takeRegistration(b: MemoryBackend, p: Payload, now: number): { phone: string } | Payload {
  const regs = phoneState(b).registrations
  const token = text(p, 'registrationToken')
  const reg = regs.get(token)
  if (!reg || reg.expiresAt <= now) {
    regs.delete(token)
    return { error: 'registration expired, request a new code', errorCode: 'registration_expired' }
  }
  regs.delete(token)
  return { phone: reg.phone }
}

const deviceAuth: Handler = ({ backend, conn, now }, p) => {
  const lockedUntil = (conn.data.pinLockedUntil as number | undefined) ?? 0
  if (lockedUntil > now) return { error: `too many attempts, try again in ${seconds(lockedUntil - now)}s` }
  const pin = text(p, 'pin')
  if (!/^\d{4}-\d{4}$/.test(pin)) return { error: 'invalid code format' }
  const user = backend.userWhere((u) => u.deviceCode === pin)
  if (!user) {
    const failures = ((conn.data.pinFailures as number | undefined) ?? 0) + 1
    conn.data.pinFailures = failures
    if (failures >= PIN_ATTEMPTS) {
      conn.data.pinFailures = 0
      conn.data.pinLockedUntil = now + PIN_LOCK_MS
      return { error: `too many attempts, try again in ${seconds(PIN_LOCK_MS)}s` }
    }
    return { error: 'invalid or expired code' }
  }
  conn.data.pinFailures = 0
  const { token, refreshToken } = backend.openSession(user.userId)
  return { token, refreshToken }
}

const phoneCodeRequest: Handler = ({ backend }, p) => {
  const now = backend.now()
  const phone = text(p, 'phone')
  if (!/^79\d{9}$/.test(phone)) return { error: 'bad phone number', errorCode: 'bad_phone' }
  const s = phoneState(backend)
  const locked = s.lockedUntil.get(phone) ?? 0
  if (locked > now) return { error: `locked, retry in ${seconds(locked - now)}s`, errorCode: 'locked', retryAfter: seconds(locked - now) }
  const previous = s.codes.get(phone)
  if (previous && now - previous.sentAt < SMS_COOLDOWN_MS) {
    const wait = seconds(SMS_COOLDOWN_MS - (now - previous.sentAt))
    return { error: `code already sent, retry in ${wait}s`, errorCode: 'cooldown', retryAfter: wait }
  }
  const code = String(parseInt(randomHex(4), 16) % 1_000_000).padStart(6, '0')
  s.codes.set(phone, { code, sentAt: now, attemptsLeft: SMS_ATTEMPTS })
  backend.log(`SMS на +${phone}: код ${code}`)
  return { codeLength: code.length }
}

const phoneCodeVerify: Handler = ({ backend, now }, p) => {
  const phone = text(p, 'phone')
  const s = phoneState(backend)
  const locked = s.lockedUntil.get(phone) ?? 0
  if (locked > now) return { error: `locked, retry in ${seconds(locked - now)}s`, errorCode: 'locked', retryAfter: seconds(locked - now) }
  const sent = s.codes.get(phone)
  if (!sent) return { error: 'no code was requested for this phone', errorCode: 'no_code' }
  const code = text(p, 'code')
  if (code === '') return { error: 'empty code', errorCode: 'empty_code' }
  if (code !== sent.code) {
    sent.attemptsLeft -= 1
    if (sent.attemptsLeft <= 0) {
      s.codes.delete(phone)
      s.lockedUntil.set(phone, now + SMS_LOCK_MS)
      return { error: 'too many wrong codes, locked for 10m', errorCode: 'locked', retryAfter: seconds(SMS_LOCK_MS) }
    }
    return { error: 'wrong code', errorCode: 'wrong_code', attemptsLeft: sent.attemptsLeft, lockNext: sent.attemptsLeft === 1 }
  }
  s.codes.delete(phone)
  const user = backend.userWhere((u) => u.phone === phone)
  if (user) {
    const { token, refreshToken } = backend.openSession(user.userId)
    return { token, refreshToken }
  }
  const registrationToken = `reg-${randomHex(12)}`
  s.registrations.set(registrationToken, { phone, expiresAt: now + REGISTRATION_MS })
  return { needsMoysklad: true, registrationToken }
}

const phoneMoyskladConnect: Handler = ({ backend, now }, p) => {
  const msToken = text(p, 'msToken')
  if (msToken.length < 20 || /\s/.test(msToken)) return { error: 'MoySklad token is not valid', errorCode: 'bad_ms_token' }
  const reg = takeRegistration(backend, p, now)
  if (!('phone' in reg) || typeof reg.phone !== 'string') return reg
  const user = newAccount(backend, reg.phone, true, '')
  const { token, refreshToken } = backend.openSession(user.userId)
  return { token, refreshToken, moysklad: true }
}

const phoneStandaloneConnect: Handler = ({ backend, now }, p) => {
  const reg = takeRegistration(backend, p, now)
  if (!('phone' in reg) || typeof reg.phone !== 'string') return reg
  const user = newAccount(backend, reg.phone, false, text(p, 'name'))
  const { token, refreshToken } = backend.openSession(user.userId)
  return { token, refreshToken, moysklad: false, profile: '' }
}

function whoAmI(ctx: HandlerContext): Payload {
  const id = ctx.conn.identity
  if (id.kind !== 'device') return { error: NOT_AUTHORIZED }
  const me = ctx.backend.signedIn(ctx.conn)
  if (!me) return { error: 'session not found' }
  return ctx.backend.describe(me.user, me.account)
}

const refreshDeviceJwt: Handler = ({ backend, conn }, p) => {
  const refreshToken = text(p, 'refreshToken')
  const id = conn.identity
  if (refreshToken) {
    const session = backend.sessionByRefreshToken(refreshToken)
    return session ? backend.renew(session) : { error: 'refresh token is not valid' }
  }
  // Without a refresh token in the request, the connection's own session is renewed.
  if (id.kind !== 'device') return { error: NOT_AUTHORIZED }
  if (id.demo) return { token: id.token }
  const session = backend.sessions.get(id.sessionId)
  if (!session || session.revoked || !session.refreshToken) return { error: 'session not found' }
  return backend.renew(session)
}

const workerAuth: Handler = ({ backend, conn }, p) => {
  const me = backend.signedIn(conn)
  if (!me) return { error: NOT_AUTHORIZED }
  const method = text(p, 'method')
  const code = text(p, 'code').trim()
  // A badge's QR code read by the camera arrives with the method "pin".
  const worker = me.account.workers.find((w) => (method === 'qr' ? w.badge === code : w.pin === code || w.badge === code))
  if (!worker || code === '') return { error: 'invalid code' }
  return { workerId: worker.workerId, workerName: worker.workerName, token: backend.issueWorkerToken(me.account.uid, worker.workerId) }
}

const deviceLogout: Handler = ({ backend, conn }, p) => {
  const refreshToken = text(p, 'refreshToken')
  if (refreshToken) {
    const session = backend.sessionByRefreshToken(refreshToken)
    if (!session) return { revoked: false, reason: 'сессия уже завершена' }
    backend.revokeSession(session.sid, conn)
    return { revoked: true }
  }
  const id = conn.identity
  if (id.kind !== 'device') return { revoked: false, reason: 'устройство не авторизовано' }
  if (id.demo) return { revoked: true }
  return backend.revokeSession(id.sessionId, conn) ? { revoked: true } : { revoked: false, reason: 'сессия уже завершена' }
}

function withUser(fn: (ctx: HandlerContext, user: SeedUser, account: SeedAccount, p: Payload) => Payload): Handler {
  return (ctx, p) => {
    const me = ctx.backend.signedIn(ctx.conn)
    if (!me) return { error: NOT_AUTHORIZED, errorCode: 'forbidden' }
    return fn(ctx, me.user, me.account, p)
  }
}

const ROLES: readonly Role[] = ['collector', 'checker']

const roleSelect = /*#__PURE__*/ withUser((_ctx, user, _account, p) => {
  const asked = Array.isArray(p.roles) ? p.roles : []
  const roles = ROLES.filter((r) => asked.includes(r))
  if (roles.length === 0) return { error: 'choose at least one role', errorCode: 'invalid' }
  if (user.roles.length > 0 && user.role !== 'admin')
    return { error: 'roles are changed by the account administrator', errorCode: 'forbidden' }
  user.roles = roles
  user.activeRole = roles.length === 1 ? roles[0]! : null
  return roleState(user)
})

const roleSwitch = /*#__PURE__*/ withUser((_ctx, user, _account, p) => {
  const role = text(p, 'role') as Role
  if (!user.roles.includes(role)) return { error: 'this role is not assigned to you', errorCode: 'role-not-assigned' }
  user.activeRole = role
  return roleState(user)
})

const accountProfileSet = /*#__PURE__*/ withUser((_ctx, user, account, p) => {
  const profile = text(p, 'profile') as Profile
  if (profile !== 'radio' && profile !== 'orders') return { error: 'unknown profile', errorCode: 'invalid' }
  if (user.role !== 'admin') return { error: 'the working mode is chosen by the account administrator', errorCode: 'forbidden' }
  account.profile = profile
  return { profile }
})

const FIAS = /^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$/

const reportWorkplace: Handler = ({ backend, conn }, p) => {
  const me = backend.signedIn(conn)
  if (!me) return { error: NOT_AUTHORIZED }
  const fiasId = text(p, 'fiasId').trim().toLowerCase()
  if (!FIAS.test(fiasId)) return { error: 'fias id is not a UUID' }
  conn.data.fiasId = fiasId
  conn.data.deviceId = text(p, 'deviceId')
  // An address set for the organisation wins over the device's.
  return { fiasId: accountWorkplace(backend, me.account.uid) ?? fiasId }
}

export const sessionHandlers: Readonly<Record<string, Handler>> = {
  deviceAuth,
  phoneCodeRequest,
  phoneCodeVerify,
  phoneMoyskladConnect,
  phoneStandaloneConnect,
  deviceWhoAmI: (ctx) => whoAmI(ctx),
  refreshDeviceJwt,
  workerAuth,
  // Reports only: the outcome of a quick-login PIN and the answer to a ping.
  userPinAuth: () => null,
  tsdPing: () => null,
  deviceLogout,
  roleSelect,
  roleSwitch,
  accountProfileSet,
  reportWorkplace,
}
