/**
 * Completion scenarios as the administrator edits them and as they travel:
 * the three events, the eight actions, the completion questions, and the
 * conversion between the editor's records and the channel's form.
 */

export type ScenarioEvent = 'started' | 'collected' | 'checked'
export type AskEvent = Exclude<ScenarioEvent, 'started'>
export type ActionKey = 'documentState' | 'linkedOrderState' | 'dateNow' | 'attributes' | 'apply' | 'printBox' | 'printA4' | 'note'

export const SCENARIO_EVENTS: ReadonlyArray<{ key: ScenarioEvent; title: string; when: string }> = [
  {
    key: 'started',
    title: 'Взят в работу',
    when: 'Когда сборщик нажимает «Собираю». Например, перевести документ в статус «Собирается», чтобы в МоемСкладе было видно, что он в работе',
  },
  { key: 'collected', title: 'После сборки', when: 'Когда сборщик закрыл сборку (без ролей — обычное завершение документа)' },
  { key: 'checked', title: 'После проверки', when: 'Когда контролер завершил проверку документа' },
]

export const ASK_EVENTS: readonly AskEvent[] = ['collected', 'checked']

export const ACTION_TEXTS: Readonly<Record<ActionKey, { title: string; explanation: string }>> = {
  documentState: { title: 'Статус документа', explanation: 'Сверх статуса, который ставится по настройкам контроля' },
  linkedOrderState: { title: 'Статус заказа покупателя', explanation: 'Если у документа нет связанного заказа, действие пропускается' },
  dateNow: { title: 'Дата документа — сейчас', explanation: 'В документе будет время выполнения сценария' },
  attributes: { title: 'Исполнители и коробки в дополнительные поля', explanation: 'Кто собрал, кто проверил и сколько коробок' },
  apply: { title: 'Провести документ', explanation: 'Документ станет проведенным' },
  printBox: { title: 'Печать этикетки на коробку', explanation: 'Уйдет на принтер рабочего места контролера' },
  printA4: { title: 'Печать накладной А4', explanation: 'Печатная форма МоегоСклада уйдет на принтер А4 рабочего места контролера' },
  note: {
    title: 'Отметка в комментарии документа',
    explanation: 'В конец комментария допишется строка: когда, кто собрал и кто проверил — так в истории МоегоСклада видно, что сборка прошла',
  },
}

const ALL_ACTIONS: readonly ActionKey[] = ['documentState', 'linkedOrderState', 'dateNow', 'attributes', 'apply', 'printBox', 'printA4', 'note']
const STARTED_ACTIONS: readonly ActionKey[] = ['documentState', 'linkedOrderState', 'attributes']

/** The actions an event allows, in their order. */
export function actionsOf(event: ScenarioEvent): readonly ActionKey[] {
  return event === 'started' ? STARTED_ACTIONS : ALL_ACTIONS
}

export const eventTitle = (event: ScenarioEvent): string => SCENARIO_EVENTS.find((e) => e.key === event)!.title

export const MAX_QUESTIONS = 5
export const MAX_LABEL = 60
export const MAX_QUESTION_STATES = 20

/** One action in the editor; every parameter a string, empty when not set. */
export interface ScenarioAction {
  key: ActionKey
  enabled: boolean
  stateId: string
  collector: string
  checker: string
  boxes: string
  templateId: string
}

export interface ScenarioQuestion {
  id: string
  type: 'state' | 'attribute'
  label: string
  stateIds: string[]
  attributeId: string
  required: boolean
}

export interface ScenarioWarning {
  code: string
  event: string
  idx: number
  type: string
  message: string
  stateId?: string
  entity?: string
}

export interface ScenarioSettings {
  events: Record<ScenarioEvent, ScenarioAction[]>
  ask: Record<AskEvent, ScenarioQuestion[]>
  configured: boolean
  warnings: ScenarioWarning[]
}

const PARAMS = ['stateId', 'collector', 'checker', 'boxes', 'templateId'] as const
type Param = (typeof PARAMS)[number]

/** The parameters each action carries over the channel. */
function paramsOf(key: ActionKey, event: ScenarioEvent): readonly Param[] {
  switch (key) {
    case 'documentState':
    case 'linkedOrderState':
      return ['stateId']
    case 'attributes':
      return event === 'started' ? ['collector'] : ['collector', 'checker', 'boxes']
    case 'printA4':
      return ['templateId']
    default:
      return []
  }
}

export function blankAction(key: ActionKey, enabled = false): ScenarioAction {
  return { key, enabled, stateId: '', collector: '', checker: '', boxes: '', templateId: '' }
}

export function emptySettings(): ScenarioSettings {
  return {
    events: { started: actionsOf('started').map((k) => blankAction(k)), collected: ALL_ACTIONS.map((k) => blankAction(k)), checked: ALL_ACTIONS.map((k) => blankAction(k)) },
    ask: { collected: [], checked: [] },
    configured: false,
    warnings: [],
  }
}

const text = (v: unknown): string => (typeof v === 'string' ? v : typeof v === 'number' && Number.isFinite(v) ? String(v) : '')
const record = (v: unknown): Record<string, unknown> | null => (typeof v === 'object' && v !== null && !Array.isArray(v) ? (v as Record<string, unknown>) : null)

