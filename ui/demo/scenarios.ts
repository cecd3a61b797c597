/**
 * Completion scenarios in the in-memory backend: each account keeps its own
 * scenarios (saved by its administrator), a final completion page starts a
 * run of the event's actions, and the run's progress and outcome are pushed
 * to the account's devices step by step. Tests (through the control endpoint)
 * can make an action fail or hang, and lift that again.
 */
import type { Payload } from '../core/envelope'
import {
  ACTION_TEXTS,
  readSettings,
  SCENARIO_EVENTS,
  writeActions,
  writeQuestion,
  type ActionKey,
  type ScenarioEvent,
  type ScenarioSettings,
  type ScenarioWarning,
} from '../scenarios/scenarioModel'
import { validateSettings } from '../scenarios/validation'
import type { Connection, Handler, MemoryBackend } from './backend'
import { completionState } from './completion'
import { accountDocuments } from './documents'
import type { SeedAccount } from './seed'

/** How long each step of a run takes in the stand-in. */
export const SCENARIO_STEP_MS = 400

const refuse = (errorCode: string, error: string): Payload => ({ error, errorCode })
const text = (v: unknown) => (typeof v === 'string' ? v : '')

// ---- reference lists of the account's MoySklad

interface RefItem {
  id: string
  name: string
  color?: number
  stateType?: string
  type?: string
}
type Entity = 'demand' | 'customerorder' | 'move' | 'salesreturn' | 'supply' | 'internalorder'
const REF_KINDS = ['states', 'attributes', 'templates'] as const
type RefKind = (typeof REF_KINDS)[number]

const state = (id: string, name: string, color: number, stateType = 'Regular'): RefItem => ({ id, name, color, stateType })
const attr = (id: string, name: string, type: string): RefItem => ({ id, name, type })

const PEOPLE_FIELDS = (prefix: string): RefItem[] => [
  attr(`${prefix}-collector`, 'Сборщик', 'string'),
  attr(`${prefix}-checker`, 'Контролер', 'string'),
  attr(`${prefix}-boxes`, 'Коробок', 'long'),
  attr(`${prefix}-weight`, 'Вес, кг', 'double'),
  attr(`${prefix}-fragile`, 'Хрупкое', 'boolean'),
]

type Lists = Readonly<Record<Entity, Record<RefKind, RefItem[]>>>

/** The sample MoySklad lists, the same for every account with MoySklad. */
const buildReference = (): Lists => ({
  demand: {
    states: [
      state('st-demand-new', 'Новая', 0x9ca3af),
      state('st-demand-picking', 'Собирается', 0xf59e0b),
      state('st-demand-collected', 'Собрана', 0x3b82f6),
      state('st-demand-checked', 'Проверена', 0x10b981, 'Successful'),
      state('st-demand-shipped', 'Отгружена', 0x065f46, 'Successful'),
      state('st-demand-problem', 'Проблема', 0xef4444, 'Unsuccessful'),
    ],
    attributes: PEOPLE_FIELDS('attr-demand'),
    templates: [{ id: 'tpl-torg12', name: 'ТОРГ-12' }, { id: 'tpl-waybill', name: 'Товарная накладная' }],
  },
  customerorder: {
    states: [
      state('st-order-new', 'Новый', 0x9ca3af),
      state('st-order-confirmed', 'Подтвержден', 0x3b82f6),
      state('st-order-collected', 'Собран', 0x10b981),
      state('st-order-shipped', 'Отгружен', 0x065f46, 'Successful'),
    ],
    attributes: PEOPLE_FIELDS('attr-order'),
    templates: [{ id: 'tpl-order', name: 'Заказ покупателя' }],
  },
  move: { states: [state('st-move-new', 'Новое', 0x9ca3af), state('st-move-done', 'Перемещено', 0x10b981)], attributes: PEOPLE_FIELDS('attr-move'), templates: [] },
  salesreturn: { states: [state('st-return-new', 'Новый', 0x9ca3af), state('st-return-done', 'Принят', 0x10b981)], attributes: [], templates: [] },
  supply: { states: [state('st-supply-new', 'Новая', 0x9ca3af), state('st-supply-done', 'Принята', 0x10b981)], attributes: PEOPLE_FIELDS('attr-supply'), templates: [] },
  internalorder: { states: [], attributes: [], templates: [] },
})
let built: Lists | undefined
const referenceLists = (): Lists => (built ??= buildReference())

