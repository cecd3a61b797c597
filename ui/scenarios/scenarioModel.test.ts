import { describe, expect, it } from 'vitest'
import { emptySettings, moveAction, nextQuestionId, readActions, readSettings, writeActions, writeSettings, type ScenarioSettings } from './scenarioModel'

describe('actions over the channel', () => {
  it('reads an event: unknown types, types the event does not allow and repeats go; missing ones come disabled in order', () => {
    const got = readActions('started', [
      { type: 'attributes', collector: 'a-1', checker: 'a-2' },
      { type: 'apply' },
      { type: 'teleport' },
      { type: 'documentState', stateId: 'st-2', enabled: false },
      { type: 'attributes', collector: 'other' },
      null,
    ])
    expect(got.map((a) => [a.key, a.enabled, a.stateId, a.collector, a.checker])).toEqual([
      ['attributes', true, '', 'a-1', ''],
      ['documentState', false, 'st-2', '', ''],
      ['linkedOrderState', false, '', '', ''],
    ])
  })

  it('reads the two print actions from their kind', () => {
    const got = readActions('checked', [{ type: 'print', kind: 'a4', templateId: 't-1' }, { type: 'print', kind: 'boxLabel' }, { type: 'print', kind: 'poster' }])
    expect(got.slice(0, 2).map((a) => [a.key, a.enabled, a.templateId])).toEqual([['printA4', true, 't-1'], ['printBox', true, '']])
    expect(got.map((a) => a.key)).toEqual(['printA4', 'printBox', 'documentState', 'linkedOrderState', 'dateNow', 'attributes', 'apply', 'note'])
  })

  it('sends only enabled actions and actions with a parameter, print actions by kind', () => {
    const actions = readActions('checked', [])
    const set = (key: string, patch: object) => Object.assign(actions.find((a) => a.key === key)!, patch)
    set('documentState', { enabled: true, stateId: 'st-1' })
    set('linkedOrderState', { stateId: 'st-9' })
    set('dateNow', { enabled: true })
    set('attributes', { enabled: true, checker: 'a-2', boxes: 'a-3' })
    set('printBox', { enabled: true })
    set('printA4', { enabled: true, templateId: 't-1' })
    expect(writeActions('checked', actions)).toEqual([
      { type: 'documentState', stateId: 'st-1' },
      { type: 'linkedOrderState', enabled: false, stateId: 'st-9' },
      { type: 'dateNow' },
      { type: 'attributes', checker: 'a-2', boxes: 'a-3' },
      { type: 'print', kind: 'boxLabel' },
      { type: 'print', kind: 'a4', templateId: 't-1' },
    ])
  })

  it('sends only the collector field at the start', () => {
    const actions = readActions('started', [{ type: 'attributes', collector: 'a-1' }])
    actions[0]!.checker = 'a-2'
    expect(writeActions('started', actions)).toEqual([{ type: 'attributes', collector: 'a-1' }])
  })
})

describe('settings as a whole', () => {
  it('survives a trip through the channel', () => {
    const s: ScenarioSettings = emptySettings()
    s.events.collected = moveAction(s.events.collected, 5, -1) // printBox before apply
    s.events.collected[4] = { ...s.events.collected[4]!, enabled: true }
    s.ask.checked = [{ id: 'q2', type: 'attribute', label: ' Вес ', stateIds: [], attributeId: 'a-7', required: true }]
    const sent = writeSettings(s)
    expect(sent.scenarios.events.collected).toEqual({ actions: [{ type: 'print', kind: 'boxLabel' }], ask: [] })
    expect(sent.scenarios.events.started).toEqual({ actions: [] })
    const back = readSettings(sent.scenarios)
    expect(back.events.collected.map((a) => a.key)).toEqual(['printBox', 'documentState', 'linkedOrderState', 'dateNow', 'attributes', 'apply', 'printA4', 'note'])
    expect(back.ask.checked).toEqual([{ id: 'q2', type: 'attribute', label: 'Вес', stateIds: [], attributeId: 'a-7', required: true }])
  })

  it('reads the stored form with ask and warnings beside the events', () => {
    const got = readSettings({
      events: { checked: [{ type: 'documentState', stateId: 'st-1' }] },
      ask: { checked: [{ id: 'q1', type: 'state', label: 'Куда', stateIds: ['st-1', 4] }, { id: 'q1', type: 'state', label: 'Повтор' }, { id: 'q3', type: 'photo' }] },
      configured: true,
      warnings: [{ code: 'state-not-trigger', event: 'checked', idx: 0, type: 'documentState', message: 'м', stateId: 'st-1' }, 'junk'],
    })
    expect(got.configured).toBe(true)
    expect(got.ask.checked).toEqual([{ id: 'q1', type: 'state', label: 'Куда', stateIds: ['st-1', '4'], attributeId: '', required: false }])
    expect(got.warnings).toEqual([{ code: 'state-not-trigger', event: 'checked', idx: 0, type: 'documentState', message: 'м', stateId: 'st-1' }])
    expect(readSettings(undefined)).toEqual(emptySettings())
  })

  it('numbers a new question with the first free number', () => {
    const q = (id: string) => ({ id, type: 'state' as const, label: '', stateIds: [], attributeId: '', required: false })
    expect([nextQuestionId([]), nextQuestionId([q('q1'), q('q3')]), nextQuestionId([q('q2'), q('q1')])]).toEqual(['q1', 'q2', 'q3'])
  })

  it('moves an action within its event, and not past either end', () => {
    expect(moveAction(['a', 'b', 'c'], 1, -1)).toEqual(['b', 'a', 'c'])
    expect(moveAction(['a', 'b', 'c'], 2, 1)).toEqual(['a', 'b', 'c'])
    expect(moveAction(['a', 'b', 'c'], 0, -1)).toEqual(['a', 'b', 'c'])
  })
})