/** The editor's key of an action read from the channel, or null for a type it does not know. */
function keyOfWire(a: Record<string, unknown>): ActionKey | null {
  if (a.type === 'print') return a.kind === 'boxLabel' ? 'printBox' : a.kind === 'a4' ? 'printA4' : null
  if (a.type === 'printBox' || a.type === 'printA4') return null
  return ALL_ACTIONS.includes(a.type as ActionKey) ? (a.type as ActionKey) : null
}

/** One event's actions as read: unknown types and repeats dropped, the missing ones added disabled in the event's order. */
export function readActions(event: ScenarioEvent, list: unknown): ScenarioAction[] {
  const allowed = actionsOf(event)
  const out: ScenarioAction[] = []
  for (const item of Array.isArray(list) ? list : []) {
    const a = record(item)
    const key = a && keyOfWire(a)
    if (!a || !key || !allowed.includes(key) || out.some((x) => x.key === key)) continue
    const action = blankAction(key, a.enabled !== false)
    for (const p of paramsOf(key, event)) action[p] = text(a[p])
    out.push(action)
  }
  for (const key of allowed) if (!out.some((x) => x.key === key)) out.push(blankAction(key))
  return out
}

/** One event's actions as sent: only enabled actions and actions with any parameter. */
export function writeActions(event: ScenarioEvent, actions: readonly ScenarioAction[]): Array<Record<string, unknown>> {
  const out: Array<Record<string, unknown>> = []
  for (const a of actions) {
    const params: Record<string, string> = {}
    for (const p of paramsOf(a.key, event)) if (a[p] !== '') params[p] = a[p]
    if (!a.enabled && Object.keys(params).length === 0) continue
    const wire: Record<string, unknown> =
      a.key === 'printBox' ? { type: 'print', kind: 'boxLabel' } : a.key === 'printA4' ? { type: 'print', kind: 'a4' } : { type: a.key }
    if (!a.enabled) wire.enabled = false
    out.push({ ...wire, ...params })
  }
  return out
}

export function readQuestions(list: unknown): ScenarioQuestion[] {
  const out: ScenarioQuestion[] = []
  for (const item of Array.isArray(list) ? list : []) {
    const q = record(item)
    if (!q || (q.type !== 'state' && q.type !== 'attribute')) continue
    const id = text(q.id)
    if (!id || out.some((x) => x.id === id)) continue
    out.push({
      id,
      type: q.type,
      label: text(q.label),
      stateIds: Array.isArray(q.stateIds) ? q.stateIds.map(text).filter(Boolean) : [],
      attributeId: text(q.attributeId),
      required: q.required === true,
    })
  }
  return out
}

export function writeQuestion(q: ScenarioQuestion): Record<string, unknown> {
  const base = { id: q.id, type: q.type, label: q.label.trim(), required: q.required }
  return q.type === 'state' ? { ...base, stateIds: [...q.stateIds] } : { ...base, attributeId: q.attributeId }
}

/** "q1", "q2", …: the first number no question of the list has. */
export function nextQuestionId(list: readonly ScenarioQuestion[]): string {
  for (let n = 1; ; n++) if (!list.some((q) => q.id === `q${n}`)) return `q${n}`
}

function readWarnings(list: unknown): ScenarioWarning[] {
  const out: ScenarioWarning[] = []
  for (const item of Array.isArray(list) ? list : []) {
    const w = record(item)
    if (!w) continue
    const warning: ScenarioWarning = {
      code: text(w.code),
      event: text(w.event),
      idx: typeof w.idx === 'number' && Number.isInteger(w.idx) ? w.idx : -1,
      type: text(w.type),
      message: text(w.message),
    }
    if (text(w.stateId)) warning.stateId = text(w.stateId)
    if (text(w.entity)) warning.entity = text(w.entity)
    out.push(warning)
  }
  return out
}

/**
 * The `scenarios` block of an answer. Both forms are read: events as lists of
 * actions with `ask` beside them, and events as {actions, ask} as they are sent.
 */
export function readSettings(value: unknown): ScenarioSettings {
  const s = record(value) ?? {}
  const events = record(s.events) ?? {}
  const ask = record(s.ask) ?? {}
  const out = emptySettings()
  for (const { key } of SCENARIO_EVENTS) {
    const e = events[key]
    const inner = record(e)
    out.events[key] = readActions(key, inner ? inner.actions : e)
    if (key !== 'started') out.ask[key] = readQuestions(ask[key] ?? inner?.ask)
  }
  out.configured = s.configured === true
  out.warnings = readWarnings(s.warnings)
  return out
}

/** The payload of `accountSettingsSet` for the scenarios. */
export function writeSettings(s: ScenarioSettings): { scenarios: { events: Record<string, unknown> } } {
  const events: Record<string, unknown> = {}
  for (const { key } of SCENARIO_EVENTS) {
    const actions = writeActions(key, s.events[key])
    events[key] = key === 'started' ? { actions } : { actions, ask: s.ask[key].map(writeQuestion) }
  }
  return { scenarios: { events } }
}

/** Moves the action at `index` one place up (-1) or down (+1) within its event; out of range changes nothing. */
export function moveAction<T>(list: readonly T[], index: number, delta: -1 | 1): T[] {
  const to = index + delta
  const out = [...list]
  if (index < 0 || index >= list.length || to < 0 || to >= list.length) return out
  ;[out[index], out[to]] = [out[to]!, out[index]!]
  return out
}