/** The statuses the widget's check reacts to; a scenario status outside them is skipped when it runs. */
const CHECK_STATES = new Set(['st-demand-picking', 'st-demand-collected', 'st-demand-checked', 'st-order-confirmed', 'st-order-collected', 'st-move-done', 'st-supply-done', 'st-return-done'])
const STATE_NOT_TRIGGER =
  'Один из статусов в сценариях не входит в статусы проверки виджета — такой статус при выполнении будет пропущен. Проверьте выделенные строки'

const ENTITY_OF_TYPE: Readonly<Record<string, Entity>> = { shipment: 'demand', order: 'customerorder', transfer: 'move', customer_return: 'salesreturn', receiving: 'supply' }

function stateById(id: string): { item: RefItem; entity: Entity } | undefined {
  for (const [entity, lists] of Object.entries(referenceLists()) as Array<[Entity, Record<RefKind, RefItem[]>]>) {
    const item = lists.states.find((s) => s.id === id)
    if (item) return { item, entity }
  }
  return undefined
}

function attributeById(id: string): RefItem | undefined {
  for (const lists of Object.values(referenceLists())) {
    const item = lists.attributes.find((a) => a.id === id)
    if (item) return item
  }
  return undefined
}

const msReferenceGet: Handler = ({ backend, conn, now }, p) => {
  const me = backend.signedIn(conn)
  if (!me) return refuse('forbidden', 'session not authorized')
  if (!me.account.moysklad) return refuse('ms-not-connected', 'МойСклад не подключен')
  const kinds = (Array.isArray(p.kinds) ? p.kinds : REF_KINDS).filter((k): k is RefKind => REF_KINDS.includes(k as RefKind))
  const entities = Array.isArray(p.docTypes) ? (Object.keys(referenceLists()) as Entity[]).filter((e) => (p.docTypes as unknown[]).includes(e)) : (Object.keys(referenceLists()) as Entity[])
  const out: Payload = { fetchedAt: new Date(now).toISOString() }
  for (const e of entities) out[e] = Object.fromEntries(kinds.map((k) => [k, referenceLists()[e][k].map((i) => ({ ...i }))]))
  return out
}

// ---- the account's scenarios

function scenarioStore(b: MemoryBackend): Map<string, ScenarioSettings> {
  let m = b.state.get('scenarios') as Map<string, ScenarioSettings> | undefined
  if (!m) b.state.set('scenarios', (m = new Map()))
  return m
}

export function accountScenarios(b: MemoryBackend, accountId: string): ScenarioSettings {
  return scenarioStore(b).get(accountId) ?? readSettings({})
}

/** The statuses the run will skip, pointed at by event and place. */
function warningsOf(s: ScenarioSettings): ScenarioWarning[] {
  const out: ScenarioWarning[] = []
  for (const { key: event } of SCENARIO_EVENTS) {
    s.events[event].forEach((a, idx) => {
      if ((a.key !== 'documentState' && a.key !== 'linkedOrderState') || !a.stateId || CHECK_STATES.has(a.stateId)) return
      const found = stateById(a.stateId)
      out.push({ code: 'state-not-trigger', event, idx, type: a.key, message: STATE_NOT_TRIGGER, stateId: a.stateId, ...(found ? { entity: found.entity } : {}) })
    })
  }
  return out
}

