/**
 * The account's printer registry and the print relay. A desktop registers its
 * printer (`printerRegister`); a label asked for on another device becomes a
 * `printLabel.push` to that desktop, and the desktop's progress and result go
 * back to the asking device under the asking command's names.
 *
 * Other label requests join the relay with `labelRelayHandler` (or
 * `relayLabel` inside a handler of their own); tests drive it through the
 * control functions at the end.
 */
import type { Payload } from '../core/envelope'
import type { Connection, Handler, HandlerContext, MemoryBackend } from './backend'

export interface RegistryEntry {
  printerId: string
  name: string
  comment: string
  format: { widthMm: number; heightMm: number; rotate: number }
  purpose: string
  lastSeenAt: number
  deviceId: string
  deviceName: string
  /** the device session that registered it: its connections take the commands */
  sessionId: string
}

export interface RelayJob {
  jobId: string
  accountId: string
  printerId: string
  documentId: string
  labelUrl: string
  copies: number
  sku: number | null
  /** the asking device's session and command ("printOzonLabel"); null for a command sent by a test */
  asker: { sessionId: string; reply: string } | null
  /** the asking device's id of the request: a repeat with the same id is this job again, not a new one */
  requestId: string
  /** deliveries to the desktop so far */
  delivered: number
  /** the desktop connection of the last delivery (a job it left unfinished goes out again on its next connection) */
  deliveredTo: string | null
  /** waits for the desktop to come back */
  held: number
  progress: Array<{ stage: string; note: string }>
  results: Payload[]
}

interface RelayState {
  registries: Map<string, RegistryEntry[]>
  jobs: Map<string, RelayJob>
  nextPrinter: number
  nextJob: number
  dropResults: number
}

function state(backend: MemoryBackend): RelayState {
  let s = backend.state.get('remotePrint') as RelayState | undefined
  if (!s) {
    s = { registries: new Map(), jobs: new Map(), nextPrinter: 1, nextJob: 1, dropResults: 0 }
    backend.state.set('remotePrint', s)
  }
  return s
}

const text = (v: unknown): string => (typeof v === 'string' ? v.trim() : '')
const num = (v: unknown, fallback: number): number => (typeof v === 'number' && Number.isFinite(v) ? v : fallback)

function registry(backend: MemoryBackend, accountId: string): RegistryEntry[] {
  const s = state(backend)
  let list = s.registries.get(accountId)
  if (!list) s.registries.set(accountId, (list = []))
  return list
}

/** The account's registered printer (the registry holds one per account). */
export function registeredPrinter(backend: MemoryBackend, accountId: string): RegistryEntry | undefined {
  return registry(backend, accountId)[0]
}

/** "name — comment": the printer as the asking device names it. */
export function printerDescription(e: RegistryEntry): string {
  return [e.name, e.comment].filter(Boolean).join(' — ')
}

function record(e: RegistryEntry): Payload {
  return {
    printerId: e.printerId,
    name: e.name,
    comment: e.comment,
    format: { widthMm: e.format.widthMm, heightMm: e.format.heightMm },
    purpose: e.purpose,
    lastSeenAt: e.lastSeenAt,
  }
}

function deviceOf(conn: Connection): { accountId: string; sessionId: string } | undefined {
  const id = conn.identity
  return id.kind === 'device' ? { accountId: id.accountId, sessionId: id.sessionId } : undefined
}

/** A live connection of the desktop that registered `e`. */
function desktopOf(backend: MemoryBackend, e: RegistryEntry, accountId: string): Connection | undefined {
  return backend.connections().find((c) => {
    const d = deviceOf(c)
    if (!d || d.accountId !== accountId) return false
    return d.sessionId === e.sessionId || (e.deviceId !== '' && c.data.printDeviceId === e.deviceId)
  })
}

function toAsker(backend: MemoryBackend, job: RelayJob, suffix: 'progress' | 'result', p: Payload): void {
  const asker = job.asker
  if (!asker) return
  const payload: Payload = { documentId: job.documentId, ...p }
  if (job.sku !== null) payload.sku = job.sku
  if (job.requestId !== '') payload.requestId = job.requestId
  backend.pushWhere((c) => deviceOf(c)?.sessionId === asker.sessionId, `${asker.reply}.${suffix}`, payload)
}

function commandOf(job: RelayJob): Payload {
  return { jobId: job.jobId, printerId: job.printerId, documentId: job.documentId, labelUrl: job.labelUrl, copies: job.copies }
}

