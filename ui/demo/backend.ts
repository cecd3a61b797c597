/**
 * The in-memory backend: accounts, device sessions, tokens and the command
 * handlers. Demonstration mode talks to it inside the page; the local service
 * host serves the same backend over Socket.IO. Pure TypeScript (no DOM, no
 * Vue, no Node modules) so that both can load it.
 */
import { DEMO_TOKEN } from '../core/demoToken'
import { replyNameFor, type Payload } from '../core/envelope'
import { appSettingsHandlers } from './appSettings'
import { completionHandlers } from './completion'
import { documentHandlers } from './documents'
import { inventoryHandlers } from './inventory'
import { pickingHandlers } from './picking'
import { partsStoreHandlers } from './partsstore'
import { partsImportHandlers } from './partsstoreImport'
import { partsLabelHandlers } from './partsstoreLabels'
import { rolesHandlers, rolesLayers } from './roles'
import { referenceHandlers } from './reference'
import { remotePrintHandlers } from './remotePrint'
import { scenarioHandlers, scenarioLayers } from './scenarios'
import { DEMO_ACCOUNT_ID, DEMO_USER_ID, seedAccounts, type SeedAccount, type SeedUser } from './seed'
import { sessionHandlers } from './sessionHandlers'
import { withdrawalHandlers } from './withdrawal'
import { signingHandlers } from './signing'
import { signingSettingsHandlers } from './signingSettings'
import { wildberriesHandlers } from './wildberries'
import { ozonHandlers, ozonLayers } from './ozon'
import { ozonFboHandlers } from './ozonFbo'
import { encodeToken, randomHex, readToken, type Signer, type TokenClaims } from './tokens'

export interface Reply {
  c: string
  p: Payload
}

/** Who a connection is, decided once at the handshake. */
export type Identity =
  | { kind: 'guest'; token: '' }
  | { kind: 'anon'; token: string; visitorId: string }
  | { kind: 'device'; token: string; userId: string; accountId: string; sessionId: string; demo: boolean }

export interface Connection {
  readonly id: string
  readonly identity: Identity
  /** per-connection counters (sign-in attempts and the like) */
  readonly data: Record<string, unknown>
  push(c: string, p: Payload): void
}

export interface Session {
  sid: string
  userId: string
  accountId: string
  refreshToken: string | null
  revoked: boolean
  createdAt: number
}

export interface HandlerContext {
  backend: MemoryBackend
  conn: Connection
  now: number
}

/** Answers the payload of the reply (several for an answer in pages), or null for a command that is not answered. */
export type Handler = (ctx: HandlerContext, p: Payload) => Payload | Payload[] | null

export interface BackendOptions {
  sign: Signer
  now?: () => number
  log?: (line: string) => void
  /** lifetime of device tokens; 60 days by default */
  deviceTokenTtlSec?: number
  /** lifetime of anonymous tokens; one day by default */
  anonTokenTtlSec?: number
}

export { DEMO_TOKEN }
const DAY_SEC = 24 * 60 * 60

export class MemoryBackend {
  readonly accounts = new Map<string, SeedAccount>()
  readonly sessions = new Map<string, Session>()
  /** free-form state of the handler families (phone codes, completions, ...) */
  readonly state = new Map<string, unknown>()
  private readonly refreshIndex = new Map<string, string>()
  private readonly revokedTokens = new Set<string>()
  private readonly conns = new Map<string, Connection>()
  private readonly handlers = new Map<string, Handler>()
  private readonly sign: Signer
  private readonly clock: () => number
  private readonly logLine: (line: string) => void
  private readonly deviceTtl: number
  private readonly anonTtl: number
  private nextConn = 1

  constructor(options: BackendOptions) {
    this.sign = options.sign
    this.clock = options.now ?? (() => Date.now())
    this.logLine = options.log ?? (() => {})
    this.deviceTtl = options.deviceTokenTtlSec ?? 60 * DAY_SEC
    this.anonTtl = options.anonTokenTtlSec ?? DAY_SEC
    for (const a of seedAccounts()) this.accounts.set(a.uid, a)
    this.registerAll(sessionHandlers)
    this.registerAll(completionHandlers)
    this.registerAll(documentHandlers)
    this.registerAll(pickingHandlers)
    this.registerAll(referenceHandlers)
    this.registerAll(appSettingsHandlers)
    this.registerAll(rolesHandlers)
    this.registerAll(withdrawalHandlers)
    this.registerAll(remotePrintHandlers)
    this.registerAll(signingHandlers)
    this.registerAll(signingSettingsHandlers)
    this.registerAll(wildberriesHandlers)
    this.registerAll(ozonHandlers)
    this.layerAll(ozonLayers)
    this.registerAll(ozonFboHandlers)
    this.registerAll(scenarioHandlers)
    this.layerAll(scenarioLayers)
    this.layerAll(rolesLayers)
    this.registerAll({ ...partsStoreHandlers, ...partsImportHandlers, ...partsLabelHandlers })
    this.registerAll(inventoryHandlers())
  }

