/**
 * The two-person check in the in-memory backend: start, release and reopen of
 * a document, its stage details, and the account's roles settings. Every
 * device of the account sees the same stages, so a collector and a checker
 * signed in on two devices see each other's work.
 */
import type { Payload } from '../core/envelope'
import { normaliseRolesSettings, type RolesSettings } from '../roles/rolesSettings'
import type { Handler, HandlerContext, MemoryBackend } from './backend'
import { shortfallCount, type DemoStage } from './checkState'
import { keptResult } from './completion'
import { checkOf, signedInDocs, stageOf, type DemoDocument } from './documents'
import type { SeedAccount, SeedUser } from './seed'

const text = (v: unknown) => (typeof v === 'string' ? v : '')
const NOT_AUTHORIZED = 'session not authorized'

/** The account's roles settings: what its administrator saved, else the seed's. */
export function accountRolesSettings(b: MemoryBackend, account: SeedAccount): RolesSettings {
  let saved = b.state.get('rolesSettings') as Map<string, RolesSettings> | undefined
  if (!saved) b.state.set('rolesSettings', (saved = new Map()))
  let s = saved.get(account.uid)
  if (!s) saved.set(account.uid, (s = normaliseRolesSettings(account.rolesSettings ?? {})))
  return s
}

/** The releases a device sent (tests read the reasons and the automatic ones). */
export interface ReleaseRecord {
  documentId: string
  userId: string
  reason?: string
  auto: boolean
}

export function releaseLog(b: MemoryBackend): ReleaseRecord[] {
  let log = b.state.get('releases') as ReleaseRecord[] | undefined
  if (!log) b.state.set('releases', (log = []))
  return log
}

const nameOf = (u: SeedUser) => `${u.firstName} ${u.lastName}`
const refuse = (errorCode: string, error: string, extra: Payload = {}): Payload => ({ error, errorCode, ...extra })

interface Found {
  user: SeedUser
  account: SeedAccount
  doc: DemoDocument
  settings: RolesSettings
}

/** A handler for one document of the signed-in user's account with roles on. */
function onDocument(fn: (ctx: HandlerContext, f: Found, p: Payload) => Payload): Handler {
  return (ctx, p) => {
    const documentId = text(p.documentId)
    const found = signedInDocs(ctx)
    if (!found) return { documentId, ...refuse('forbidden', NOT_AUTHORIZED) }
    const { user, account } = found.me
    if (account.features.roles !== true) return { documentId, ...refuse('forbidden', 'roles are off for this account') }
    const doc = found.docs.byId.get(documentId)
    if (!doc) return { documentId, ...refuse('not-found', 'Документ не найден') }
    return { documentId, ...fn(ctx, { user, account, doc, settings: accountRolesSettings(ctx.backend, account) }, p) }
  }
}

const wrongStage = (stage: DemoStage) => refuse('wrong-stage', `document is ${stage}`, { stage })
const isAdmin = (u: SeedUser) => u.role === 'admin'

/** Every device of the account hears of a document's new stage (who collects it now, whom it was taken from). */
function tellStage(ctx: HandlerContext, accountId: string, doc: DemoDocument, extra: Payload = {}): void {
  const check = checkOf(doc)
  const p: Payload = { documentId: doc.id, type: doc.type, stage: check.stage, ...extra }
  if (check.collector) p.collector = { ...check.collector }
  if (check.startedAt) p.startedAt = check.startedAt
  ctx.backend.pushWhere((c) => c.identity.kind === 'device' && c.identity.accountId === accountId, 'documentStage.push', p)
}

/**
 * "Начать сборку". A document someone else collects is refused as "taken" —
 * unless an administrator takes it over (`takeOver`), and then its collector
 * is told with the stage push.
 */
const documentStart = /*#__PURE__*/ onDocument((ctx, { user, account, doc }, p) => {
  const check = checkOf(doc)
  const taken = check.stage === 'collecting' && check.collector && check.collector.id !== user.userId
  if (taken && !(p.takeOver === true && isAdmin(user)))
    return refuse('taken', 'document is taken', { collector: { ...check.collector! }, startedAt: check.startedAt })
  if (check.stage === 'collecting' && !taken) return { stage: check.stage, collector: { ...check.collector! }, startedAt: check.startedAt }
  if (check.stage !== 'new' && !taken) return wrongStage(check.stage)
  const from = taken ? { ...check.collector! } : undefined
  check.stage = 'collecting'
  check.collector = { id: user.userId, name: nameOf(user) }
  check.startedAt = new Date(ctx.now).toISOString()
  doc.status = 'in_progress'
  if (from) takeovers(ctx.backend).push({ documentId: doc.id, from: from.id, by: user.userId })
  tellStage(ctx, account.uid, doc, from ? { takenFrom: from } : {})
  return { stage: check.stage, collector: { ...check.collector }, startedAt: check.startedAt }
})

/** The takeovers administrators made (tests read them). */
export interface TakeoverRecord {
  documentId: string
  from: string
  by: string
}

export function takeovers(b: MemoryBackend): TakeoverRecord[] {
  let log = b.state.get('takeovers') as TakeoverRecord[] | undefined
  if (!log) b.state.set('takeovers', (log = []))
  return log
}

