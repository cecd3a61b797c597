import { describe, expect, it } from 'vitest'
import { blankAction, emptySettings, type ActionKey, type ScenarioEvent, type ScenarioQuestion, type ScenarioSettings } from './scenarioModel'
import { eventSummary, validateSettings } from './validation'

/** The empty settings with one action of one event changed. */
function withAction(event: ScenarioEvent, key: ActionKey, patch: Partial<ReturnType<typeof blankAction>>): ScenarioSettings {
  const s = emptySettings()
  s.events[event] = s.events[event].map((a) => (a.key === key ? { ...a, enabled: true, ...patch } : a))
  return s
}

const question = (patch: Partial<ScenarioQuestion>): ScenarioQuestion => ({
  id: 'q1', type: 'state', label: 'Куда упаковано', stateIds: ['st-1'], attributeId: '', required: false, ...patch,
})

function withQuestions(questions: ScenarioQuestion[], event: 'collected' | 'checked' = 'collected'): ScenarioSettings {
  const s = emptySettings()
  s.ask[event] = questions
  return s
}

describe('validateSettings', () => {
  it.each<[string, ScenarioSettings, string[]]>([
    ['nothing switched on', emptySettings(), []],
    ['a status action without a status', withAction('collected', 'documentState', {}), ['После сборки: выберите статус для действия «Статус документа»']],
    ['the order status without a status', withAction('started', 'linkedOrderState', {}), ['Взят в работу: выберите статус для действия «Статус заказа покупателя»']],
    ['a status action with its status', withAction('collected', 'documentState', { stateId: 'st-1' }), []],
    ['a disabled status action without a status', (() => { const s = withAction('collected', 'documentState', {}); s.events.collected[0]!.enabled = false; return s })(), []],
    ['extra fields without a field', withAction('checked', 'attributes', {}), ['После проверки: выберите хотя бы одно поле для исполнителей или коробок']],
    ['extra fields with the boxes only', withAction('checked', 'attributes', { boxes: 'a-3' }), []],
    ['the start with the checker field only (it has none)', withAction('started', 'attributes', { checker: 'a-2' }), ['Взят в работу: выберите хотя бы одно поле для исполнителей или коробок']],
    ['an A4 waybill without a form', withAction('checked', 'printA4', {}), ['После проверки: выберите печатную форму для накладной А4']],
    ['an A4 waybill with a form', withAction('checked', 'printA4', { templateId: 't-1' }), []],
    ['a question without a label', withQuestions([question({ label: '  ' })]), ['После сборки: вопрос 1 — впишите подпись, которую увидит сотрудник']],
    ['a label of 60 characters', withQuestions([question({ label: 'я'.repeat(60) })]), []],
    ['a label of 61 characters', withQuestions([question({ label: 'я'.repeat(61) })]), ['После сборки: вопрос 1 — подпись длиннее 60 символов']],
    ['a state question without statuses', withQuestions([question({}), question({ id: 'q2', stateIds: [] })]), ['После сборки: вопрос 2 — выберите хотя бы один статус']],
    ['a state question with 20 statuses', withQuestions([question({ stateIds: Array.from({ length: 20 }, (_, i) => `s${i}`) })]), []],
    ['a state question with 21 statuses', withQuestions([question({ stateIds: Array.from({ length: 21 }, (_, i) => `s${i}`) })]), ['После сборки: вопрос 1 — не больше 20 статусов']],
    ['an attribute question without a field', withQuestions([question({ type: 'attribute', stateIds: [] })], 'checked'), ['После проверки: вопрос 1 — выберите поле документа']],
    ['five questions', withQuestions([1, 2, 3, 4, 5].map((n) => question({ id: `q${n}` }))), []],
    ['six questions', withQuestions([1, 2, 3, 4, 5, 6].map((n) => question({ id: `q${n}` }))), ['После сборки: вопросов не больше 5']],
  ])('%s', (_name, settings, messages) => {
    expect(validateSettings(settings)).toEqual(messages)
  })

  it('lists every problem, event by event', () => {
    const s = withAction('checked', 'printA4', {})
    s.events.started[0]!.enabled = true
    s.ask.collected = [question({ label: '' })]
    expect(validateSettings(s)).toEqual([
      'Взят в работу: выберите статус для действия «Статус документа»',
      'После сборки: вопрос 1 — впишите подпись, которую увидит сотрудник',
      'После проверки: выберите печатную форму для накладной А4',
    ])
  })
})

describe('eventSummary', () => {
  it.each([
    [0, 'Ничего не делается'],
    [1, 'Включено: 1 действие'],
    [3, 'Включено: 3 действия'],
    [5, 'Включено: 5 действий'],
    [8, 'Включено: 8 действий'],
  ])('%i enabled', (n, summary) => {
    const actions = emptySettings().events.collected.map((a, i) => ({ ...a, enabled: i < n }))
    expect(eventSummary(actions)).toBe(summary)
  })
})
