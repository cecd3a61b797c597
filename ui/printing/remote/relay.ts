/**
 * The asking computer's side of the print relay: where a label that names a
 * shop printer is printed, the relay request with its progress texts and the
 * texts of its outcome.
 */
import type { Payload } from '../../core/envelope'
import type { Registration } from './registryView'

export const RELAY_TIMEOUT_MS = 160_000
export const DEFAULT_SHOP_PRINTER = 'принтер магазина'

// ---- where to print

export interface WhereInput {
  shopPrinterId: string | null
  shopPrinterLabel: string | null
  registered: Registration | null
  /** the relay can take this label (decided by the screen that prints it) */
  relayPossible: boolean
  inHost: boolean
}

export type Where =
  /** on the other computer, through the relay */
  | { kind: 'relay'; label: string }
  /** nowhere: outside the desktop host with no way to the shop printer (`label` names it when there is one) */
  | { kind: 'nowhere'; label: string | null }
  /** here: on the chosen printer, or on our registered one (`printerName`) with its profile */
  | { kind: 'here'; printerName: string | null; note: string | null }

/** The decision and, when there is one, the console line that goes with it. */
export function wherePrint(i: WhereInput): { where: Where; log: string | null } {
  const id = (i.shopPrinterId ?? '').trim()
  const label = (i.shopPrinterLabel ?? '').trim() || DEFAULT_SHOP_PRINTER
  if (!i.inHost) {
    if (id !== '' && i.relayPossible) return { where: { kind: 'relay', label }, log: null }
    return { where: { kind: 'nowhere', label: id !== '' ? label : null }, log: null }
  }
  if (id === '') return { where: { kind: 'here', printerName: null, note: null }, log: null }
  if (i.registered && i.registered.printerId === id && i.registered.name.trim() !== '')
    return { where: { kind: 'here', printerName: i.registered.name, note: null }, log: null }
  const log = `[Ozon] принтер магазина ${id} не зарегистрирован на этом компьютере — печатаем как обычно`
  if (i.relayPossible) return { where: { kind: 'relay', label }, log }
  return {
    where: {
      kind: 'here',
      printerName: null,
      note: `Принтер магазина «${label}» стоит на другом компьютере, а отправить туда эту этикетку нельзя — печатаем на принтере этого компьютера`,
    },
    log,
  }
}

// ---- progress

/** The text of a relay stage; null for a stage this client does not know. */
export function relayStageText(stage: unknown, printerLabel: string | null): string | null {
  switch (stage) {
    case 'label-ready':
      return 'Этикетка готова, отправляем на другой компьютер'
    case 'sent':
      return `Задание отправлено на компьютер с принтером${printerLabel ? `: ${printerLabel}` : ''}`
    case 'accepted':
      return 'Компьютер с принтером принял задание'
    case 'downloaded':
      return 'Этикетка получена, отправляем на принтер'
    case 'spooled':
      return 'Отправлено на принтер'
    case 'held':
      return relayHeldText(printerLabel)
    default:
      return null
  }
}

export function sendingText(printerLabel: string): string {
  return `Отправляем на принтер другого компьютера: ${printerLabel}`
}

// ---- outcome

export interface RelayResult {
  documentId: string
  sku: number | null
  ok: boolean
  printedOn: string
  error: string
  message: string
  retryAfter: number | null
}

export interface RelayOutcome {
  ok: boolean
  text: string
  /** the screen offers the print settings (the remote printer is not set up) */
  openSettings: boolean
  /**
   * the outcome is not known yet (the other computer is away or did not answer in time): the job stays
   * on the server, its result is handed to `later` when it comes, and asking again is the same job
   */
  pending?: boolean
}

const str = (v: unknown): string => (typeof v === 'string' ? v : '')
const num = (v: unknown): number | null => {
  const n = typeof v === 'number' ? v : typeof v === 'string' && v.trim() !== '' ? Number(v) : NaN
  return Number.isFinite(n) ? n : null
}

export function readRelayResult(p: Payload): RelayResult {
  return {
    documentId: str(p.documentId) || (typeof p.documentId === 'number' ? String(p.documentId) : ''),
    sku: num(p.sku),
    ok: p.ok === true,
    printedOn: str(p.printedOn),
    error: str(p.error),
    message: str(p.message),
    retryAfter: num(p.retryAfter),
  }
}

