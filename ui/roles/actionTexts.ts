/** Texts of the start, release and reopen actions and of their refusals. Pure. */
import type { RefusalInfo } from '../core/requests'
import { refusalText } from '../documents/picking/refusalText'

export const RELEASE_REASON_MAX = 255

export const RELEASE_TEXTS = {
  title: 'Причина снятия',
  free: 'Или напишите свою',
  submit: 'Снять',
  cancel: 'Отмена',
} as const

export const STAGE_BAR_TEXTS = {
  notStarted: 'Сборка еще не начата',
  yours: 'Документ за вами',
  collected: 'Документ собран',
  checked: 'Документ проверен',
} as const

export const REOPEN_TEXTS = {
  title: 'Вернуть документ к сборке?',
  text: 'Сборка и проверка будут отменены, статус вернется к прежнему.',
  confirm: 'Вернуть',
  cancel: 'Отмена',
  doneTitle: 'Готово',
  ok: 'Понятно',
} as const

export const ACTION_FAILED = 'Не удалось выполнить. Проверьте связь и повторите.'

/** The release reason as it is sent: trimmed and cut to 255 characters; undefined when blank. */
export function releaseReasonPayload(text: string): string | undefined {
  const t = text.trim().slice(0, RELEASE_REASON_MAX)
  return t === '' ? undefined : t
}

/** "Документ возвращен к сборке" + " · статус в МоемСкладе: <state>" when the server restored one. */
export function reopenDoneText(stateRestored: unknown): string {
  const state =
    typeof stateRestored === 'string'
      ? stateRestored.trim()
      : typeof stateRestored === 'object' && stateRestored !== null && typeof (stateRestored as { name?: unknown }).name === 'string'
        ? (stateRestored as { name: string }).name.trim()
        : ''
  return state ? `Документ возвращен к сборке · статус в МоемСкладе: ${state}` : 'Документ возвращен к сборке'
}

/** A refusal of the reopen. */
export function reopenRefusalText(info: RefusalInfo): string {
  switch (info.code) {
    case 'forbidden':
      return 'Вернуть документ к сборке может контролер или администратор'
    case 'wrong-stage':
      return 'Документ сейчас в сборке: снимите его с сотрудника'
    case 'nothing-to-reopen':
      return 'Документ не собран — возвращать нечего'
    default:
      return refusalText(info)
  }
}

/** Refusals after which the list is loaded again. */
export function refusalReloadsList(info: RefusalInfo): boolean {
  return info.code === 'taken' || info.code === 'wrong-stage'
}
