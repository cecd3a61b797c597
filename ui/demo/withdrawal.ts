/**
 * Marking withdrawal on the server's side: after the final page of a retail
 * shipment with marks, on an account that withdraws marks on retail sales,
 * the picker's answer is taken, or — when the picker was not asked (an
 * automatic completion) and the account wants them asked — a question goes to
 * the device (`czWithdrawAsk.push`). A confirmed withdrawal becomes a task that
 * ends with a notice (`czWithdrawNotice.push`). The control endpoint picks how
 * tasks end: done, skipped, expired or failed.
 */
import type { Payload } from '../core/envelope'
import type { Connection, Handler, MemoryBackend } from './backend'
import { chosenThumbprint, requestSignature } from './signing'

export type WithdrawalEnd = 'done' | 'skipped' | 'expired' | 'failed'

export interface WithdrawalTask {
  taskId: string
  accountId: string
  documentId: string
  codes: string[]
  state: 'asked' | 'queued' | 'declined' | WithdrawalEnd
  /** the device that completed the document: questions and notices go to its user */
  userId: string
  /** the withdrawal document's signature: waiting, verified, invalid, refused or timeout */
  signature?: string
}

interface WithdrawalState {
  tasks: Map<string, WithdrawalTask>
  next: number
  /** how the next queued task ends */
  end: WithdrawalEnd
  workplaces: Map<string, string>
}

export function withdrawalState(b: MemoryBackend): WithdrawalState {
  let s = b.state.get('withdrawal') as WithdrawalState | undefined
  if (!s) {
    s = { tasks: new Map(), next: 1, end: 'done', workplaces: new Map() }
    b.state.set('withdrawal', s)
  }
  return s
}

/**
 * The marks of completion items ({marks: [...]} per position): only those of
 * units the result keeps — never more codes than the item's quantity — and
 * each code once.
 */
function marksOf(items: readonly unknown[]): string[] {
  const out = new Set<string>()
  for (const item of items) {
    const { marks, quantity } = (item ?? {}) as { marks?: unknown; quantity?: unknown }
    if (!Array.isArray(marks)) continue
    const units = typeof quantity === 'number' && Number.isFinite(quantity) ? Math.max(0, Math.ceil(quantity)) : marks.length
    for (const m of marks.filter((c): c is string => typeof c === 'string' && c !== '').slice(0, units)) out.add(m)
  }
  return [...out]
}

const NOTICE_MESSAGES: Readonly<Record<WithdrawalEnd, string>> = {
  done: 'Коды выведены из оборота',
  skipped: 'Честный Знак не принял документ: коды уже выведены',
  expired: '',
  failed: 'Честный Знак не ответил за 10 попыток',
}

function pushToUser(b: MemoryBackend, task: WithdrawalTask, c: string, p: Payload): void {
  // After the answer that caused it has gone out.
  queueMicrotask(() => b.pushWhere((conn: Connection) => conn.identity.kind === 'device' && conn.identity.userId === task.userId, c, p))
}

function notify(b: MemoryBackend, task: WithdrawalTask, end: WithdrawalEnd, message = NOTICE_MESSAGES[end]): void {
  task.state = end
  const p: Payload = { taskId: task.taskId, documentId: task.documentId, state: end }
  if (message) p.message = message
  pushToUser(b, task, 'czWithdrawNotice.push', p)
}

/** The withdrawal document the desktop signs: the codes of the sale, as the marking system takes them. */
function withdrawalDocument(task: WithdrawalTask): string {
  const doc = JSON.stringify({ type: 'LK_RECEIPT', action: 'RETAIL', documentId: task.documentId, codes: task.codes })
  let bin = ''
  for (const byte of new TextEncoder().encode(doc)) bin += String.fromCharCode(byte)
  return btoa(bin)
}

/**
 * Ends a queued task as the control endpoint set it. Done means: the withdrawal document signed by a computer of
 * the user that has a certificate chosen (`signDocument.push`), the signature verified, then the notice.
 */