/** Sends the job to the desktop now, or keeps it until the desktop is back. Answers whether it went. */
function deliver(backend: MemoryBackend, job: RelayJob): boolean {
  const e = registry(backend, job.accountId).find((r) => r.printerId === job.printerId)
  const conn = e && desktopOf(backend, e, job.accountId)
  if (!conn) {
    job.held += 1
    // The asking device learns at once that the job waits for the desktop (and keeps waiting for the result).
    toAsker(backend, job, 'progress', { stage: 'held' })
    return false
  }
  conn.push('printLabel.push', commandOf(job))
  job.delivered += 1
  job.deliveredTo = conn.id
  if (job.delivered === 1) toAsker(backend, job, 'progress', { stage: 'sent' })
  return true
}

/**
 * What waits for the desktop of `printerId`, now on connection `connId`: held jobs, and jobs an earlier
 * connection took and never answered (the desktop was closed or killed on the way).
 */
function deliverHeld(backend: MemoryBackend, accountId: string, printerId: string, connId: string): void {
  for (const job of state(backend).jobs.values()) {
    if (job.accountId !== accountId || job.printerId !== printerId) continue
    const unfinished = job.held === 0 && job.delivered > 0 && job.results.length === 0 && job.deliveredTo !== connId
    if (unfinished) job.held = 1
    while (job.held > 0) {
      job.held -= 1
      if (!deliver(backend, job)) break
    }
  }
}

/** Where a job stands, told again to an asking device that asks for it once more. */
function tellAgain(backend: MemoryBackend, job: RelayJob): void {
  const last = job.results.at(-1)
  if (last) return resultToAsker(backend, job, last)
  const e = registry(backend, job.accountId).find((r) => r.printerId === job.printerId)
  if (job.held > 0 || !e || !desktopOf(backend, e, job.accountId)) return toAsker(backend, job, 'progress', { stage: 'held' })
  const stage = job.progress.at(-1)?.stage ?? (job.delivered > 0 ? 'sent' : 'label-ready')
  toAsker(backend, job, 'progress', { stage })
}

// ---- the relay

export interface LabelRelayRequest {
  /** the label file (a relative link is resolved by the desktop against the service host) */
  labelUrl: string
  documentId: string
  sku?: number | null
  copies?: number
  /** the asking device's id of the request (see `RelayJob.requestId`) */
  requestId?: string
}

/**
 * Relays a label asked for on `ctx.conn` to the account's registered printer. Its progress and result reach
 * the asking device as `${reply}.progress` and `${reply}.result`. Answers the refusal to send back at once,
 * or null when the job is on its way.
 */
export function relayLabel(ctx: HandlerContext, reply: string, req: LabelRelayRequest): Payload | null {
  const asker = deviceOf(ctx.conn)
  const base: Payload = { documentId: req.documentId }
  if (req.sku !== undefined && req.sku !== null) base.sku = req.sku
  if (!asker || !ctx.backend.signedIn(ctx.conn)) return { ...base, ok: false, error: 'unauthorized', message: 'Войдите в аккаунт' }
  const printer = registeredPrinter(ctx.backend, asker.accountId)
  if (!printer)
    return { ...base, ok: false, error: 'no-printer', message: 'На аккаунте нет зарегистрированного принтера' }
  const s = state(ctx.backend)
  const requestId = (req.requestId ?? '').trim()
  if (requestId !== '') {
    const same = [...s.jobs.values()].find((j) => j.requestId === requestId && j.accountId === asker.accountId && j.asker?.reply === reply)
    if (same) {
      // A repeat of a request: the same job, whose state goes to the (maybe new) connection of the asker.
      same.asker = { sessionId: asker.sessionId, reply }
      tellAgain(ctx.backend, same)
      return null
    }
  }
  const job: RelayJob = {
    jobId: `job-${s.nextJob++}`,
    accountId: asker.accountId,
    printerId: printer.printerId,
    documentId: req.documentId,
    labelUrl: req.labelUrl,
    copies: Math.max(1, Math.trunc(num(req.copies, 1))),
    sku: req.sku ?? null,
    asker: { sessionId: asker.sessionId, reply },
    requestId,
    delivered: 0,
    deliveredTo: null,
    held: 0,
    progress: [],
    results: [],
  }
  s.jobs.set(job.jobId, job)
  toAsker(ctx.backend, job, 'progress', { stage: 'label-ready' })
  deliver(ctx.backend, job)
  return null
}

