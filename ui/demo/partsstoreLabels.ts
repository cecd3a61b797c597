/**
 * `radioLabelsPrint` in the in-memory backend: the labels of the chosen cells
 * or products (those whose barcode a label cannot carry are skipped) go to
 * the account's label printer through a printer function that the host of
 * the backend installs (the stand-in makes PDFs and sends them to the
 * account's registered printer). Without one the request is refused.
 */
import { replyNameFor, type Payload } from '../core/envelope'
import type { Handler, HandlerContext, MemoryBackend } from './backend'
import { onStore } from './partsstore'
import { cellPath, printableBarcode, zoneName } from './partsstoreModel'
import { formatPrice } from '../core/numbers'

export const LABELS_PER_REQUEST = 50

export interface PartsLabel {
  kind: 'cell' | 'product'
  id: number
  /** what the barcode carries */
  code: string
  title: string
  subtitle: string
}

export interface PartsLabelJob {
  accountId: string
  size: '42x24' | '58x40'
  copies: number
  labels: PartsLabel[]
}

/** Prints a job asked for in `ctx`; resolves with the printer's name or rejects with the reason. */
export type PartsLabelPrinter = (job: PartsLabelJob, ctx: HandlerContext) => Promise<{ printedOn: string }>

export const NO_LABEL_PRINTER = 'Нет принтера для этикеток: включите удаленную печать на компьютере с принтером'

export function setPartsLabelPrinter(b: MemoryBackend, printer: PartsLabelPrinter | undefined): void {
  if (printer) b.state.set('partsLabelPrinter', printer)
  else b.state.delete('partsLabelPrinter')
}

const refuse = (errorCode: string, error: string): Payload => ({ error, errorCode })

export const partsLabelHandlers: Record<string, Handler> = {
  radioLabelsPrint: /*#__PURE__*/ onStore(({ ctx, accountId, store: s }, p) => {
    const kind = p.kind === 'cell' ? 'cell' : p.kind === 'product' ? 'product' : null
    if (!kind) return refuse('bad_request', 'kind must be cell or product')
    const ids = (Array.isArray(p.ids) ? p.ids : []).filter((x): x is number => typeof x === 'number')
    if (ids.length === 0 || ids.length > LABELS_PER_REQUEST) return refuse('bad_request', `1 to ${LABELS_PER_REQUEST} ids`)
    const size = p.size === '42x24' ? '42x24' : '58x40'
    const copies = typeof p.copies === 'number' && p.copies >= 1 ? Math.min(50, Math.trunc(p.copies)) : 1
    const labels: PartsLabel[] = []
    const skippedIds: number[] = []
    for (const id of ids) {
      if (kind === 'cell') {
        const c = s.cells.get(id)
        if (!c || !printableBarcode(c.barcode)) skippedIds.push(id)
        else labels.push({ kind, id, code: c.barcode!, title: c.name, subtitle: [zoneName(s, c.zoneId), ...cellPath(s, id).slice(0, -1)].join(' → ') })
      } else {
        const x = s.products.get(id)
        if (!x || !printableBarcode(x.internalBarcode)) skippedIds.push(id)
        else labels.push({ kind, id, code: x.internalBarcode, title: x.name, subtitle: x.price === null ? '' : formatPrice(x.price) })
      }
    }
    if (labels.length === 0) return { printed: false, printedCount: 0, copies, skippedIds }
    const printer = ctx.backend.state.get('partsLabelPrinter') as PartsLabelPrinter | undefined
    if (!printer) return refuse('no_printer', NO_LABEL_PRINTER)
    const conn = ctx.conn
    const reply = replyNameFor('radioLabelsPrint')
    printer({ accountId, size, copies, labels }, ctx).then(
      ({ printedOn }) => conn.push(reply, { printed: true, printedCount: labels.length, copies, skippedIds, printedOn }),
      (err: unknown) => conn.push(reply, refuse('print_failed', err instanceof Error ? err.message : String(err))),
    )
    return null
  }),
}
