/**
 * The list's search: a text filters the shown documents by number or
 * counterparty, or by code (parts split at ";", numbers compared without
 * leading zeros, order codes case-insensitively). Texts of the search in
 * MoySklad. Pure.
 */
import type { DocumentRecord } from './records'

/** "00123" → "123"; nothing left → "0". */
export function withoutLeadingZeros(text: string): string {
  return text.replace(/^0+/, '') || '0'
}

export function codeParts(text: string): string[] {
  return text
    .split(';')
    .map((p) => p.trim())
    .filter(Boolean)
}

/** The document's number (without leading zeros) or one of its codes equals a part of the text. */
export function matchesByCode(doc: DocumentRecord, text: string): boolean {
  const number = withoutLeadingZeros(doc.number.trim()).toLowerCase()
  const codes = (doc.searchCodes ?? []).map((c) => c.toLowerCase())
  return codeParts(text).some((part) => {
    const p = part.toLowerCase()
    return withoutLeadingZeros(p) === number || codes.includes(p)
  })
}

/** Number or counterparty containing the text (any case), or a match by code. */
export function matchesSearch(doc: DocumentRecord, text: string): boolean {
  const t = text.trim().toLowerCase()
  if (!t) return true
  return doc.number.toLowerCase().includes(t) || doc.counterparty.toLowerCase().includes(t) || matchesByCode(doc, text)
}

/** Worth asking MoySklad: 1 to 40 characters, at least one digit, no white space. */
export function looksLikeNumber(text: string): boolean {
  return text.length >= 1 && text.length <= 40 && /\d/.test(text) && !/\s/.test(text)
}

/** One server search per number: "00123" and "123" are the same. */
export function searchKey(text: string): string {
  return withoutLeadingZeros(text.trim().toLowerCase())
}

export const SEARCH_PLACEHOLDER = 'Номер документа или контрагент...'
export const FIND_BUTTON = 'Найти в МоемСкладе'
export const FIND_RUNNING = 'Ищем в МоемСкладе…'

export const severalFoundNote = (n: string) => `В МоемСкладе несколько документов №${n} — они добавлены в список`
export const notFoundNote = (n: string, anyCodes: boolean) =>
  anyCodes ? `Ни документа №${n}, ни заказа с таким кодом не нашлось` : `Документ №${n} в МоемСкладе не найден`
export const findFailedNote = (n: string) => `Не удалось найти №${n} в МоемСкладе: сервер не ответил. Попробуйте еще раз`

/** A document found outside the statuses chosen for picking (or, with roles, for the check). */
export function outsideStatusesNote(n: string, stateName: string, typeLabel: string, roles: boolean): string {
  if (roles) {
    return `Статус «${stateName}» не отмечен в списке статусов проверки виджета (Приложения → Зорвик → Настройки → Документы → «${typeLabel}»). Отметьте его там, и документ появится в списке.`
  }
  const status = stateName ? `его статус «${stateName}»` : 'его статус'
  return `Документ №${n} есть в МоемСкладе, но ${status} не входит в статусы для сборки. Статусы настраиваются в МоемСкладе: Приложения → Зорвик → Настройки → Документы → «${typeLabel}», пункт «Статусы документа…, при выборе которых потребуется проверка»`
}
