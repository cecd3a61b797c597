/**
 * The label print queue: requests with the same kind, copies and size that
 * come within 500 ms of each other go out as one group, in chunks of at most
 * 50 ids, one request after another; each caller then gets its own share of
 * the merged replies. A chunk that fails does not take the chunks that
 * printed with it: each caller learns what printed and what did not, so
 * nobody reprints labels that already came out.
 */
import { ruPlural } from '../core/plural'
import type { LabelPrintReply } from './records'

export type LabelKind = 'cell' | 'product'
export type LabelSize = '42x24' | '58x40'

export const LABEL_GROUP_MS = 500
export const LABEL_CHUNK = 50
export const LABEL_SELECTION_LIMIT = 50
export const COPIES_MAX = 50

export function labelSize(widthMm: number, heightMm: number): LabelSize {
  return Math.abs(widthMm - 42) <= 2 && Math.abs(heightMm - 24) <= 2 ? '42x24' : '58x40'
}

export function clampCopies(value: unknown): number {
  const n = typeof value === 'number' ? value : typeof value === 'string' ? Number(value) : NaN
  if (!Number.isFinite(n)) return 1
  return Math.min(COPIES_MAX, Math.max(1, Math.trunc(n)))
}

/** The refusal for a selection of `count` labels, or null when it may print. */
export function selectionProblem(count: number): string | null {
  if (count < 1) return 'Выберите хотя бы одну этикетку для печати'
  if (count > LABEL_SELECTION_LIMIT) return `Выбрано ${count} — это больше предела ${LABEL_SELECTION_LIMIT} за один раз`
  return null
}

export interface LabelRequest {
  kind: LabelKind
  ids: number[]
  copies: number
  size: LabelSize
}

/** What one caller gets back. */
export interface LabelShare {
  /** every label of this caller printed */
  printed: boolean
  /** labels (ids) of this caller that printed */
  printedCount: number
  copies: number
  skippedIds: number[]
  /** ids of this caller whose chunk failed, with the failure's text */
  failedIds: number[]
  failure?: string
  printedOn?: string
}

export interface LabelQueueDeps {
  /** one `radioLabelsPrint`; rejects on a refusal or a time-out */
  send(request: LabelRequest): Promise<LabelPrintReply>
  /** the text shown for a failed chunk */
  failureText(err: unknown): string
  setTimer(fn: () => void, ms: number): unknown
}

interface Waiter {
  ids: number[]
  resolve(share: LabelShare): void
}

interface Group {
  request: Omit<LabelRequest, 'ids'>
  waiters: Waiter[]
}

interface ChunkOutcome {
  ids: number[]
  reply?: LabelPrintReply
  failure?: string
}

export function chunk<T>(items: readonly T[], size: number): T[][] {
  const out: T[][] = []
  for (let i = 0; i < items.length; i += size) out.push(items.slice(i, i + size))
  return out
}

export function createLabelQueue(deps: LabelQueueDeps) {
  const open = new Map<string, Group>()

  async function flush(key: string): Promise<void> {
    const group = open.get(key)
    open.delete(key)
    if (!group) return
    const all = group.waiters.flatMap((w) => w.ids)
    const outcomes: ChunkOutcome[] = []
    for (const ids of chunk(all, LABEL_CHUNK)) {
      try {
        outcomes.push({ ids, reply: await deps.send({ ...group.request, ids }) })
      } catch (err) {
        outcomes.push({ ids, failure: deps.failureText(err) })
      }
    }
    for (const w of group.waiters) w.resolve(shareOf(w.ids, outcomes, group.request.copies))
  }

  return {
    /** Joins (or opens) the group of the request; resolves with this caller's share once the group went out. */
    print(request: LabelRequest): Promise<LabelShare> {
      const key = `${request.kind}|${request.copies}|${request.size}`
      let group = open.get(key)
      if (!group) {
        group = { request: { kind: request.kind, copies: request.copies, size: request.size }, waiters: [] }
        open.set(key, group)
        deps.setTimer(() => void flush(key), LABEL_GROUP_MS)
      }
      const g = group
      return new Promise<LabelShare>((resolve) => g.waiters.push({ ids: [...request.ids], resolve }))
    },
  }
}

function shareOf(ids: readonly number[], outcomes: readonly ChunkOutcome[], requestedCopies: number): LabelShare {
  const mine = new Set(ids)
  const skipped = new Set<number>()
  const failed: number[] = []
  let printedCount = 0
  let printedOn: string | undefined
  let copies = requestedCopies
  let failure: string | undefined
  let allPrinted = true
  for (const o of outcomes) {
    const own = o.ids.filter((id) => mine.has(id))
    if (!o.reply) {
      allPrinted = false
      if (own.length > 0) {
        failed.push(...own)
        failure ??= o.failure
      }
      continue
    }
    const chunkSkipped = new Set(o.reply.skippedIds)
    for (const id of own) if (chunkSkipped.has(id)) skipped.add(id)
    if (!o.reply.printed) {
      allPrinted = false
      continue
    }
    printedOn ??= o.reply.printedOn
    copies = o.reply.copies
    printedCount += own.filter((id) => !chunkSkipped.has(id)).length
  }
  const share: LabelShare = { printed: allPrinted && failed.length === 0, printedCount, copies, skippedIds: [...skipped], failedIds: failed }
  if (failure !== undefined) share.failure = failure
  if (printedOn !== undefined) share.printedOn = printedOn
  return share
}

function skippedNote(kind: LabelKind, n: number): string {
  return kind === 'cell'
    ? `Пропущено ${n} ${ruPlural(n, 'ячейка', 'ячейки', 'ячеек')}: нет своего штрихкода или в нём кириллица — такие печатать нельзя`
    : `Пропущено ${n} ${ruPlural(n, 'товар', 'товара', 'товаров')}: штрихкод не распознан`
}

/** The line shown after printing. */
export function labelResultText(kind: LabelKind, share: LabelShare): string {
  const skipped = share.skippedIds.length > 0 ? skippedNote(kind, share.skippedIds.length) : ''
  const failed = share.failedIds.length > 0 ? `Не напечатано ${share.failedIds.length}: ${share.failure ?? 'Печать не выполнена'}` : ''
  const tail = [skipped, failed].filter((s) => s !== '').join(' ')
  if (share.printedCount > 0) {
    const on = share.printedOn ? ` на «${share.printedOn}»` : ''
    return `Напечатано ${share.printedCount * share.copies}${on}.${tail ? ` ${tail}` : ''}`
  }
  if (skipped && !failed) return skipped
  if (failed) return share.failure ?? 'Печать не выполнена'
  return 'Печать не выполнена'
}
