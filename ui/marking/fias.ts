/**
 * The workplace's FIAS address code: how a typed value is stored, the status
 * line under the field, and what the server's answer to `reportWorkplace`
 * means.
 */
import { productGroup } from './productGroups'
import type { ToneText } from './withdrawTexts'

export const FIAS_PLACEHOLDER = '0c5b2444-70a0-4932-980c-b4dc0d3f02b5'
export const REPORT_WORKPLACE_TIMEOUT_MS = 10_000
const UUID = /^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$/

/** A typed value as it is stored: trimmed, lower case, null when empty. */
export function normaliseFias(value: string): string | null {
  const v = value.trim().toLowerCase()
  return v === '' ? null : v
}

export function isFiasCode(value: string): boolean {
  return UUID.test(value)
}

export function fiasStatus(groups: readonly string[], fiasId: string | null): ToneText {
  if (groups.length === 0) return { text: 'Товарная группа не выбрана — без нее Честный Знак не примет вывод из оборота', tone: 'warning' }
  if (!fiasId) {
    const label = productGroup(groups[0]!)?.label ?? groups[0]!
    return {
      text: `Для группы «${label}» нужен код ФИАС — адрес места, где стоит этот компьютер. Возьмите его в личном кабинете Честного Знака`,
      tone: 'warning',
    }
  }
  if (!isFiasCode(fiasId)) {
    return {
      text: `Код ФИАС должен выглядеть так: ${FIAS_PLACEHOLDER}. Проверьте, не попал ли в поле адрес вместо кода`,
      tone: 'warning',
    }
  }
  const labels = groups.map((c) => productGroup(c)?.label ?? c).join(', ')
  return { text: `Готово: ${labels}, ФИАС ${fiasId}`, tone: 'ok' }
}

/** The server's answer to `reportWorkplace` for the code that was sent. */
export function reportWorkplaceText(sent: string, answer: { error?: unknown; fiasId?: unknown }): ToneText {
  if (typeof answer.error === 'string' && answer.error !== '') return { text: `Сервер не принял код: ${answer.error}`, tone: 'warning' }
  if (typeof answer.fiasId === 'string' && answer.fiasId !== '' && answer.fiasId.toLowerCase() !== sent) {
    return { text: 'Код передан, но вывод пойдет по адресу из настроек организации — он главнее кода с устройства', tone: 'info' }
  }
  return { text: 'Код передан на сервер', tone: 'ok' }
}