/** The stored form, as `accountSettingsGet` and `accountSettingsSet` answer it. */
function storedForm(s: ScenarioSettings): Payload {
  const events: Payload = {}
  const ask: Payload = {}
  for (const { key } of SCENARIO_EVENTS) {
    events[key] = writeActions(key, s.events[key])
    if (key !== 'started') ask[key] = s.ask[key].map(writeQuestion)
  }
  return { events, ask, configured: s.configured, warnings: s.warnings.map((w) => ({ ...w })) }
}

const withScenariosGet = (inner: Handler): Handler => (ctx, p) => {
  const answer = inner(ctx, p)
  const blocks = Array.isArray(p.blocks) ? p.blocks : []
  const me = ctx.backend.signedIn(ctx.conn)
  if (!me || !blocks.includes('scenarios') || answer === null || Array.isArray(answer) || answer.errorCode) return answer
  return { ...answer, scenarios: storedForm(accountScenarios(ctx.backend, me.account.uid)) }
}

const withScenariosSet = (inner: Handler): Handler => (ctx, p) => {
  if (typeof p.scenarios !== 'object' || p.scenarios === null) return inner(ctx, p)
  const { scenarios, ...rest } = p
  const answer = inner(ctx, rest)
  if (answer === null || Array.isArray(answer) || answer.errorCode) return answer
  const me = ctx.backend.signedIn(ctx.conn)!
  const settings = readSettings(scenarios)
  const problems = validateSettings(settings)
  if (problems.length) return refuse('invalid', problems[0]!)
  settings.configured = true
  settings.warnings = warningsOf(settings)
  scenarioStore(ctx.backend).set(me.account.uid, settings)
  return { ...answer, scenarios: storedForm(settings) }
}

/** Questions given to a document itself (tests) come first; otherwise the event's questions, resolved. */
const withScenarioQuestions = (inner: Handler): Handler => (ctx, p) => {
  const answer = inner(ctx, p)
  if (answer === null || Array.isArray(answer) || answer.errorCode || (Array.isArray(answer.questions) && answer.questions.length)) return answer
  const me = ctx.backend.signedIn(ctx.conn)!
  const event = p.event === 'checked' ? 'checked' : 'collected'
  const questions: Payload[] = []
  for (const q of accountScenarios(ctx.backend, me.account.uid).ask[event]) {
    const base = { id: q.id, label: q.label, required: q.required }
    if (q.type === 'state') {
      const options = q.stateIds.map((id) => stateById(id)?.item).filter((s): s is RefItem => !!s).map((s) => ({ id: s.id, name: s.name, color: s.color }))
      questions.push({ ...base, type: 'state', options })
    } else {
      questions.push({ ...base, type: 'attribute', valueType: attributeById(q.attributeId)?.type ?? 'string' })
    }
  }
  return { ...answer, questions }
}

// ---- runs

interface DemoRunAction {
  idx: number
  type: string
  /** the editor's key, which faults are set by */
  key: ActionKey | 'answer'
  status: 'pending' | 'running' | 'done' | 'error' | 'skipped'
  attempts: number
  error: string
  params?: { label: string }
  note?: string
  /** decided when the run is made: skipped, and why */
  skip?: string
}

export interface DemoRun {
  runId: string
  accountId: string
  documentId: string
  event: ScenarioEvent
  status: 'queued' | 'running' | 'done' | 'error'
  actions: DemoRunAction[]
}

/** What a test made an action do: fail with a text, or hang until lifted. */
export interface ScenarioFault {
  mode: 'fail' | 'hang'
  error?: string
}

interface Runner {
  runs: DemoRun[]
  faults: Map<string, ScenarioFault>
  /** hanging steps, continued when their fault is lifted */
  waiting: Map<string, Array<() => void>>
  next: number
}

function runner(b: MemoryBackend): Runner {
  let r = b.state.get('scenarioRuns') as Runner | undefined
  if (!r) b.state.set('scenarioRuns', (r = { runs: [], faults: new Map(), waiting: new Map(), next: 1 }))
  return r
}

