/** Texts and order of the list of authorisations on this device. Pure. */
import { ruPlural } from '../plural'
import { MONTHS_GENITIVE } from '../ruDates'

/** "добавлен 5 марта 2025" in local time. */
export function addedText(ms: number): string {
  const d = new Date(ms)
  return `добавлен ${d.getDate()} ${MONTHS_GENITIVE[d.getMonth()]} ${d.getFullYear()}`
}

export const NO_AUTHORIZATIONS = 'На этом компьютере нет авторизованных сотрудников.'

/** "Авторизован 1 сотрудник", "Авторизовано 3 сотрудника", "Авторизовано 5 сотрудников". */
export function authorizationsHeader(n: number): string {
  if (n <= 0) return NO_AUTHORIZATIONS
  return `${ruPlural(n, 'Авторизован', 'Авторизовано', 'Авторизовано')} ${n} ${ruPlural(n, 'сотрудник', 'сотрудника', 'сотрудников')}`
}

/** Newest first; accounts added at the same moment keep the newer-stored first. */
export function newestFirst<T extends { addedAt: number }>(list: readonly T[]): T[] {
  return [...list].reverse().sort((a, b) => b.addedAt - a.addedAt)
}

export const UNBIND_CURRENT_TEXT =
  'Вы выйдете из своего аккаунта на этом устройстве. Для повторного входа потребуется отсканировать QR-код или ввести PIN из личного кабинета.'
export const UNBIND_OTHER_TEXT = 'Запись пропадет с этого компьютера, сессия на сервере будет отозвана.'

/** What to say after another account's record was removed: nothing when the server revoked its session. */
export function revokeNotice(answer: { revoked: boolean; reason?: string } | null): string {
  if (answer?.revoked) return ''
  const why = answer === null ? 'нет связи с сервером' : answer.reason || 'сервер отказал'
  return `Запись удалена. Сессию на сервере отозвать не удалось: ${why}, срок ее истечет сам`
}