/** What a label request names: its label, or a refusal answered as it is. */
export type LabelSource = (ctx: HandlerContext, p: Payload) => LabelRelayRequest | { refusal: Payload }

/** A handler for a label command (`reply` is its name) that prints through the relay. */
export function labelRelayHandler(reply: string, source: LabelSource): Handler {
  return (ctx, p) => {
    const found = source(ctx, p)
    if ('refusal' in found) return found.refusal
    return relayLabel(ctx, reply, { requestId: text(p.requestId), ...found })
  }
}

/** A sample label of the registered printer's size, standing in until the marketplace labels exist. */
const sampleOfPrinter: LabelSource = (ctx, p) => {
  const documentId = typeof p.documentId === 'number' ? String(p.documentId) : text(p.documentId)
  if (documentId === '') return { refusal: { ok: false, error: 'bad-request', message: 'documentId is required' } }
  const asker = deviceOf(ctx.conn)
  const printer = asker && registeredPrinter(ctx.backend, asker.accountId)
  const mm = (v: number | undefined, d: number) => Math.min(400, Math.max(10, Math.round(v ?? d)))
  const sku = typeof p.sku === 'number' && Number.isFinite(p.sku) ? p.sku : null
  return {
    labelUrl: `/labels/sample-${mm(printer?.format.widthMm, 58)}x${mm(printer?.format.heightMm, 40)}.pdf`,
    documentId,
    sku,
    copies: num(p.copies, 1),
  }
}

// ---- the desktop's commands

const printerRegister: Handler = (ctx, p) => {
  const me = ctx.backend.signedIn(ctx.conn)
  const device = deviceOf(ctx.conn)
  if (!me || !device) return { error: 'unauthorized', message: 'Войдите в аккаунт' }
  const name = text(p.name)
  if (name === '') return { error: 'bad-request', message: 'Не указано имя принтера' }
  const f = (typeof p.format === 'object' && p.format !== null ? p.format : {}) as Record<string, unknown>
  const deviceId = text(p.deviceId)
  if (deviceId !== '') ctx.conn.data.printDeviceId = deviceId
  const list = registry(ctx.backend, device.accountId)
  const mine = list.find((e) => (deviceId !== '' && e.deviceId === deviceId) || e.sessionId === device.sessionId)
  if (!mine && list.length > 0) {
    const other = list[0]!
    return {
      error: 'already-registered',
      message: `На аккаунте уже зарегистрирован принтер «${printerDescription(other)}»${other.deviceName ? ` на компьютере ${other.deviceName}` : ''}.`,
    }
  }
  const entry: RegistryEntry = mine ?? {
    printerId: `prn-${state(ctx.backend).nextPrinter++}`,
    name,
    comment: '',
    format: { widthMm: 58, heightMm: 40, rotate: 0 },
    purpose: 'auto',
    lastSeenAt: ctx.now,
    deviceId,
    deviceName: '',
    sessionId: device.sessionId,
  }
  entry.name = name
  entry.comment = text(p.comment).slice(0, 60)
  entry.format = { widthMm: num(f.widthMm, 58), heightMm: num(f.heightMm, 40), rotate: num(f.rotate, 0) }
  entry.purpose = text(p.purpose) || 'auto'
  entry.lastSeenAt = ctx.now
  entry.deviceName = text(p.deviceName).slice(0, 100)
  entry.sessionId = device.sessionId
  if (deviceId !== '') entry.deviceId = deviceId
  if (!mine) list.push(entry)
  // The desktop announces itself on every connection: what waited for it goes out now, after this answer.
  queueMicrotask(() => deliverHeld(ctx.backend, device.accountId, entry.printerId, ctx.conn.id))
  return { printerId: entry.printerId }
}

const printerList: Handler = (ctx) => {
  const device = deviceOf(ctx.conn)
  if (!device || !ctx.backend.signedIn(ctx.conn)) return { error: 'unauthorized' }
  return { printers: registry(ctx.backend, device.accountId).map(record) }
}

const printerForget: Handler = (ctx, p) => {
  const device = deviceOf(ctx.conn)
  if (!device || !ctx.backend.signedIn(ctx.conn)) return { error: 'unauthorized' }
  const list = registry(ctx.backend, device.accountId)
  const at = list.findIndex((e) => e.printerId === text(p.printerId))
  if (at < 0) return { error: 'not-found', message: '' }
  list.splice(at, 1)
  return {}
}

