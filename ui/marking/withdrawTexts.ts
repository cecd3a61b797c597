/**
 * What the app says about marking withdrawal: the answer to the server's
 * question, the server's notice about a task, the outcome of the last
 * completed document, and the waiting line while the server has not asked
 * for a signature yet.
 */

export type Tone = 'ok' | 'info' | 'warning'

export interface ToneText {
  text: string
  tone: Tone
}

export const WITHDRAW_TEXTS = {
  askTitle: 'Вывести коды из оборота?',
  askText: 'Сервер просит подтвердить вывод кодов из оборота по этому документу.',
  confirm: 'Вывести',
  decline: 'Не выводить',
  accepted: 'Ответ принят: коды уйдут на вывод из оборота.',
  declined: 'Ответ записан: коды остаются в обороте.',
  refused: (error: string) => `Ответ не принят: ${error}`,
  notSent: 'Ответ не ушел — проверьте связь и попробуйте еще раз. Срок ответа сутки, так что время есть.',
  noTask: '[вывод] вопрос без задачи — показывать не на чем',
} as const

/** The server's answer to `czWithdrawConfirm` as the dialog shows it; `close` false keeps the dialog open. */
export function answerText(answer: { error?: unknown; message?: unknown; queued?: unknown }): ToneText & { close: boolean } {
  if (typeof answer.error === 'string' && answer.error !== '') return { text: WITHDRAW_TEXTS.refused(answer.error), tone: 'warning', close: false }
  if (typeof answer.message === 'string' && answer.message.trim() !== '') return { text: answer.message.trim(), tone: 'ok', close: true }
  if (answer.queued === true) return { text: WITHDRAW_TEXTS.accepted, tone: 'ok', close: true }
  return { text: WITHDRAW_TEXTS.declined, tone: 'ok', close: true }
}

/** " <message>." — with a leading blank, and a final dot when it has none; '' for no message. */
function withMessage(message: unknown): string {
  if (typeof message !== 'string' || message.trim() === '') return ''
  const m = message.trim()
  return ` ${/[.!?…]$/.test(m) ? m : `${m}.`}`
}

export interface WithdrawNotice {
  taskId?: string
  documentId?: string
  state: string
  message?: string
  /** when it came (ms) */
  at: number
  /** the document's number, when this device completed it */
  number?: string
}

/** The settings line for the server's notice about a withdrawal task. */
export function noticeText(n: Pick<WithdrawNotice, 'state' | 'message' | 'number'>): ToneText {
  const prefix = n.number ? `Документ №${n.number}: ` : ''
  switch (n.state) {
    case 'skipped':
      return { text: `${prefix}коды из оборота не выводились.${withMessage(n.message)}`, tone: 'ok' }
    case 'expired':
      return {
        text: `${prefix}вопрос про вывод кодов остался без ответа сутки, и задача закрыта. Коды остались в обороте — если вывести их все-таки нужно, скажите поддержке.`,
        tone: 'warning',
      }
    case 'failed':
      return {
        text: `${prefix}вывести коды из оборота не удалось.${withMessage(n.message)} Сервер сделал все попытки сам — дальше нужна поддержка.`,
        tone: 'warning',
      }
    default:
      return { text: `${prefix}сервер закрыл задачу на вывод кодов.${withMessage(n.message)}`, tone: 'info' }
  }
}

export interface WithdrawOutcome {
  at: number
  number: string
  queued?: boolean
  note?: string
  type?: string
  marks?: number
  answer?: boolean
  /** false while the document waits in the send queue */
  sent?: boolean
}

const KINDS: Readonly<Record<string, string>> = {
  shipment: 'отгрузка',
  order: 'заказ покупателя',
  receiving: 'приемка',
  transfer: 'перемещение',
  customer_return: 'возврат покупателя',
}

