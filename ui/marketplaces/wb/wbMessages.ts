/**
 * What the Wildberries screens say about a refused request: one text per
 * error code, in a label form (printing) and an action form (the task page),
 * and the texts of the list's answers. Pure.
 */
import type { Payload } from '../../core/envelope'
import { waitSeconds, waitText } from './wbTask'

export type MessageKind = 'label' | 'action'

const SAME: Readonly<Record<string, string>> = {
  'wb-no-token': 'Магазин Wildberries не подключен: добавьте токен в настройках аккаунта.',
  'wb-unauthorized': 'Wildberries не принял токен магазина. Проверьте токен в настройках аккаунта.',
  'wb-order-conflict': 'Wildberries уже изменил задание — обновите список и попробуйте снова.',
  'wb-order-bad-request': 'Wildberries не принял запрос по заданию — проверьте задание в кабинете продавца.',
  'wb-server': 'Wildberries временно не отвечает — повторите через минуту.',
}

const NOT_FOUND =
  'Задание не найдено в Wildberries: оно уже не в работе или относится к другому магазину.'

export const RATE_LIMITED = 'wb-rate-limited'

const text = (v: unknown) => (typeof v === 'string' ? v.trim() : '')

/** True for an answer that carries a refusal (`errorCode` or `error`). */
export function isRefusal(p: Payload): boolean {
  return text(p.errorCode) !== '' || text(p.error) !== ''
}

/** The text of a refused answer `p` for a label or an action. */
export function refusalText(p: Payload, kind: MessageKind): string {
  const code = text(p.errorCode)
  const error = text(p.error)
  if (code in SAME) return SAME[code]!
  if (code === 'wb-order-not-found') return kind === 'label' ? NOT_FOUND.replace(/\.$/, ' — этикетку получить нельзя.') : NOT_FOUND
  if (code === 'wb-error') return error || 'Wildberries ответил ошибкой. Попробуйте через минуту'
  if (code === RATE_LIMITED) {
    const wait = waitText(waitSeconds(p.retryAfter))
    return kind === 'label'
      ? `Wildberries временно ограничил запросы, этикетка не напечатана. Повторите ${wait}`
      : `Wildberries временно ограничил запросы. Повторите ${wait}`
  }
  if (error) return error
  return kind === 'label' ? 'Не удалось получить этикетку. Попробуйте еще раз' : 'Не удалось выполнить действие. Попробуйте еще раз'
}

export const SERVER_SILENT = 'Сервер не ответил. Попробуйте еще раз'
export const LIST_SERVER_SILENT = 'Сервер не ответил. Попробуйте обновить позже'
export const LIST_FAILED = 'Wildberries не отдал список заданий. Попробуйте обновить позже'
export const NO_LABEL_LINK = 'Сервер не прислал ссылку на этикетку. Попробуйте еще раз'
export const NO_STICKER_LINK = 'Сервер не прислал ссылку на стикер. Попробуйте еще раз'

/** The warning of a list answer with shops that did not answer. */
export function partialText(shopErrors: unknown): string {
  const names = (Array.isArray(shopErrors) ? shopErrors : [])
    .map((e) => (typeof e === 'object' && e !== null ? text((e as Payload).shop) || text((e as Payload).sellerId) : ''))
    .filter((n) => n !== '')
  return names.length > 0
    ? `Часть магазинов не ответила: ${names.join(', ')}. Список может быть неполным.`
    : 'Часть магазинов не ответила. Список может быть неполным.'
}