function jobOf(ctx: HandlerContext, p: Payload): RelayJob | undefined {
  const device = deviceOf(ctx.conn)
  const job = state(ctx.backend).jobs.get(text(p.jobId))
  return job && device && job.accountId === device.accountId ? job : undefined
}

const progress: Handler = (ctx, p) => {
  const job = jobOf(ctx, p)
  if (!job) return null
  job.progress.push({ stage: text(p.stage), note: text(p.note) })
  toAsker(ctx.backend, job, 'progress', { stage: text(p.stage) })
  return null
}

const result: Handler = (ctx, p) => {
  const s = state(ctx.backend)
  if (s.dropResults > 0) {
    s.dropResults -= 1
    return null
  }
  const job = jobOf(ctx, p)
  if (!job) return null
  job.results.push({ ...p })
  resultToAsker(ctx.backend, job, p)
  return null
}

function resultToAsker(backend: MemoryBackend, job: RelayJob, p: Payload): void {
  const printer = registry(backend, job.accountId).find((e) => e.printerId === job.printerId)
  const printedOn = printer ? printerDescription(printer) : ''
  if (p.ok === true) toAsker(backend, job, 'result', { ok: true, printedOn })
  else
    toAsker(backend, job, 'result', {
      ok: false,
      printedOn,
      error: p.errorCode === 'no-printer' ? 'no-printer' : 'printer-failed',
      message: typeof p.error === 'string' ? p.error : '',
    })
}

export const remotePrintHandlers: Readonly<Record<string, Handler>> = {
  printerRegister,
  printerList,
  printerForget,
  'printLabel.progress': progress,
  'printLabel.result': result,
  printOzonLabel: /*#__PURE__*/ labelRelayHandler('printOzonLabel', sampleOfPrinter),
}

// ---- control (tests)

export interface PrintCommandOrder {
  accountId: string
  jobId?: string
  labelUrl?: string
  copies?: number
  documentId?: string
  /** another printer id than the registered one */
  printerId?: string
  /** deliveries one right after the other (2: a copy arrives while the first still prints) */
  times?: number
}

/** A print command to the account's registered desktop, as the label button in the inventory service sends. */
export function sendPrintCommand(backend: MemoryBackend, order: PrintCommandOrder): { jobId: string; delivered: number; held: number } {
  const printer = registeredPrinter(backend, order.accountId)
  if (!printer) throw new Error(`no printer registered for ${order.accountId}`)
  const s = state(backend)
  const job: RelayJob = {
    jobId: order.jobId ?? `job-${s.nextJob++}`,
    accountId: order.accountId,
    printerId: printer.printerId,
    documentId: order.documentId ?? 'doc-1',
    labelUrl: order.labelUrl ?? `/labels/sample-${Math.round(printer.format.widthMm)}x${Math.round(printer.format.heightMm)}.pdf`,
    copies: order.copies ?? 1,
    sku: null,
    asker: null,
    requestId: '',
    delivered: 0,
    deliveredTo: null,
    held: 0,
    progress: [],
    results: [],
  }
  s.jobs.set(job.jobId, job)
  const times = Math.max(1, order.times ?? 1)
  for (let i = 0; i < times; i++) {
    if (order.printerId) {
      const conn = desktopOf(backend, printer, job.accountId)
      if (conn) conn.push('printLabel.push', { ...commandOf(job), printerId: order.printerId })
      else job.held += 1
      continue
    }
    deliver(backend, job)
  }
  return { jobId: job.jobId, delivered: job.delivered, held: job.held }
}

/** Delivers a job again (now, or when its desktop is back). */
export function redeliverPrintCommand(backend: MemoryBackend, jobId: string): { delivered: number; held: number } {
  const job = state(backend).jobs.get(jobId)
  if (!job) throw new Error(`no job ${jobId}`)
  deliver(backend, job)
  return { delivered: job.delivered, held: job.held }
}

/** The next `times` results from desktops are lost on the way. */
export function dropPrintResults(backend: MemoryBackend, times: number): void {
  state(backend).dropResults = Math.max(0, Math.trunc(times))
}

export function relayJobs(backend: MemoryBackend): RelayJob[] {
  return [...state(backend).jobs.values()]
}

export function accountRegistry(backend: MemoryBackend, accountId: string): RegistryEntry[] {
  return [...registry(backend, accountId)]
}