/** A label text of a marketplace refusal the relay passed on. */
function marketplaceText(code: string, message: string, retryAfter: number | null): string {
  if (code === 'ozon-rate-limited') {
    const wait = retryAfter !== null && retryAfter > 0 ? `через ${Math.ceil(retryAfter)} с` : 'через минуту'
    return `Ozon временно ограничил запросы магазина, этикетка не напечатана. Повторите ${wait}`
  }
  if (code === 'ozon-error') {
    if (message === '') return 'Ozon ответил ошибкой. Попробуйте через минуту'
    return message.includes('не отдал этикетку') ? message : `Ozon не отдал этикетку: ${message}`
  }
  if (message !== '') return message
  if (/[\s\u0400-\u04FF]/.test(code)) return code
  return `Этикетку напечатать не удалось. Сервер ответил «${code}» — этого ответа приложение пока не знает, покажите код поддержке`
}

export function relayOutcomeText(r: RelayResult, shopPrinterLabel: string | null): RelayOutcome {
  const description = r.printedOn.trim() || (shopPrinterLabel ?? '').trim()
  if (r.ok)
    return {
      ok: true,
      text: description ? `Этикетка напечатана на принтере другого компьютера: ${description}` : 'Этикетка напечатана на принтере другого компьютера',
      openSettings: false,
    }
  const fail = (text: string, openSettings = false): RelayOutcome => ({ ok: false, text, openSettings })
  const named = description ? ` «${description}»` : ''
  switch (r.error) {
    case 'no-printer':
      return fail('Удаленный принтер не настроен. На компьютере с принтером откройте Настройки → Печать и включите «Удаленный принтер»', true)
    case 'printer-failed':
      return fail(
        r.message
          ? `Принтер другого компьютера${named}: ${r.message}`
          : `Принтер другого компьютера${named} не ответил. Проверьте, что компьютер включен, приложение запущено, в принтере есть бумага`,
      )
    case 'print-server-error':
      return fail(`Задание не удалось передать на другой компьютер${r.message ? `: ${r.message}` : ''}. Передайте в поддержку`)
    default:
      return fail(marketplaceText(r.error, r.message, r.retryAfter))
  }
}

export function relayTimeoutText(printerLabel: string | null): string {
  return `Компьютер с принтером${printerLabel ? ` «${printerLabel}»` : ''} не ответил. Проверьте, что он включен и приложение на нем запущено`
}

/** The job waits on the server for the other computer to connect. */
export function relayHeldText(printerLabel: string | null): string {
  return `Компьютер с принтером${printerLabel ? ` «${printerLabel}»` : ''} сейчас не в сети. Задание ждет его: этикетка напечатается, когда он подключится, — повторять не нужно`
}

/** Added to the time-out text: the job is not lost, and its result will show up. */
export const RELAY_LATER_NOTE = 'Задание не отменено: если этикетка напечатается позже, здесь появится результат'

/**
 * Whether a relay message is about this label: the same document (or none, for progress) and the same sku;
 * a message that names a request must name ours.
 */
export function sameLabel(p: Payload, documentId: string, sku: number | null, progress: boolean, requestId?: string): boolean {
  const doc = p.documentId === undefined || p.documentId === null || p.documentId === '' ? null : String(p.documentId)
  if (doc === null ? !progress : doc !== documentId) return false
  if (requestId !== undefined && typeof p.requestId === 'string' && p.requestId !== '' && p.requestId !== requestId) return false
  const theirs = p.sku === undefined || p.sku === null || p.sku === '' ? null : Number(p.sku)
  return theirs === sku
}

// ---- the request

export interface RelayLabel {
  documentId: string
  copies?: number
  sku?: number | null
  /** the shop printer's label, when known */
  printerLabel: string | null
  /** the server's label command ("printOzonLabel" when not given); its progress and result carry its name */
  command?: string
}

/** A relay request of this page whose outcome is not known yet, by label. */
export interface UnfinishedRelay {
  requestId: string
  /** gets the outcome when it comes after the request stopped waiting */
  later: ((outcome: RelayOutcome) => void) | null
  /** stops listening for that late outcome */
  stop: () => void
}

export interface RelayDeps {
  /** sends the request and resolves the first reply `accept` takes; rejects "timeout" after `timeoutMs` */
  request(name: string, payload: Payload, options: { timeoutMs: number; accept: (p: Payload) => boolean }): Promise<Payload>
  onPush(name: string, handler: (p: Payload) => void): () => void
  /** the text of a failed request other than the time-out */
  failureText(err: unknown): string
  /** the page's unfinished relay requests (without it every request is a new job) */
  unfinished?: Map<string, UnfinishedRelay>
  newRequestId?: () => string
}