  now(): number {
    return this.clock()
  }

  log(line: string): void {
    this.logLine(line)
  }

  register(name: string, handler: Handler): void {
    this.handlers.set(name, handler)
  }

  registerAll(table: Readonly<Record<string, Handler>>): void {
    for (const [name, h] of Object.entries(table)) this.register(name, h)
  }

  /**
   * Adds to commands another family already answers (a settings block of its
   * own, work after a completion): each wrapper gets the handler registered so far.
   */
  layerAll(table: Readonly<Record<string, (inner: Handler) => Handler>>): void {
    for (const [name, wrap] of Object.entries(table)) this.register(name, wrap(this.handlers.get(name) ?? (() => ({}))))
  }

  // ---- tokens and sessions

  private claims(typ: TokenClaims['typ'], sub: string, ttlSec: number, extra: Partial<TokenClaims> = {}): TokenClaims {
    const iat = Math.floor(this.now() / 1000)
    return { typ, sub, iat, exp: iat + ttlSec, jti: randomHex(6), ...extra }
  }

  issueAnonToken(): string {
    return encodeToken(this.claims('anon', `v-${randomHex(8)}`, this.anonTtl), this.sign)
  }

  issueWorkerToken(accountId: string, workerId: string): string {
    return encodeToken(this.claims('worker', workerId, DAY_SEC, { acc: accountId }), this.sign)
  }

  /** Opens a device session for a user: a device token and a refresh token. */
  openSession(userId: string, ttlSec = this.deviceTtl): { token: string; refreshToken: string; session: Session } {
    const found = this.user(userId)
    if (!found) throw new Error(`no user ${userId}`)
    const session: Session = {
      sid: `s-${randomHex(8)}`,
      userId,
      accountId: found.account.uid,
      refreshToken: null,
      revoked: false,
      createdAt: this.now(),
    }
    this.sessions.set(session.sid, session)
    return { ...this.renew(session, ttlSec), session }
  }

  /** A new device token and a new refresh token for a session; the old refresh token stops working. */
  renew(session: Session, ttlSec = this.deviceTtl): { token: string; refreshToken: string } {
    if (session.refreshToken) this.refreshIndex.delete(session.refreshToken)
    const refreshToken = `rt-${session.sid}-${randomHex(16)}`
    session.refreshToken = refreshToken
    this.refreshIndex.set(refreshToken, session.sid)
    const token = encodeToken(
      this.claims('device', session.userId, ttlSec, { acc: session.accountId, sid: session.sid }),
      this.sign,
    )
    return { token, refreshToken }
  }

  sessionByRefreshToken(refreshToken: string): Session | undefined {
    const sid = this.refreshIndex.get(refreshToken)
    const s = sid === undefined ? undefined : this.sessions.get(sid)
    return s && !s.revoked ? s : undefined
  }

  /** Ends a session; its other connections are told with `tsdForceLogout.push`. */
  revokeSession(sid: string, except?: Connection): boolean {
    const s = this.sessions.get(sid)
    if (!s || s.revoked) return false
    s.revoked = true
    if (s.refreshToken) this.refreshIndex.delete(s.refreshToken)
    s.refreshToken = null
    this.pushWhere(
      (c) => c !== except && c.identity.kind === 'device' && c.identity.sessionId === sid,
      'tsdForceLogout.push',
      {},
    )
    return true
  }

  /** From now on the handshake refuses this token. */
  revokeToken(token: string): void {
    this.revokedTokens.add(token)
  }