/** The settings line for the last completed document's withdrawal. */
export function outcomeText(o: WithdrawOutcome): ToneText {
  const d = `Документ №${o.number}`
  if (o.sent === false) return { text: `${d} ждет связи в очереди отправки. Вывод кодов начнется, когда документ уйдет.`, tone: 'info' }
  if (o.marks === 0) {
    return {
      text: `${d}: кодов маркировки в нем не было — выводить нечего. Вывод из оборота делается по отсканированным кодам, а не по товарам.`,
      tone: 'info',
    }
  }
  if (o.type !== undefined && o.type !== 'shipment') {
    const kind = KINDS[o.type] ?? 'документ другого вида'
    return { text: `${d} — это ${kind}. Коды из оборота выводятся только по отгрузке: по другим документам вывода не бывает, и это не поломка.`, tone: 'info' }
  }
  if (o.answer === false) return { text: `${d}: сборщик ответил «не выводить» — коды остались в обороте.`, tone: 'info' }
  const note = o.note?.trim() ?? ''
  if (o.queued === undefined && note === '' && o.marks !== undefined) {
    return {
      text: `${d}: коды ушли на сервер (${o.marks}), но про вывод из оборота сервер не ответил ничего. Наша половина сделана — покажите эту строку поддержке.`,
      tone: 'warning',
    }
  }
  if (o.queued === true) {
    return { text: `${d}: коды приняты на вывод из оборота. Дальше работает сервер — подпись и ответ Честного Знака приходят минутами позже.`, tone: 'ok' }
  }
  if (note !== '') return { text: `${d}: коды из оборота не выводились — ${note.replace(/[.\s]+$/, '')}.`, tone: 'info' }
  return { text: `${d}: коды из оборота не выводились, причину сервер не назвал.`, tone: 'info' }
}

/** A sign-log entry as the waiting line reads it. */
export interface SignLogMark {
  event: string
  at: number
}

/**
 * While the server has sent no notice for a queued withdrawal: whether this
 * computer signed the document since, or how long the server has not asked.
 * Only a `document` entry means a signature was made; a `refused` one shows
 * the refusal.
 */
export function waitingLine(queuedAt: number, log: readonly (SignLogMark & { reason?: string })[], now: number): ToneText {
  const since = log.filter((e) => e.at >= queuedAt && (e.event === 'document' || e.event === 'refused')).sort((a, b) => b.at - a.at)[0]
  if (since?.event === 'document') return { text: 'Документ подписан этим компьютером — дальше ответ Честного Знака идет через сервер.', tone: 'ok' }
  if (since?.event === 'refused') {
    const why = since.reason?.trim()
    return { text: `Подписать документ этот компьютер отказался${why ? `: ${why.replace(/[.\s]+$/, '')}` : ''}. Без подписи вывод из оборота не начнется.`, tone: 'warning' }
  }
  const minutes = Math.floor(Math.max(0, now - queuedAt) / 60_000)
  if (now - queuedAt < 5 * 60_000) return { text: `Подписать документ сервер пока не просил (прошло ${minutes} мин.) — первые минуты это нормально.`, tone: 'info' }
  return {
    text: `Прошло ${minutes} мин., а подписать документ сервер так и не попросил — без подписи вывод из оборота не начнется. Со стороны этого компьютера все готово: покажите эту строку поддержке.`,
    tone: 'warning',
  }
}

const SERVER_WITHDRAWS = ' Выводит коды сервер: пока в журнале подписей ниже нет записи «подписан документ», вывод не начинался.'

/** The "Вывод кодов из оборота" row from the account capabilities of the latest connection. */
export function withdrawStateText(features: Readonly<Record<string, boolean>> | null | undefined): ToneText {
  const f = features ?? {}
  if (!('czWithdrawRetail' in f) && !('czWithdrawAsk' in f)) {
    return {
      text: 'Сервер не прислал настроек вывода при подключении — ни включенных, ни выключенных. Галочка в кабинете тут не поможет: настройки должен отдавать сам сервер. Нажмите «Проверить еще раз», а если ничего не изменится — покажите эту строку поддержке.',
      tone: 'warning',
    }
  }
  if (f.czWithdrawRetail !== true) {
    return { text: 'Работа с Честным Знаком для этой организации не включена: коды при продаже физлицам из оборота не выводятся.', tone: 'warning' }
  }
  if (f.czWithdrawAsk === true) return { text: `Включен. Перед завершением документа спросим сборщика, выводить ли коды.${SERVER_WITHDRAWS}`, tone: 'ok' }
  return { text: `Включен. Сборщика не спрашиваем — так настроено в кабинете.${SERVER_WITHDRAWS}`, tone: 'ok' }
}
