/**
 * The checks the editor runs before saving, and the summary line of an event.
 * Every message starts with the event's title and ": ".
 */
import { ruPlural } from '../core/plural'
import {
  ACTION_TEXTS,
  eventTitle,
  MAX_LABEL,
  MAX_QUESTION_STATES,
  MAX_QUESTIONS,
  SCENARIO_EVENTS,
  type ScenarioAction,
  type ScenarioEvent,
  type ScenarioQuestion,
  type ScenarioSettings,
} from './scenarioModel'

function actionProblem(event: ScenarioEvent, a: ScenarioAction): string | null {
  if (!a.enabled) return null
  switch (a.key) {
    case 'documentState':
    case 'linkedOrderState':
      return a.stateId ? null : `выберите статус для действия «${ACTION_TEXTS[a.key].title}»`
    case 'attributes': {
      const any = event === 'started' ? a.collector : a.collector || a.checker || a.boxes
      return any ? null : 'выберите хотя бы одно поле для исполнителей или коробок'
    }
    case 'printA4':
      return a.templateId ? null : 'выберите печатную форму для накладной А4'
    default:
      return null
  }
}

function questionProblem(q: ScenarioQuestion, n: number): string | null {
  const label = q.label.trim()
  if (!label) return `вопрос ${n} — впишите подпись, которую увидит сотрудник`
  if (label.length > MAX_LABEL) return `вопрос ${n} — подпись длиннее ${MAX_LABEL} символов`
  if (q.type === 'state') {
    if (q.stateIds.length === 0) return `вопрос ${n} — выберите хотя бы один статус`
    if (q.stateIds.length > MAX_QUESTION_STATES) return `вопрос ${n} — не больше ${MAX_QUESTION_STATES} статусов`
  } else if (!q.attributeId) return `вопрос ${n} — выберите поле документа`
  return null
}

/** Every problem of the settings, in the order of the events; empty when they can be saved. */
export function validateSettings(s: ScenarioSettings): string[] {
  const out: string[] = []
  for (const { key } of SCENARIO_EVENTS) {
    const prefix = `${eventTitle(key)}: `
    for (const a of s.events[key]) {
      const problem = actionProblem(key, a)
      if (problem) out.push(prefix + problem)
    }
    if (key === 'started') continue
    const questions = s.ask[key]
    questions.forEach((q, i) => {
      const problem = questionProblem(q, i + 1)
      if (problem) out.push(prefix + problem)
    })
    if (questions.length > MAX_QUESTIONS) out.push(`${prefix}вопросов не больше ${MAX_QUESTIONS}`)
  }
  return out
}

/** "Ничего не делается" or "Включено: <n> действие/действия/действий". */
export function eventSummary(actions: readonly ScenarioAction[]): string {
  const n = actions.filter((a) => a.enabled).length
  return n === 0 ? 'Ничего не делается' : `Включено: ${n} ${ruPlural(n, 'действие', 'действия', 'действий')}`
}