  /** The identity behind a handshake token, or the reason it is refused (the text always contains "auth"). */
  authenticate(token: unknown): Identity | { error: string } {
    if (token === undefined || token === null || token === '') return { kind: 'guest', token: '' }
    if (typeof token !== 'string') return { error: 'auth: malformed token' }
    if (token === DEMO_TOKEN)
      return { kind: 'device', token, userId: DEMO_USER_ID, accountId: DEMO_ACCOUNT_ID, sessionId: 'demo', demo: true }
    if (this.revokedTokens.has(token)) return { error: 'auth: token expired' }
    const read = readToken(token, this.sign)
    if ('error' in read) return { error: read.error === 'signature' ? 'auth: bad signature' : 'auth: malformed token' }
    const c = read.claims
    if (c.exp * 1000 <= this.now()) return { error: 'auth: token expired' }
    if (c.typ === 'anon') return { kind: 'anon', token, visitorId: c.sub }
    if (c.typ !== 'device' || !c.sid || !c.acc) return { error: 'auth: not a device token' }
    const found = this.user(c.sub)
    if (!found || found.account.uid !== c.acc) return { error: 'auth: unknown account' }
    let session = this.sessions.get(c.sid)
    if (session?.revoked) return { error: 'auth: session revoked' }
    if (!session) {
      // A token signed before this backend started: its session is taken as live, without a refresh token.
      session = { sid: c.sid, userId: c.sub, accountId: c.acc, refreshToken: null, revoked: false, createdAt: this.now() }
      this.sessions.set(session.sid, session)
    }
    return { kind: 'device', token, userId: c.sub, accountId: c.acc, sessionId: c.sid, demo: false }
  }

  // ---- accounts

  user(userId: string): { user: SeedUser; account: SeedAccount } | undefined {
    for (const account of this.accounts.values()) {
      const user = account.users.find((u) => u.userId === userId)
      if (user) return { user, account }
    }
    return undefined
  }

  userWhere(match: (u: SeedUser) => boolean): SeedUser | undefined {
    for (const account of this.accounts.values()) {
      const user = account.users.find(match)
      if (user) return user
    }
    return undefined
  }

  /** The signed-in user of a connection, or undefined for anonymous ones and ended sessions. */
  signedIn(conn: Connection): { user: SeedUser; account: SeedAccount } | undefined {
    const id = conn.identity
    if (id.kind !== 'device') return undefined
    if (!id.demo && this.sessions.get(id.sessionId)?.revoked !== false) return undefined
    return this.user(id.userId)
  }

  /** The account description `deviceWhoAmI` answers. */
  describe(user: SeedUser, account: SeedAccount): Payload {
    return {
      uid: account.uid,
      userId: user.userId,
      accountName: account.name,
      role: user.role,
      roles: [...user.roles],
      activeRole: user.activeRole,
      permissions: [...user.permissions],
      features: { ...account.features },
      options: { ...account.options },
      moysklad: account.moysklad,
      profile: account.profile,
      fullName: `${user.firstName} ${user.lastName}`,
      firstName: user.firstName,
      lastName: user.lastName,
    }
  }

  // ---- connections and messages

  attach(identity: Identity, push: (c: string, p: Payload) => void): Connection {
    const conn: Connection = { id: `c${this.nextConn++}`, identity, data: {}, push }
    this.conns.set(conn.id, conn)
    return conn
  }

  detach(conn: Connection): void {
    this.conns.delete(conn.id)
  }

  connections(): Connection[] {
    return [...this.conns.values()]
  }

  pushWhere(match: (conn: Connection) => boolean, c: string, p: Payload): number {
    let n = 0
    for (const conn of this.conns.values()) {
      if (!match(conn)) continue
      conn.push(c, p)
      n++
    }
    return n
  }

  /** Answers one request: zero or one reply. An unknown command is refused, never left unanswered. */
  handle(conn: Connection, c: string, p: Payload): Reply[] {
    const handler = this.handlers.get(c)
    if (!handler) return [{ c: replyNameFor(c), p: { error: `unknown command ${c}`, errorCode: 'unknown_command' } }]
    let answer: Payload | Payload[] | null
    try {
      answer = handler({ backend: this, conn, now: this.now() }, p)
    } catch (err) {
      this.log(`команда ${c} упала: ${err instanceof Error ? err.message : String(err)}`)
      answer = { error: 'internal error', errorCode: 'internal' }
    }
    if (answer === null) return []
    return (Array.isArray(answer) ? answer : [answer]).map((p) => ({ c: replyNameFor(c), p }))
  }
}

export function createBackend(options: BackendOptions): MemoryBackend {
  return new MemoryBackend(options)
}
