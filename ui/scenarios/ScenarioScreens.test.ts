import { flushPromises, mount } from '@vue/test-utils'
import { afterEach, describe, expect, it, vi } from 'vitest'
import { completionOutcome } from '../core/completionPages'
import { accountDocuments, createBackend, demoSigner, liftScenarioFault, SCENARIO_STEP_MS, setScenarioFault, type Identity } from '../demo'
import ScenarioRunDialog from './ScenarioRunDialog.vue'
import ScenariosSection from './ScenariosSection.vue'
import { scenariosKit, type ScenariosKit } from './testing/scenariosKit'

let kit: ScenariosKit | undefined
afterEach(() => {
  kit?.end()
  kit = undefined
  vi.useRealTimers()
})

describe('Настройки → Сценарии', () => {
  it.each([
    ['u-igor', 'scenarios-admin-only', 'Сценарии настраивает администратор аккаунта.'],
    ['u-oleg', 'scenarios-no-ms', 'Сценарии выполняются в МоемСкладе, а этот аккаунт работает без него.'],
  ])('%s sees only a note', async (userId, test, note) => {
    kit = scenariosKit(userId)
    const w = mount(ScenariosSection)
    await flushPromises()
    expect(w.find(`[data-test="${test}"]`).text()).toBe(note)
    expect(kit.sent).toEqual([])
  })

  it('an administrator switches actions on, folds an event, and is told what is missing before saving', async () => {
    kit = scenariosKit('u-anna')
    const w = mount(ScenariosSection)
    await flushPromises()
    expect(w.findAll('[data-test^="scenario-event-"]').map((e) => e.find('.ev__title').text())).toEqual(['▾ Взят в работу', '▾ После сборки', '▾ После проверки'])
    expect(w.findAll('[data-test^="action-started-"]')).toHaveLength(3)
    await w.find('[data-test="action-on-checked-printA4"]').setValue(true)
    await w.find('[data-test="action-on-checked-note"]').setValue(true)
    expect(w.find('[data-test="scenario-summary-checked"]').text()).toBe('Включено: 2 действия')
    expect(w.find('[data-test="action-template-checked"]').findAll('option').map((o) => o.text())).toEqual(['Печатная форма…', 'ТОРГ-12', 'Товарная накладная', 'Заказ покупателя'])
    await w.find('[data-test="question-add-collected"]').trigger('click')
    await w.find('[data-test="question-label-collected-1"]').setValue('я'.repeat(61))
    await w.find('[data-test="scenarios-save"]').trigger('click')
    await flushPromises()
    expect(w.findAll('[data-test="scenarios-problems"] li').map((l) => l.text())).toEqual([
      'После сборки: вопрос 1 — подпись длиннее 60 символов',
      'После проверки: выберите печатную форму для накладной А4',
    ])
    await w.find('[data-test="scenario-fold-started"]').trigger('click')
    expect(w.findAll('[data-test^="action-started-"]')).toHaveLength(0)
  })
})

describe('the run after a completion', () => {
  /** A collector's completion on the kit's backend, with the box label failing; the dialog for its answer. */
  async function failedRun(userId: string) {
    vi.useFakeTimers()
    const backend = createBackend({ sign: demoSigner })
    kit = scenariosKit(userId, backend)
    const admin = backend.attach(backend.authenticate(backend.openSession('u-anna').token) as Identity, () => {})
    backend.handle(admin, 'accountSettingsSet', { scenarios: { events: { collected: { actions: [{ type: 'documentState', stateId: 'st-demand-collected' }, { type: 'print', kind: 'boxLabel' }] } } } })
    setScenarioFault(backend, 'printBox', { mode: 'fail', error: 'нет бумаги' })
    const doc = accountDocuments(backend, 'acc-lesnaya')!.byType.get('shipment')!.find((d) => d.inFilter && d.status === 'pending')!
    const items = doc.positions.map((p) => ({ positionId: p.productId, quantity: p.quantity, marks: [] }))
    const answer = kit.ask('completeDocument', { documentId: doc.id, type: 'shipment', page: 1, final: true, items, timeline: {}, role: 'collector' })
    const w = mount(ScenarioRunDialog, { props: { sent: { documentId: doc.id, documentType: 'shipment', outcome: completionOutcome([answer]) } } })
    expect(w.find('[data-test="scenario-queued"]').text()).toBe('Сценарий: 2 действия в очереди')
    await vi.advanceTimersByTimeAsync(SCENARIO_STEP_MS * 10)
    expect(w.find('[data-test="scenario-success"]').text()).toBe('Сценарий: статус поставлен')
    expect(w.find('[data-test="scenario-error"]').text()).toBe('Не получилось: печать не ушла — нет бумаги')
    return { w, backend }
  }

  it('an administrator retries a failed run once the failure is lifted', async () => {
    const { w, backend } = await failedRun('u-anna')
    liftScenarioFault(backend, 'printBox')
    await w.find('[data-test="scenario-retry"]').trigger('click')
    await flushPromises()
    expect(kit!.sent.filter((m) => m.c === 'scenarioRetry')).toHaveLength(1)
    await vi.advanceTimersByTimeAsync(SCENARIO_STEP_MS * 10)
    expect(w.find('[data-test="scenario-success"]').text()).toBe('Сценарий: статус поставлен, печать ушла')
    expect(w.find('[data-test="scenario-error"]').exists()).toBe(false)
    expect(w.find('[data-test="scenario-retry"]').exists()).toBe(false)
    await w.find('[data-test="scenario-to-list"]').trigger('click')
    expect(w.emitted('leave')).toHaveLength(1)
  })

  it('a collector is not offered the retry', async () => {
    const { w } = await failedRun('u-egor')
    expect(w.find('[data-test="scenario-retry"]').exists()).toBe(false)
  })
})