export function scenarioRuns(b: MemoryBackend): readonly DemoRun[] {
  return runner(b).runs
}

function wireRun(run: DemoRun): Payload {
  return {
    runId: run.runId,
    documentId: run.documentId,
    event: run.event,
    status: run.status,
    actions: run.actions.map((a) => {
      const out: Payload = { idx: a.idx, type: a.type, status: a.status, attempts: a.attempts, error: a.error }
      if (a.params) out.params = { ...a.params }
      if (a.note) out.note = a.note
      return out
    }),
  }
}

function pushRun(b: MemoryBackend, run: DemoRun) {
  b.pushWhere((c: Connection) => c.identity.kind === 'device' && c.identity.accountId === run.accountId, 'scenarioRun.push', wireRun(run))
}

/** A timer that never keeps the stand-in's process alive by itself. */
function later(fn: () => void, ms: number) {
  const t: unknown = setTimeout(fn, ms)
  ;(t as { unref?: () => void }).unref?.()
}

function finish(b: MemoryBackend, run: DemoRun) {
  run.status = run.actions.some((a) => a.status === 'error') ? 'error' : 'done'
  pushRun(b, run)
}

/** Runs the pending actions one after another, a push at every change. */
function execute(b: MemoryBackend, run: DemoRun) {
  const r = runner(b)
  const step = (i: number) => {
    const a = run.actions[i]
    if (!a) return finish(b, run)
    if (a.status !== 'pending') return step(i + 1)
    if (a.skip !== undefined) {
      a.status = 'skipped'
      if (a.skip) a.note = a.skip
      pushRun(b, run)
      return later(() => step(i + 1), SCENARIO_STEP_MS)
    }
    a.status = 'running'
    a.attempts += 1
    a.error = ''
    pushRun(b, run)
    const settle = () => {
      const fault = r.faults.get(a.key)
      if (fault?.mode === 'hang') {
        const list = r.waiting.get(a.key) ?? []
        list.push(settle)
        r.waiting.set(a.key, list)
        return
      }
      if (fault?.mode === 'fail') {
        a.status = 'error'
        a.error = fault.error ?? ''
      } else a.status = 'done'
      pushRun(b, run)
      later(() => step(i + 1), SCENARIO_STEP_MS)
    }
    later(settle, SCENARIO_STEP_MS)
  }
  run.status = 'running'
  later(() => step(0), SCENARIO_STEP_MS)
}

/** Makes the account's run for a completed document; undefined when the event has nothing to do. */
export function startRun(b: MemoryBackend, account: SeedAccount, documentId: string, event: ScenarioEvent, answers: unknown): DemoRun | undefined {
  const settings = accountScenarios(b, account.uid)
  const doc = accountDocuments(b, account.uid)?.byId.get(documentId)
  const actions: DemoRunAction[] = []
  for (const a of settings.events[event]) {
    if (!a.enabled) continue
    const action: DemoRunAction = { idx: actions.length, type: a.key === 'printBox' || a.key === 'printA4' ? 'print' : a.key, key: a.key, status: 'pending', attempts: 0, error: '' }
    if ((a.key === 'documentState' || a.key === 'linkedOrderState') && !CHECK_STATES.has(a.stateId)) action.skip = 'state-not-trigger'
    // Only shipments of the sample data come from a customer order.
    if (a.key === 'linkedOrderState' && doc?.type !== 'shipment') action.skip = ''
    actions.push(action)
  }
  const given = typeof answers === 'object' && answers !== null ? (answers as Record<string, unknown>) : {}
  for (const q of event === 'started' ? [] : settings.ask[event]) {
    if (given[q.id] === undefined || given[q.id] === null || given[q.id] === '') continue
    actions.push({ idx: actions.length, type: 'answer', key: 'answer', status: 'pending', attempts: 0, error: '', params: { label: q.label } })
  }
  if (actions.length === 0) return undefined
  const r = runner(b)
  const run: DemoRun = { runId: `run-${r.next++}`, accountId: account.uid, documentId, event, status: 'queued', actions }
  r.runs.push(run)
  execute(b, run)
  return run
}

