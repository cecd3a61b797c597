/**
 * Completion scenarios: the administrator's editor (Настройки → Сценарии)
 * and, after a completion that queued scenario actions, the run's progress
 * and outcome on the document screen.
 */
import { defineAsyncComponent } from 'vue'
import type { Feature } from '../core/feature'
import { settingsSections } from '../core/settingsSections'
import { addCompletionFollowUp } from '../documents/completion/followUps'
import { queuedRun } from './runFollowUp'

let installed = false

export const scenariosFeature: Feature = {
  name: 'scenarios',
  routes: [],
  tiles: [],
  install() {
    if (installed) return
    installed = true
    const rolesAt = settingsSections.findIndex((s) => s.id === 'roles')
    settingsSections.splice(rolesAt < 0 ? settingsSections.length : rolesAt + 1, 0, {
      id: 'scenarios',
      title: 'Сценарии',
      component: defineAsyncComponent(() => import('./ScenariosSection.vue')),
    })
    addCompletionFollowUp({
      wants: (sent) => queuedRun(sent.outcome) !== null,
      component: defineAsyncComponent(() => import('./ScenarioRunDialog.vue')),
    })
  },
}
