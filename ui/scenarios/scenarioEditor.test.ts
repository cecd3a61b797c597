import { afterEach, describe, expect, it } from 'vitest'
import { readLocal } from '../core/localStore'
import { COLLAPSED_KEY, createScenarioEditor } from './scenarioEditor'
import { scenariosKit, type ScenariosKit } from './testing/scenariosKit'

let kit: ScenariosKit | undefined
afterEach(() => {
  kit?.end()
  kit = undefined
})

const set = <T extends object>(list: T[], match: (x: T) => boolean, patch: Partial<T>) => Object.assign(list.find(match)!, patch)

describe('the scenario editor', () => {
  it('loads the scenarios and the MoySklad lists, checks before saving and shows what the server stored', async () => {
    kit = scenariosKit('u-anna')
    const editor = createScenarioEditor()
    await editor.load()
    const s = editor.state
    expect(s.loadError).toBe('')
    expect(s.reference.states.map((g) => g.title)).toContain('Отгрузка')
    expect(s.reference.attributes[0]!.items.map((i) => i.name)).toContain('Сборщик')
    expect(s.settings.events.checked.map((a) => a.enabled)).toEqual(Array(8).fill(false))

    set(s.settings.events.checked, (a) => a.key === 'documentState', { enabled: true })
    set(s.settings.events.checked, (a) => a.key === 'printA4', { enabled: true })
    editor.addQuestion('checked')
    expect(await editor.save()).toBe(false)
    expect(s.problems).toEqual([
      'После проверки: выберите статус для действия «Статус документа»',
      'После проверки: выберите печатную форму для накладной А4',
      'После проверки: вопрос 1 — впишите подпись, которую увидит сотрудник',
    ])
    expect(kit.sent.filter((m) => m.c === 'accountSettingsSet')).toEqual([])

    set(s.settings.events.checked, (a) => a.key === 'documentState', { stateId: 'st-demand-shipped' })
    set(s.settings.events.checked, (a) => a.key === 'printA4', { templateId: 'tpl-torg12' })
    s.settings.ask.checked[0]!.label = 'Куда поставили'
    editor.toggleQuestionState(s.settings.ask.checked[0]!, 'st-demand-checked')
    editor.move('checked', 6, -1)
    expect(s.settings.events.checked.map((a) => a.key)).toEqual(['documentState', 'linkedOrderState', 'dateNow', 'attributes', 'apply', 'printA4', 'printBox', 'note'])
    editor.move('checked', 5, -1)
    expect(await editor.save()).toBe(true)
    expect(s).toMatchObject({ problems: [], message: 'Сохранено', failed: false })
    // What was sent comes back in its order; the rest follows, disabled, in the event's order.
    expect(s.settings.events.checked.map((a) => a.key)).toEqual(['documentState', 'printA4', 'linkedOrderState', 'dateNow', 'attributes', 'apply', 'printBox', 'note'])
    // The status is outside the widget's check statuses: the server's warning points at the row.
    expect(editor.warningOf('checked', s.settings.events.checked[0]!)).toMatch(/^Один из статусов в сценариях не входит в статусы проверки виджета/)
    expect(kit.ask('accountSettingsGet', { blocks: ['scenarios'] }).scenarios).toMatchObject({
      configured: true,
      events: { checked: [{ type: 'documentState', stateId: 'st-demand-shipped' }, { type: 'print', kind: 'a4', templateId: 'tpl-torg12' }] },
      ask: { checked: [{ id: 'q1', type: 'state', label: 'Куда поставили', stateIds: ['st-demand-checked'], required: false }] },
    })
  })

  it('keeps the folded events on the device', () => {
    kit = scenariosKit('u-anna')
    const editor = createScenarioEditor()
    editor.toggleCollapsed('started')
    editor.toggleCollapsed('checked')
    editor.toggleCollapsed('started')
    expect(readLocal(COLLAPSED_KEY)).toEqual(['checked'])
    expect(createScenarioEditor().state.collapsed).toEqual(['checked'])
  })

  it('a save refused by the server shows its text', async () => {
    kit = scenariosKit('u-igor')
    const editor = createScenarioEditor()
    await editor.load()
    expect(await editor.save()).toBe(false)
    expect(editor.state).toMatchObject({ failed: true, message: 'settings are changed by the account administrator' })
  })
})