export function finishTask(b: MemoryBackend, task: WithdrawalTask, end: WithdrawalEnd = withdrawalState(b).end): void {
  if (end !== 'done') return notify(b, task, end)
  const signer = b.connections().find((c) => c.identity.kind === 'device' && c.identity.userId === task.userId && chosenThumbprint(b, c.id))
  if (!signer) return notify(b, task, 'failed', 'Нет компьютера с выбранным сертификатом подписи')
  task.state = 'queued'
  const { outcome } = requestSignature(b, signer, {
    kind: 'document',
    documentBase64: withdrawalDocument(task),
    documentType: 'LK_RECEIPT',
    thumbprint: chosenThumbprint(b, signer.id)!,
  })
  task.signature = 'waiting'
  void outcome.then((o) => {
    task.signature = o.status
    if (o.status === 'verified') notify(b, task, 'done')
    else notify(b, task, 'failed', `Документ вывода не подписан: ${o.error || o.detail || o.status}`)
  })
}

/**
 * What the final page's answer says about withdrawal, starting a task when there is one to start; null when
 * withdrawal does not apply to this completion.
 */
export function withdrawalAfterCompletion(
  b: MemoryBackend,
  c: { accountId: string; userId: string; documentId: string; type: string; items: readonly unknown[]; withdraw?: boolean; features: Record<string, boolean> },
): Payload | null {
  if (c.type !== 'shipment' || c.features.czWithdrawRetail !== true) return null
  const codes = marksOf(c.items)
  if (codes.length === 0) return { withdrawQueued: false, withdrawNote: 'в документе нет кодов маркировки' }
  if (c.withdraw === false) return { withdrawQueued: false, withdrawNote: 'сборщик ответил «не выводить»' }
  const s = withdrawalState(b)
  const task: WithdrawalTask = { taskId: `wd-${s.next++}`, accountId: c.accountId, documentId: c.documentId, codes, state: 'queued', userId: c.userId }
  s.tasks.set(task.taskId, task)
  if (c.withdraw === undefined && c.features.czWithdrawAsk === true) {
    task.state = 'asked'
    pushToUser(b, task, 'czWithdrawAsk.push', {
      taskId: task.taskId,
      documentId: task.documentId,
      message: `Покупатель — физическое лицо: ${codes.length} шт. кодов можно вывести из оборота как дистанционную продажу.`,
    })
    return { withdrawQueued: false, withdrawNote: 'ждем ответа сборщика' }
  }
  finishTask(b, task)
  return { withdrawQueued: true }
}

const czWithdrawConfirm: Handler = ({ backend, conn }, p) => {
  const me = backend.signedIn(conn)
  if (!me) return { error: 'session not authorized' }
  const taskId = typeof p.taskId === 'string' ? p.taskId : ''
  const task = withdrawalState(backend).tasks.get(taskId)
  if (!task || task.accountId !== me.account.uid) return { error: 'Задача на вывод не найдена' }
  if (task.state !== 'asked') return { error: 'На этот вопрос уже ответили' }
  if (p.confirm === true) {
    task.state = 'queued'
    finishTask(backend, task)
    return { queued: true }
  }
  task.state = 'declined'
  pushToUser(backend, task, 'czWithdrawNotice.push', { taskId, documentId: task.documentId, state: 'skipped', message: 'Сборщик ответил «не выводить»' })
  return { queued: false }
}

export const withdrawalHandlers: Readonly<Record<string, Handler>> = { czWithdrawConfirm }

/** The organisation's own workplace address, which wins over a device's, if the account has one. */
export function accountWorkplace(b: MemoryBackend, accountId: string): string | undefined {
  return withdrawalState(b).workplaces.get(accountId)
}

/** How later tasks end (the control endpoint). */
export function setWithdrawalEnd(b: MemoryBackend, end: WithdrawalEnd): void {
  withdrawalState(b).end = end
}

/** Ends every question still waiting as expired (the day without an answer has passed). */
export function expireWithdrawalQuestions(b: MemoryBackend): number {
  let n = 0
  for (const task of withdrawalState(b).tasks.values()) {
    if (task.state !== 'asked') continue
    finishTask(b, task, 'expired')
    n++
  }
  return n
}

/** Sets the organisation's own FIAS code (the control endpoint), or clears it. */
export function setAccountWorkplace(b: MemoryBackend, accountId: string, fiasId: string | null): void {
  const s = withdrawalState(b)
  if (fiasId) s.workplaces.set(accountId, fiasId)
  else s.workplaces.delete(accountId)
}
