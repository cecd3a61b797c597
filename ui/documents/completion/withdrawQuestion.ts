/**
 * The marking withdrawal question before completion: retail shipments with
 * scanned marks, when the account withdraws marks on retail sales and wants
 * the picker asked. The marking rules that feed it live with the marking codes.
 */
import { ruPlural } from '../../core/plural'
import { isOzonPosting } from '../picking/ozonPosting'

export interface WithdrawContext {
  documentType: string
  source?: string
  /** the document's number: an Ozon posting is also known by its number's pattern */
  number?: string
  scannedMarks: number
  /** reasons of the marks the marking check refused (one entry per mark) */
  refusedReasons: string[]
  withdrawOnRetail: boolean
  askPicker: boolean
}

export interface WithdrawQuestion {
  title: string
  text: string
  note: string
}

export function withdrawApplies(c: WithdrawContext): boolean {
  return c.documentType === 'shipment' && !isOzonPosting(c) && c.scannedMarks > 0 && c.withdrawOnRetail && c.askPicker
}

export function withdrawQuestion(c: WithdrawContext): WithdrawQuestion | null {
  if (!withdrawApplies(c)) return null
  const n = Math.max(0, c.scannedMarks - c.refusedReasons.length)
  const codes = (k: number) => ruPlural(k, 'код', 'кода', 'кодов')
  const text = `Покупатель — физическое лицо: ${n} ${codes(n)} ${n % 10 === 1 && n % 100 !== 11 ? 'будет выведен' : 'будут выведены'} из оборота как дистанционная продажа.`
  let note = ''
  const k = c.refusedReasons.length
  if (k > 0) {
    const counts = new Map<string, number>()
    for (const r of c.refusedReasons) if (r.trim()) counts.set(r.trim(), (counts.get(r.trim()) ?? 0) + 1)
    const reasons = counts.size
      ? [...counts].map(([r, count]) => (count > 1 ? `${r} — ${count}` : r)).join(', ')
      : 'проверка Честного Знака их не пропустила.'
    note = `${k} ${codes(k)} выводить не будем: ${reasons}`
  }
  return { title: 'Вывести коды из оборота?', text, note }
}