const documentRelease = /*#__PURE__*/ onDocument((ctx, { user, account, doc, settings }, p) => {
  const { backend } = ctx
  const check = checkOf(doc)
  if (check.stage !== 'collecting') return wrongStage(check.stage)
  const auto = p.auto === true
  const reason = text(p.reason).trim().slice(0, 255)
  const own = !check.collector || check.collector.id === user.userId
  const checker = user.activeRole === 'checker' || (user.activeRole === null && user.roles.includes('checker'))
  if (!own && !isAdmin(user) && !(checker && settings.checkerCanRelease)) return refuse('forbidden', 'not your document')
  if (own && !auto && !isAdmin(user) && !settings.collectorCanRelease) return refuse('forbidden', 'collectors may not release')
  if (!auto && settings.releaseReasonRequired && !reason) return refuse('reason-required', 'a reason is required')
  check.stage = 'new'
  delete check.collector
  delete check.startedAt
  doc.status = 'pending'
  const record: ReleaseRecord = { documentId: doc.id, userId: user.userId, auto }
  if (reason) record.reason = reason
  releaseLog(backend).push(record)
  tellStage(ctx, account.uid, doc)
  return { stage: 'new' }
})

const documentReopen = /*#__PURE__*/ onDocument((_ctx, { user, doc, settings }) => {
  const stage = stageOf(doc)
  if (!isAdmin(user) && !(user.roles.includes('checker') && settings.checkerCanReopen)) return refuse('forbidden', 'not allowed to reopen')
  if (stage === 'collecting') return wrongStage(stage)
  if (stage === 'new') return refuse('nothing-to-reopen', 'nothing to reopen')
  doc.check = { stage: 'new', collected: {}, checked: {}, collectorShortfalls: {}, checkerShortfalls: {} }
  delete doc.collector
  doc.status = 'pending'
  return { stage: 'new', runsReopened: 0, checkCleared: true, stateRestored: 'Новый', sent: false }
})

const documentStageGet = /*#__PURE__*/ onDocument((_ctx, { doc }) => {
  const check = checkOf(doc)
  const out: Payload = {
    stage: check.stage,
    collector: check.collector?.name ?? '',
    checker: check.checker?.name ?? '',
    // Beside the names, whose they are: a screen opened by address decides access by them.
    collectorId: check.collector?.id ?? '',
    checkerId: check.checker?.id ?? '',
    checking: '',
    boxes: check.boxes ?? 0,
    shortfalls: shortfallCount(check),
  }
  for (const k of ['startedAt', 'collectedAt', 'checkedAt'] as const) if (check[k]) out[k] = check[k]
  return out
})

const accountSettingsGet: Handler = (ctx, p) => {
  const me = ctx.backend.signedIn(ctx.conn)
  if (!me) return refuse('forbidden', NOT_AUTHORIZED)
  const blocks = Array.isArray(p.blocks) ? p.blocks : []
  const out: Payload = {}
  if (blocks.includes('roles')) out.roles = { ...accountRolesSettings(ctx.backend, me.account) }
  return out
}

const accountSettingsSet: Handler = (ctx, p) => {
  const me = ctx.backend.signedIn(ctx.conn)
  if (!me) return refuse('forbidden', NOT_AUTHORIZED)
  if (!isAdmin(me.user)) return refuse('forbidden', 'settings are changed by the account administrator')
  const out: Payload = {}
  if (typeof p.roles === 'object' && p.roles !== null) {
    const settings = normaliseRolesSettings(p.roles)
    accountRolesSettings(ctx.backend, me.account)
    ;(ctx.backend.state.get('rolesSettings') as Map<string, RolesSettings>).set(me.account.uid, settings)
    out.roles = { ...settings }
    // Devices already signed in apply the new rules at once.
    ctx.backend.pushWhere(
      (c) => c.identity.kind === 'device' && c.identity.accountId === me.account.uid,
      'accountSettings.push',
      { roles: { ...settings } },
    )
  }
  return out
}

/**
 * With roles on, a collection someone else holds is his: another collector's
 * result is refused as "taken". A resend of a result already kept is
 * answered as before.
 */
const withStageGuard =
  (inner: Handler): Handler =>
  (ctx, p) => {
    const me = ctx.backend.signedIn(ctx.conn)
    const role = text(p.role)
    if (!me || p.final !== true || me.account.features.roles !== true || role !== 'collector') return inner(ctx, p)
    if (keptResult(ctx.backend, me.account.uid, me.user.userId, p)) return inner(ctx, p)
    const documentId = text(p.documentId)
    const doc = signedInDocs(ctx)?.docs.byId.get(documentId)
    if (!doc) return inner(ctx, p)
    const check = checkOf(doc)
    const refused = (r: Payload): Payload => ({ accepted: false, documentId, ...r })
    if (check.stage === 'collecting' && check.collector && check.collector.id !== me.user.userId)
      return refused(refuse('taken', 'document is taken', { collector: { ...check.collector }, startedAt: check.startedAt }))
    return inner(ctx, p)
  }

export const rolesLayers: Readonly<Record<string, (inner: Handler) => Handler>> = { completeDocument: withStageGuard }

export const rolesHandlers: Readonly<Record<string, Handler>> = {
  documentStart,
  documentRelease,
  documentReopen,
  documentStageGet,
  accountSettingsGet,
  accountSettingsSet,
}