const relayKey = (command: string, documentId: string, sku: number | null) => `${command}|${documentId}|${sku ?? ''}`

/**
 * Asks the server to print `label` on the account's printer on another computer. `show` gets the text to
 * show while it waits; the outcome text is answered. While the other computer is away the answer is a
 * pending outcome at once, and after the time-out too: the job stays on the server, its real outcome goes
 * to `later` whenever it comes, and asking again for the same label meanwhile is the same job (the same
 * request id), never a second label.
 */
export async function requestRelay(
  deps: RelayDeps,
  label: RelayLabel,
  show: (text: string) => void,
  later?: (outcome: RelayOutcome) => void,
): Promise<RelayOutcome> {
  const sku = label.sku ?? null
  const command = label.command ?? 'printOzonLabel'
  const unfinished = deps.unfinished ?? new Map<string, UnfinishedRelay>()
  const key = relayKey(command, label.documentId, sku)
  const before = unfinished.get(key)
  before?.stop()
  const entry: UnfinishedRelay = {
    requestId: before?.requestId ?? deps.newRequestId?.() ?? `${Date.now().toString(36)}-${Math.random().toString(36).slice(2, 10)}`,
    later: later ?? null,
    stop: () => {},
  }
  unfinished.set(key, entry)
  const { requestId } = entry
  const ours = (p: Payload, progress: boolean) => sameLabel(p, label.documentId, sku, progress, requestId)

  show(sendingText(label.printerLabel || DEFAULT_SHOP_PRINTER))
  const payload: Payload = { documentId: label.documentId }
  if (label.copies !== undefined && label.copies > 1) payload.copies = label.copies
  if (sku !== null) payload.sku = sku
  payload.requestId = requestId

  let answered = false
  let settled = false
  const stops: Array<() => void> = []
  const stopAll = () => {
    for (const stop of stops.splice(0)) stop()
  }
  entry.stop = stopAll
  /** The real outcome: the job is finished; a caller already answered "pending" gets it through `later`. */
  const settle = (outcome: RelayOutcome) => {
    if (settled) return
    settled = true
    stopAll()
    if (unfinished.get(key) === entry) unfinished.delete(key)
    if (answered) entry.later?.(outcome)
  }
  const listenLate = () => {
    if (settled) return
    stops.push(
      deps.onPush(`${command}.result`, (p) => {
        if (ours(p, false)) settle(relayOutcomeText(readRelayResult(p), label.printerLabel))
      }),
    )
  }

  let held: (o: RelayOutcome) => void = () => {}
  const heldOutcome = new Promise<RelayOutcome>((resolve) => (held = resolve))
  stops.push(
    deps.onPush(`${command}.progress`, (p) => {
      if (!ours(p, true)) return
      if (p.stage === 'held') held({ ok: false, text: relayHeldText(label.printerLabel), openSettings: false, pending: true })
      const text = relayStageText(p.stage, label.printerLabel)
      if (text !== null && !answered) show(text)
    }),
  )
  const asked = deps
    .request(command, payload, { timeoutMs: RELAY_TIMEOUT_MS, accept: (p) => ours(p, false) })
    .then((answer): RelayOutcome => {
      const outcome = relayOutcomeText(readRelayResult(answer), label.printerLabel)
      settle(outcome)
      return outcome
    })
    .catch((err: unknown): RelayOutcome => {
      const timedOut = err instanceof Error && err.message === 'timeout'
      if (settled || answered || timedOut) {
        // The job is on the server (held, or not answered in time): its result may still come.
        listenLate()
        return { ok: false, text: `${relayTimeoutText(label.printerLabel)}. ${RELAY_LATER_NOTE}`, openSettings: false, pending: true }
      }
      // The request did not reach the server: nothing waits there, and asking again is a new request.
      settled = true
      stopAll()
      if (unfinished.get(key) === entry) unfinished.delete(key)
      return { ok: false, text: deps.failureText(err), openSettings: false }
    })
  const outcome = await Promise.race([asked, heldOutcome])
  answered = true
  // Held: the request still waits for its reply; a later result is taken by it or by the late listener.
  if (outcome.pending) listenLate()
  return outcome
}
