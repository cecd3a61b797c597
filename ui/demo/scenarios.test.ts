import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest'
import type { Payload } from '../core/envelope'
import { createBackend, type MemoryBackend } from './backend'
import { accountDocuments } from './documents'
import { liftScenarioFault, SCENARIO_STEP_MS, setScenarioFault } from './scenarios'
import { setFinishQuestions } from './completion'
import { demoSigner } from './tokens'

function connect(b: MemoryBackend, userId: string) {
  const identity = b.authenticate(b.openSession(userId).token)
  if ('error' in identity) throw new Error(identity.error)
  const pushes: Payload[] = []
  const conn = b.attach(identity, (c, p) => c === 'scenarioRun.push' && pushes.push(structuredClone(p)))
  const one = (c: string, p: Payload = {}) => b.handle(conn, c, p)[0]!.p
  return { one, pushes }
}

const CHECKED = {
  events: {
    checked: {
      actions: [
        { type: 'documentState', stateId: 'st-demand-checked' },
        { type: 'attributes', checker: 'attr-demand-checker', boxes: 'attr-demand-boxes' },
        { type: 'print', kind: 'boxLabel' },
      ],
      ask: [{ id: 'q1', type: 'attribute', label: 'Вес', attributeId: 'attr-demand-weight', required: true }],
    },
    collected: { actions: [{ type: 'documentState', stateId: 'st-demand-shipped' }, { type: 'linkedOrderState', stateId: 'st-order-collected', enabled: false }], ask: [] },
  },
}

function lesnaya() {
  const b = createBackend({ sign: demoSigner })
  const anna = connect(b, 'u-anna')
  const vera = connect(b, 'u-vera')
  const doc = accountDocuments(b, 'acc-lesnaya')!.byType.get('shipment')!.find((d) => d.inFilter && d.status === 'pending')!
  const items = doc.positions.map((p) => ({ positionId: p.productId, quantity: p.quantity, marks: [] }))
  const complete = (who: ReturnType<typeof connect>, extra: Payload = {}) =>
    who.one('completeDocument', { documentId: doc.id, type: 'shipment', page: 1, final: true, items, timeline: {}, ...extra })
  return { b, anna, vera, doc, complete }
}

beforeEach(() => {
  vi.useFakeTimers()
})
afterEach(() => {
  vi.useRealTimers()
})

