/**
 * A scenario run as the server reports it (the answer of `scenarioRunStatus`
 * and the payload of `scenarioRun.push`), and the lines the document screen
 * shows for it.
 */
import { ruPlural } from '../core/plural'

export type RunStatus = 'queued' | 'running' | 'done' | 'error'
export type ActionStatus = 'pending' | 'running' | 'done' | 'error' | 'skipped'

export interface RunAction {
  idx: number
  type: string
  status: ActionStatus
  attempts: number
  error: string
  label: string
  note: string
}

export interface ScenarioRun {
  runId: string
  documentId: string
  event: string
  status: RunStatus
  actions: RunAction[]
}

const RUN_STATUSES: readonly RunStatus[] = ['queued', 'running', 'done', 'error']
const ACTION_STATUSES: readonly ActionStatus[] = ['pending', 'running', 'done', 'error', 'skipped']

const text = (v: unknown): string => (typeof v === 'string' ? v : '')
const num = (v: unknown): number => (typeof v === 'number' && Number.isFinite(v) ? v : 0)
const record = (v: unknown): Record<string, unknown> | null => (typeof v === 'object' && v !== null && !Array.isArray(v) ? (v as Record<string, unknown>) : null)

function runIdOf(v: unknown): string {
  if (typeof v === 'number' && Number.isFinite(v)) return String(v)
  return text(v)
}

/** A run from the server, or null for one without `runId` or with a status of its own. */
export function readRun(value: unknown): ScenarioRun | null {
  const r = record(value)
  if (!r) return null
  const runId = runIdOf(r.runId)
  if (!runId || !RUN_STATUSES.includes(r.status as RunStatus)) return null
  const actions: RunAction[] = []
  for (const item of Array.isArray(r.actions) ? r.actions : []) {
    const a = record(item)
    if (!a) continue
    const params = record(a.params)
    actions.push({
      idx: num(a.idx),
      type: text(a.type),
      status: ACTION_STATUSES.includes(a.status as ActionStatus) ? (a.status as ActionStatus) : 'pending',
      attempts: num(a.attempts),
      error: text(a.error),
      label: text(params?.label).trim(),
      note: text(a.note),
    })
  }
  actions.sort((a, b) => a.idx - b.idx)
  return { runId, documentId: text(r.documentId), event: text(r.event), status: r.status as RunStatus, actions }
}

export const isFinished = (run: ScenarioRun): boolean => run.status === 'done' || run.status === 'error'

/** A finished run that failed as a whole or in any action: an administrator may retry it. */
export const hasFailed = (run: ScenarioRun): boolean => isFinished(run) && (run.status === 'error' || run.actions.some((a) => a.status === 'error'))

const PHRASES: Readonly<Record<string, readonly [done: string, error: string, skipped: string]>> = {
  documentState: ['статус поставлен', 'статус не поставлен', 'статус не указан'],
  linkedOrderState: ['заказ переведен', 'заказ не переведен', 'заказа нет'],
  dateNow: ['дата обновлена', 'дата не обновлена', 'дата не менялась'],
  attributes: ['поля заполнены', 'поля не заполнены', 'поля не заданы'],
  apply: ['документ проведен', 'документ не проведен', 'проведение пропущено'],
  print: ['печать ушла', 'печать не ушла', 'печать пропущена'],
  note: ['отметка в комментарии добавлена', 'отметка в комментарии не добавлена', 'отметка в комментарии не нужна'],
}
const OTHER: readonly [string, string, string] = ['действие выполнено', 'действие не выполнено', 'действие пропущено']

/** What one action says, by its type and status. */
export function actionPhrase(a: RunAction): string {
  if (a.status === 'skipped' && a.note === 'state-not-trigger') return 'статус не поставлен: он не входит в статусы проверки виджета'
  if (a.type === 'answer' && a.label) {
    const written = a.status === 'done' || a.status === 'running' || a.status === 'pending'
    return `ответ «${a.label}» ${written ? 'записан' : 'не записан'}`
  }
  const [done, error, skipped] = PHRASES[a.type] ?? OTHER
  return a.status === 'error' ? error : a.status === 'skipped' ? skipped : done
}

export interface RunLines {
  /** the unfinished run's progress */
  progress: string
  /** what went through */
  success: string
  /** what did not */
  error: string
}

/** The lines of a run: progress while it runs, the success and error lines once it is finished. */
export function runLines(run: ScenarioRun): RunLines {
  if (!isFinished(run)) {
    const all = run.actions.length
    const done = run.actions.filter((a) => a.status === 'done' || a.status === 'skipped').length
    return { progress: all ? `Сценарий выполняется: сделано ${done} из ${all}` : 'Сценарий выполняется', success: '', error: '' }
  }
  // An answer the server has not finished writing is still reported as written.
  const contributes = (a: RunAction) => a.status === 'done' || a.status === 'skipped' || (a.type === 'answer' && a.label !== '' && a.status !== 'error')
  const phrases = run.actions.filter(contributes).map(actionPhrase)
  const failed = run.actions.filter((a) => a.status === 'error')
  if (failed.length === 0 && run.status !== 'error')
    return { progress: '', success: phrases.length ? `Сценарий: ${phrases.join(', ')}` : 'Сценарий: делать было нечего', error: '' }
  const failures = failed.length
    ? failed.map((a) => (a.error.trim() ? `${actionPhrase(a)} — ${a.error.trim()}` : actionPhrase(a))).join('; ')
    : 'сервер не смог выполнить сценарий'
  return {
    progress: '',
    success: phrases.length ? `Сценарий: ${phrases.join(', ')}` : '',
    error: (phrases.length ? 'Не получилось: ' : 'Сценарий не выполнен: ') + failures,
  }
}

/** "Сценарий: <n> действие/действия/действий в очереди". */
export function queuedText(n: number): string {
  return `Сценарий: ${n} ${ruPlural(n, 'действие', 'действия', 'действий')} в очереди`
}
