/**
 * The task page's requests: load one task, take it into assembly, add it to
 * a supply; and the questions asked before the two actions. A refused answer
 * becomes its action text; a rate limit also starts the wait.
 */
import type { Payload } from '../../core/envelope'
import { isTimeout } from '../../core/requests'
import { marketplaceRequest } from '../channel'
import { cleanPayload } from '../payload'
import { isRefusal, RATE_LIMITED, refusalText, SERVER_SILENT } from './wbMessages'
import { displayNumber, mergeTask, readTask, shopLabel, waitSeconds, type WbTask } from './wbTask'

export type ActionResult = { ok: true; task: WbTask; answer: Payload } | { ok: false; text: string }

export interface ActionDeps {
  ask(name: string, payload: Payload): Promise<Payload>
  startWait(seconds: number): void
}

export const defaultAsk = (name: string, payload: Payload) => marketplaceRequest(name, payload)

async function run(deps: ActionDeps, name: string, payload: Payload, done: (answer: Payload) => WbTask | undefined): Promise<ActionResult> {
  let answer: Payload
  try {
    answer = await deps.ask(name, payload)
  } catch (err) {
    return { ok: false, text: isTimeout(err) ? SERVER_SILENT : err instanceof Error ? err.message : String(err) }
  }
  if (isRefusal(answer)) {
    if (answer.errorCode === RATE_LIMITED) deps.startWait(waitSeconds(answer.retryAfter))
    return { ok: false, text: refusalText(answer, 'action') }
  }
  const task = done(answer)
  return task ? { ok: true, task, answer } : { ok: false, text: refusalText({}, 'action') }
}

const idPayload = (id: number, sellerId: string) => cleanPayload({ orderId: id, sellerId }, ['sellerId'])

export function loadTask(deps: ActionDeps, id: number, sellerId: string): Promise<ActionResult> {
  return run(deps, 'wbOrderDetail', idPayload(id, sellerId), (a) => readTask(a))
}

export function confirmTask(deps: ActionDeps, task: WbTask): Promise<ActionResult> {
  return run(deps, 'wbOrderConfirm', idPayload(task.id, task.sellerId), (a) => mergeTask(task, a))
}

export function addToSupply(deps: ActionDeps, task: WbTask): Promise<ActionResult> {
  const payload = cleanPayload({ orderId: task.id, sellerId: task.sellerId, supplyId: task.supplyId }, ['sellerId', 'supplyId'])
  return run(deps, 'wbOrderToSupply', payload, (a) => mergeTask(task, a))
}

/** "Задание WB: <id>." or, when the display number is another, the buyer's order first. */
function idsText(t: WbTask): string {
  const shown = displayNumber(t)
  return shown === String(t.id) ? `Задание WB: ${t.id}.` : `Заказ покупателя: ${shown}. Задание WB: ${t.id}.`
}

/** "Магазин: <shop>." without a second dot after a name that ends in one ("ИП Смирнова А. В."). */
function shopSentence(t: WbTask): string {
  const shop = shopLabel(t)
  return `Магазин: ${shop}${shop.endsWith('.') ? '' : '.'}`
}

export interface Question {
  title: string
  text: string
  confirm: string
}

export function confirmQuestion(t: WbTask): Question {
  return {
    title: `Взять задание № ${displayNumber(t)} в сборку?`,
    text: `${shopSentence(t)} ${idsText(t)} Задание будет взято в сборку.`,
    confirm: 'Взять в сборку',
  }
}

export function supplyQuestion(t: WbTask): Question {
  const supply = t.supplyId.trim()
  const tail = supply
    ? `Задание добавится в поставку № ${supply}.`
    : 'Задание добавится в поставку. Поставки пока нет — будет создана новая.'
  return { title: `Добавить задание № ${displayNumber(t)} в поставку?`, text: `${shopSentence(t)} ${idsText(t)} ${tail}`, confirm: 'Добавить в поставку' }
}

/** The note after adding to a supply. */
export function supplyNote(answer: Payload, task: WbTask): string {
  const base = answer.created === true ? 'Задание добавлено в новую поставку' : 'Задание добавлено в поставку'
  const supply = task.supplyId.trim()
  return supply ? `${base} № ${supply}` : base
}