describe('scenarios in the in-memory backend', () => {
  it('keeps each account\'s scenarios, saved by its administrator, with warnings for statuses the check skips', () => {
    const { anna, vera, b } = lesnaya()
    expect(anna.one('accountSettingsGet', { blocks: ['scenarios'] }).scenarios).toMatchObject({ configured: false, events: { started: [], collected: [], checked: [] } })
    expect(vera.one('accountSettingsSet', { scenarios: CHECKED })).toMatchObject({ errorCode: 'forbidden' })
    const saved = anna.one('accountSettingsSet', { scenarios: CHECKED }).scenarios as Payload
    expect(saved).toMatchObject({ configured: true, ask: { checked: [{ id: 'q1', label: 'Вес', attributeId: 'attr-demand-weight', required: true }] } })
    expect(saved.warnings).toEqual([
      expect.objectContaining({ code: 'state-not-trigger', event: 'collected', idx: 0, type: 'documentState', stateId: 'st-demand-shipped', entity: 'demand' }),
    ])
    expect(vera.one('accountSettingsGet', { blocks: ['roles', 'scenarios'] })).toMatchObject({ roles: { requireBoxes: true }, scenarios: { events: { checked: CHECKED.events.checked.actions } } })
    const olegsOwn = connect(b, 'u-oleg').one('accountSettingsGet', { blocks: ['scenarios'] }).scenarios
    expect(olegsOwn).toMatchObject({ configured: false })
    // The server checks what it stores as the editor does.
    expect(anna.one('accountSettingsSet', { scenarios: { events: { checked: { actions: [{ type: 'print', kind: 'a4' }] } } } })).toEqual({
      errorCode: 'invalid',
      error: 'После проверки: выберите печатную форму для накладной А4',
    })
  })

  it('resolves the event\'s questions for the finish dialog, unless the document has its own', () => {
    const { anna, vera, b, doc } = lesnaya()
    anna.one('accountSettingsSet', { scenarios: { events: { collected: { actions: [], ask: [{ id: 'q2', type: 'state', label: 'Куда', stateIds: ['st-demand-collected', 'st-order-new'] }] } } } })
    expect(vera.one('finishQuestions', { documentId: doc.id, type: 'shipment', event: 'collected' }).questions).toEqual([
      { id: 'q2', label: 'Куда', required: false, type: 'state', options: [{ id: 'st-demand-collected', name: 'Собрана', color: 0x3b82f6 }, { id: 'st-order-new', name: 'Новый', color: 0x9ca3af }] },
    ])
    setFinishQuestions(b, doc.id, [{ id: 'x', label: 'Свой', type: 'attribute', valueType: 'long' }])
    expect(vera.one('finishQuestions', { documentId: doc.id, type: 'shipment', event: 'collected' }).questions).toEqual([{ id: 'x', label: 'Свой', type: 'attribute', valueType: 'long' }])
  })

  it('runs the event\'s actions after the final page, pushing each step; a failed print is retried by the administrator', async () => {
    const { anna, vera, doc, complete, b } = lesnaya()
    anna.one('accountSettingsSet', { scenarios: CHECKED })
    setScenarioFault(b, 'printBox', { mode: 'fail', error: 'Принтер контролера не в сети' })
    const answer = complete(vera, { role: 'checker', boxes: 2, answers: { q1: 3.5 } })
    expect(answer).toEqual({ accepted: true, stage: 'checked', runId: 'run-1', scenario: { runId: 'run-1', queued: 4 } })
    await vi.advanceTimersByTimeAsync(SCENARIO_STEP_MS * 20)
    const last = vera.pushes.at(-1)!
    expect(last).toEqual({
      runId: 'run-1', documentId: doc.id, event: 'checked', status: 'error',
      actions: [
        { idx: 0, type: 'documentState', status: 'done', attempts: 1, error: '' },
        { idx: 1, type: 'attributes', status: 'done', attempts: 1, error: '' },
        { idx: 2, type: 'print', status: 'error', attempts: 1, error: 'Принтер контролера не в сети' },
        { idx: 3, type: 'answer', status: 'done', attempts: 1, error: '', params: { label: 'Вес' } },
      ],
    })
    expect(vera.pushes.map((p) => p.status)).toContain('running')
    expect(anna.pushes).toHaveLength(vera.pushes.length)
    expect(vera.one('scenarioRunStatus', { documentId: doc.id }).runs).toEqual([last])

    expect(vera.one('scenarioRetry', { runId: 'run-1' })).toMatchObject({ errorCode: 'forbidden' })
    expect(anna.one('scenarioRetry', { runId: 'run-9' })).toMatchObject({ errorCode: 'not-found' })
    liftScenarioFault(b, 'printBox')
    expect(anna.one('scenarioRetry', { runId: 'run-1' })).toEqual({ runId: 'run-1', queued: 1 })
    await vi.advanceTimersByTimeAsync(SCENARIO_STEP_MS * 10)
    expect(vera.pushes.at(-1)).toMatchObject({ status: 'done', actions: [{ status: 'done' }, { status: 'done' }, { status: 'done', attempts: 2, error: '' }, { status: 'done', attempts: 1 }] })
    expect(anna.one('scenarioRetry', { runId: 'run-1' })).toMatchObject({ errorCode: 'invalid' })
  })

  it('a hanging action keeps the run running until the hang is lifted', async () => {
    const { anna, vera, complete, b } = lesnaya()
    anna.one('accountSettingsSet', { scenarios: CHECKED })
    setScenarioFault(b, 'attributes', { mode: 'hang' })
    complete(vera, { role: 'checker' })
    await vi.advanceTimersByTimeAsync(SCENARIO_STEP_MS * 20)
    expect(vera.pushes.at(-1)).toMatchObject({ status: 'running', actions: [{ status: 'done' }, { status: 'running' }, { status: 'pending' }] })
    expect(liftScenarioFault(b)).toBe(1)
    await vi.advanceTimersByTimeAsync(SCENARIO_STEP_MS * 10)
    expect(vera.pushes.at(-1)).toMatchObject({ status: 'done' })
  })

  it('a hanging action made to fail fails at once', async () => {
    const { anna, vera, complete, b } = lesnaya()
    anna.one('accountSettingsSet', { scenarios: CHECKED })
    setScenarioFault(b, 'printBox', { mode: 'hang' })
    complete(vera, { role: 'checker' })
    await vi.advanceTimersByTimeAsync(SCENARIO_STEP_MS * 20)
    expect(vera.pushes.at(-1)).toMatchObject({ status: 'running', actions: [{ status: 'done' }, { status: 'done' }, { status: 'running' }] })
    setScenarioFault(b, 'printBox', { mode: 'fail', error: 'бумага кончилась' })
    await vi.advanceTimersByTimeAsync(SCENARIO_STEP_MS * 10)
    expect(vera.pushes.at(-1)).toMatchObject({ status: 'error', actions: [{}, {}, { status: 'error', error: 'бумага кончилась' }] })
  })

  it('starts nothing for an event without actions, and counts skipped statuses apart', async () => {
    const { anna, complete } = lesnaya()
    expect(complete(anna, { role: 'collector' })).toEqual({ accepted: true, stage: 'collected' })
    // The collected event's only enabled action is a status the check does not react to: skipped, nothing queued.
    const { anna: a2, complete: c2 } = lesnaya()
    a2.one('accountSettingsSet', { scenarios: CHECKED })
    expect(c2(a2, { role: 'collector' })).toEqual({ accepted: true, stage: 'collected', runId: 'run-1', scenario: { runId: 'run-1', queued: 0, skipped: 1 } })
    await vi.advanceTimersByTimeAsync(SCENARIO_STEP_MS * 10)
    expect(a2.pushes.at(-1)).toMatchObject({ status: 'done', actions: [{ type: 'documentState', status: 'skipped', note: 'state-not-trigger' }] })
  })
})