/** A final page that completed the document starts the event's run; the answer carries its id and size. */
const withScenarioRun = (inner: Handler): Handler => (ctx, p) => {
  const before = completionState(ctx.backend).done.length
  const answer = inner(ctx, p)
  if (answer === null || Array.isArray(answer) || answer.accepted !== true || completionState(ctx.backend).done.length === before) return answer
  const me = ctx.backend.signedIn(ctx.conn)!
  const run = startRun(ctx.backend, me.account, text(p.documentId), p.role === 'checker' ? 'checked' : 'collected', p.answers)
  if (!run) return answer
  const skipped = run.actions.filter((a) => a.skip !== undefined).length
  const scenario: Payload = { runId: run.runId, queued: run.actions.length - skipped }
  if (skipped) scenario.skipped = skipped
  return { ...answer, runId: run.runId, scenario }
}

const scenarioRunStatus: Handler = ({ backend, conn }, p) => {
  const me = backend.signedIn(conn)
  if (!me) return refuse('forbidden', 'session not authorized')
  const documentId = text(p.documentId)
  return { documentId, runs: runner(backend).runs.filter((r) => r.accountId === me.account.uid && r.documentId === documentId).map(wireRun) }
}

const scenarioRetry: Handler = ({ backend, conn }, p) => {
  const me = backend.signedIn(conn)
  if (!me) return refuse('forbidden', 'session not authorized')
  if (me.user.role !== 'admin') return refuse('forbidden', 'only the administrator retries a scenario')
  const run = runner(backend).runs.find((r) => r.runId === text(p.runId) && r.accountId === me.account.uid)
  if (!run) return refuse('not-found', 'run not found')
  if (run.status !== 'error') return refuse('invalid', 'run is not failed')
  const again = run.actions.filter((a) => a.status === 'error')
  for (const a of again) a.status = 'pending'
  run.status = 'queued'
  pushRun(backend, run)
  execute(backend, run)
  return { runId: run.runId, queued: again.length }
}

/**
 * Makes every later attempt of an action (by the editor's key, or "answer")
 * fail or hang; a step already hanging on that action fails now when the
 * fault becomes a failure.
 */
export function setScenarioFault(b: MemoryBackend, key: string, fault: ScenarioFault): void {
  if (key !== 'answer' && !(key in ACTION_TEXTS)) throw new Error(`unknown action ${key}`)
  if (fault.mode !== 'fail' && fault.mode !== 'hang') throw new Error('mode must be fail or hang')
  const r = runner(b)
  r.faults.set(key, fault)
  if (fault.mode === 'hang') return
  const waiting = r.waiting.get(key) ?? []
  r.waiting.delete(key)
  for (const go of waiting) go()
}

/** Lifts the fault of an action (of every action without a key); a hanging step goes on. */
export function liftScenarioFault(b: MemoryBackend, key?: string): number {
  const r = runner(b)
  const keys = key ? [key] : [...r.faults.keys()]
  let resumed = 0
  for (const k of keys) {
    r.faults.delete(k)
    const waiting = r.waiting.get(k) ?? []
    r.waiting.delete(k)
    for (const go of waiting) go()
    resumed += waiting.length
  }
  return resumed
}

export const scenarioHandlers: Readonly<Record<string, Handler>> = { msReferenceGet, scenarioRunStatus, scenarioRetry }

export const scenarioLayers: Readonly<Record<string, (inner: Handler) => Handler>> = {
  accountSettingsGet: withScenariosGet,
  accountSettingsSet: withScenariosSet,
  finishQuestions: withScenarioQuestions,
  completeDocument: withScenarioRun,
}
