/**
 * The administrator's editor of completion scenarios without its screen:
 * the settings being edited, the MoySklad lists to choose from, the checks
 * before saving and the save itself. Which events are folded is kept on the
 * device.
 */
import { reactive } from 'vue'
import { readLocal, writeLocal } from '../core/localStore'
import { saveFailureText } from '../roles/rolesStore'
import { emptyReference, readReference, REFERENCE_KINDS, type Reference } from './reference'
import {
  emptySettings,
  MAX_QUESTIONS,
  moveAction,
  nextQuestionId,
  readSettings,
  writeSettings,
  type AskEvent,
  type ScenarioAction,
  type ScenarioEvent,
  type ScenarioQuestion,
  type ScenarioSettings,
} from './scenarioModel'
import { scenariosChannel } from './scenariosChannel'
import { validateSettings } from './validation'

export const COLLAPSED_KEY = 'scenarios.collapsedEvents.v1'
export const REFERENCE_TIMEOUT_MS = 30_000

export const EDITOR_TEXTS = {
  saved: 'Сохранено',
  loadFailed: 'Не удалось загрузить сценарии. Проверьте связь и нажмите «Повторить».',
  referenceFailed: 'Списки МоегоСклада не загрузились — статусы и поля показаны без названий. Нажмите «Обновить списки».',
} as const

export interface EditorState {
  settings: ScenarioSettings
  reference: Reference
  loading: boolean
  loadError: string
  referenceError: string
  /** the problems found before saving */
  problems: string[]
  saving: boolean
  message: string
  failed: boolean
  collapsed: ScenarioEvent[]
}

export function createScenarioEditor() {
  const state = reactive<EditorState>({
    settings: emptySettings(),
    reference: emptyReference(),
    loading: false,
    loadError: '',
    referenceError: '',
    problems: [],
    saving: false,
    message: '',
    failed: false,
    collapsed: readCollapsed(),
  })

  function readCollapsed(): ScenarioEvent[] {
    const v = readLocal<unknown>(COLLAPSED_KEY)
    return Array.isArray(v) ? v.filter((e): e is ScenarioEvent => e === 'started' || e === 'collected' || e === 'checked') : []
  }

  async function loadReference(refresh = false) {
    state.referenceError = ''
    try {
      const payload = { kinds: [...REFERENCE_KINDS], ...(refresh ? { refresh: true } : {}) }
      state.reference = readReference(await scenariosChannel().command('msReferenceGet', payload, REFERENCE_TIMEOUT_MS))
    } catch (err) {
      console.warn('[сценарии] списки МоегоСклада не получены:', err)
      state.referenceError = EDITOR_TEXTS.referenceFailed
    }
  }

  async function load() {
    state.loading = true
    state.loadError = ''
    const reference = loadReference()
    try {
      state.settings = readSettings((await scenariosChannel().command('accountSettingsGet', { blocks: ['scenarios'] })).scenarios)
    } catch (err) {
      console.warn('[сценарии] настройки не получены:', err)
      state.loadError = EDITOR_TEXTS.loadFailed
    }
    await reference
    state.loading = false
  }

  function toggleCollapsed(event: ScenarioEvent) {
    state.collapsed = state.collapsed.includes(event) ? state.collapsed.filter((e) => e !== event) : [...state.collapsed, event]
    writeLocal(COLLAPSED_KEY, state.collapsed)
  }

  function move(event: ScenarioEvent, index: number, delta: -1 | 1) {
    state.settings.events[event] = moveAction(state.settings.events[event], index, delta)
  }

  function addQuestion(event: AskEvent) {
    const list = state.settings.ask[event]
    if (list.length >= MAX_QUESTIONS) return
    list.push({ id: nextQuestionId(list), type: 'state', label: '', stateIds: [], attributeId: '', required: false })
  }

  function removeQuestion(event: AskEvent, index: number) {
    state.settings.ask[event].splice(index, 1)
  }

  function toggleQuestionState(q: ScenarioQuestion, stateId: string) {
    q.stateIds = q.stateIds.includes(stateId) ? q.stateIds.filter((s) => s !== stateId) : [...q.stateIds, stateId]
  }

  /** Checks everything, then saves; the server's stored form replaces what is on screen. */
  async function save(): Promise<boolean> {
    state.message = ''
    state.problems = validateSettings(state.settings)
    if (state.problems.length) return false
    state.saving = true
    try {
      const answer = await scenariosChannel().command('accountSettingsSet', writeSettings(state.settings))
      if (answer.scenarios !== undefined) state.settings = readSettings(answer.scenarios)
      state.failed = false
      state.message = EDITOR_TEXTS.saved
      return true
    } catch (err) {
      state.failed = true
      state.message = saveFailureText(err)
      return false
    } finally {
      state.saving = false
    }
  }

  /** The warning that points at this action, if the server left one. */
  function warningOf(event: ScenarioEvent, action: ScenarioAction): string {
    const w = state.settings.warnings.find((x) => x.event === event && x.type === action.key && (!x.stateId || x.stateId === action.stateId))
    return w?.message ?? ''
  }

  return { state, load, loadReference, toggleCollapsed, move, addQuestion, removeQuestion, toggleQuestionState, save, warningOf }
}

export type ScenarioEditor = ReturnType<typeof createScenarioEditor>
