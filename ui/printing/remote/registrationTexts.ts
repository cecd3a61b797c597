/**
 * The texts of registering this computer's printer for the account, of taking
 * a record out of the registry and of reading the registry. Pure.
 */

export const NOT_IN_HOST_TEXT = 'Удаленный принтер включается только в приложении на компьютере с принтером.'
export const NO_CONNECTION_TEXT = 'Нет связи с сервером — регистрация до него не дойдет. Попробуйте, когда связь вернется.'
export const NO_PRINTER_CHOSEN_TEXT =
  'Сначала выберите принтер в списке выше: печатать «на принтер по умолчанию» из кабинета нельзя — по умолчанию у клиентов чаще всего PDF.'
export const NO_COMMENT_TEXT =
  'Напишите, чей это принтер, — эта подпись видна в МоемСкладе под кнопкой печати. Например: «у Иры на упаковке».'
export const CHOOSE_PRINTER_TEXT = 'Сначала выберите принтер в списке.'

export interface RegisterConditions {
  inHost: boolean
  connected: boolean
  printerName: string | null
  comment: string
}

/** Why the register button may not be used now; null when it may. */
export function registerPrecondition(c: RegisterConditions): string | null {
  if (!c.inHost) return NOT_IN_HOST_TEXT
  if (!c.connected) return NO_CONNECTION_TEXT
  if (c.printerName === null || c.printerName.trim() === '') return NO_PRINTER_CHOSEN_TEXT
  if (c.comment.trim() === '') return NO_COMMENT_TEXT
  return null
}

const blank = (s: string | null | undefined): boolean => s === undefined || s === null || s.trim() === ''
const UNSUPPORTED = new Set(['unknown-command', 'unsupported'])

/** The text of a refused (or failed) registration, by its code and the server's message. */
export function registerErrorText(code: string | null | undefined, message?: string | null): string {
  if (blank(code)) return 'Не удалось зарегистрировать принтер: сервер ответил отказом без объяснения.'
  if (code === 'already-registered') {
    const first = blank(message) ? 'На аккаунте уже зарегистрирован другой принтер. Для второго принтера напишите в поддержку.' : message!
    return `${first} Если это рабочее место, которого больше нет, уберите его запись ниже — в списке «Удаленные принтеры аккаунта» кнопкой «Убрать».`
  }
  if (UNSUPPORTED.has(code!))
    return 'Сервер пока не принимает регистрацию принтера — эта часть еще делается на стороне бэкенда. Печать в приложении работает как раньше.'
  if (code === 'timeout')
    return 'Сервер не ответил за отведенное время. Печать в приложении работает как раньше; попробуйте зарегистрировать позже.'
  return blank(message) ? `Не удалось зарегистрировать принтер: ${code}` : message!
}

/** Codes of a forget that found no record: our registration goes all the same. */
export const NOT_FOUND_CODES: ReadonlySet<string> = new Set(['not-found', 'unknown-printer'])

export function forgetErrorText(code: string | null | undefined, message?: string | null): string {
  if (blank(code)) return blank(message) ? 'Не удалось убрать принтер из кабинета.' : message!
  if (NOT_FOUND_CODES.has(code!)) return 'Этой записи в кабинете уже нет — список обновлен.'
  if (code === 'forbidden' || code === 'not-owner')
    return 'Сервер не дал убрать запись, сделанную на другом рабочем месте. Напишите в поддержку — запись уберут там.'
  if (UNSUPPORTED.has(code!)) return 'Сервер пока не умеет убирать принтер из реестра — эта часть еще делается на стороне бэкенда.'
  if (code === 'timeout') return 'Сервер не ответил за отведенное время — запись осталась. Попробуйте еще раз.'
  return blank(message) ? `Не удалось убрать принтер из кабинета: ${code}` : message!
}

export function registryErrorText(code: string | null | undefined): string {
  if (blank(code)) return 'Список принтеров из кабинета получить не удалось.'
  if (UNSUPPORTED.has(code!)) return 'Сервер пока не отдает список принтеров — эта часть еще делается на стороне бэкенда.'
  if (code === 'timeout') return 'Сервер не ответил за отведенное время — список принтеров показать не смогли.'
  return `Список принтеров из кабинета получить не удалось: ${code}`
}
