/** The finish button's label without roles. */
import { ruPlural } from '../../core/plural'

export interface CountedPosition {
  checked: number
  required: number
}

export interface FinishButtonState {
  label: string
  enabled: boolean
  /** every position counted at least to its requirement */
  complete: boolean
}

/** Why the grey "Осталось …" cannot be pressed without roles. */
export const NO_SHORT_SETTING = 'Завершать с недобором запрещено в настройках аккаунта. Досканируйте все или обратитесь к администратору.'

/**
 * All complete: "✅ Завершить проверку"; otherwise "Завершить с недобором", or
 * — when short finishing is not allowed — the disabled "Осталось <n> позиций".
 */
export function finishButton(positions: CountedPosition[], canFinishShort = true): FinishButtonState {
  const left = positions.filter((p) => p.checked < p.required).length
  if (left === 0) return { label: '✅ Завершить проверку', enabled: positions.length > 0, complete: true }
  if (canFinishShort) return { label: 'Завершить с недобором', enabled: true, complete: false }
  const label = ruPlural(left, `Осталась ${left} позиция`, `Осталось ${left} позиции`, `Осталось ${left} позиций`)
  return { label, enabled: false, complete: false }
}

/** The confirmation's text: "Проверено <done> из <total> позиций. Действие нельзя отменить." with the noun agreeing with <total>. */
export function confirmText(done: number, total: number): string {
  return `Проверено ${done} из ${total} ${ruPlural(total, 'позиции', 'позиций', 'позиций')}. Действие нельзя отменить.`
}

/** The collector's confirmation under roles: "Собрано <done> из <total> позиций. Действие нельзя отменить." */
export function collectedText(done: number, total: number): string {
  return `Собрано ${done} из ${total} ${ruPlural(total, 'позиции', 'позиций', 'позиций')}. Действие нельзя отменить.`
}
