/**
 * The texts of the server's refusal codes for document actions (start,
 * release, reopen, completion, position edits fall back to them).
 */
import type { RefusalInfo } from '../../core/requests'

export const STAGE_LABELS: Readonly<Record<string, string>> = {
  new: 'Новый',
  collecting: 'Собирается',
  collected: 'Ждет проверки',
  checked: 'Проверен',
}

/** "hh:mm" of a time the server sent (ISO text or ms); "" when it is not a time. */
export function clockTime(value: unknown): string {
  if (typeof value !== 'string' && typeof value !== 'number') return ''
  const d = new Date(value)
  if (Number.isNaN(d.getTime())) return ''
  return `${String(d.getHours()).padStart(2, '0')}:${String(d.getMinutes()).padStart(2, '0')}`
}

function personName(v: unknown): string {
  if (typeof v === 'string') return v.trim()
  if (typeof v === 'object' && v !== null && typeof (v as { name?: unknown }).name === 'string')
    return ((v as { name: string }).name).trim()
  return ''
}

/** The refusal's message for the picker (`positionName` names the position of "reason-required"). */
export function refusalText(info: RefusalInfo, positionName?: string): string {
  const message = info.message?.trim() ?? ''
  switch (info.code) {
    case 'taken': {
      const name = personName(info.collector)
      const time = clockTime(info.startedAt)
      if (name && time) return `Документ уже собирает ${name} с ${time}. Возьмите другой или попросите его отпустить.`
      if (name) return `Документ уже собирает ${name}. Возьмите другой или попросите его отпустить.`
      return message || 'Документ уже взят в работу другим сотрудником. Возьмите другой.'
    }
    case 'wrong-stage': {
      const label = typeof info.stage === 'string' ? STAGE_LABELS[info.stage] : undefined
      return label
        ? `С этим документом уже нельзя это сделать: сейчас он в состоянии «${label.toLowerCase()}». Обновите список.`
        : 'Документ уже ушел на другой этап. Обновите список.'
    }
    case 'own-document':
      return 'Этот заказ собирали вы — проверить его должен другой сотрудник.'
    case 'forbidden':
      return message || 'У вас нет прав на это действие. Обратитесь к администратору.'
    case 'start-required':
      return 'Сначала возьмите документ в работу, потом завершайте.'
    case 'boxes-required':
      return 'Укажите, сколько получилось коробок.'
    case 'reason-required':
      return positionName
        ? `Укажите причину недобора по позиции «${positionName}».`
        : 'Укажите причину недобора по каждой недобранной позиции.'
    case 'role-not-assigned':
      return 'Эта роль вам не назначена. Попросите администратора добавить ее.'
    case 'answers-invalid':
      return message || 'Ответьте на вопросы и проверьте введенное.'
    case 'invalid':
      return message || 'Сервер не принял введенное. Проверьте поля.'
    case 'state-not-trigger':
      return (
        message ||
        'Выбранный статус не входит в статусы проверки: контролер не увидит документ. Добавьте его в настройках виджета или выберите другой.'
      )
    default:
      return message || 'Не удалось выполнить. Попробуйте еще раз.'
  }
}
