/**
 * The one GS1 parser of the app: the raw form of a marking code (fields after
 * two-digit application identifiers, variable fields ended by the group
 * separator) and the bracketed human-readable form, with the dates of AI 11,
 * 15 and 17. Every reader of marks (the picking screen, the parts store's
 * expiry, the marking checks) goes through `parseGs1`.
 *
 * Two tobacco shapes that the plain AI rules misread are read here too, so the
 * same physical mark always gives the same fields:
 *  - the short pack code without identifiers: 14-digit GTIN, 7-character
 *    serial, 4 price and 4 check characters, 29 in all;
 *  - a carton code scanned without separators, where the serial (AI 21) would
 *    otherwise run on through the price field 8005 and the check field 93.
 * And a serial without a separator after it ends where a recognisable crypto
 * tail starts (91 + 4 + 92 + 44…88, or 93 + 4, ending the code), or after 20
 * characters, the longest a GS1 serial can be.
 */
import { GS } from '../documents/scanner/symbology'

export interface ParsedGs1 {
  ok: boolean
  gtin: string
  /** YYYY-MM-DD or '' */
  expiry: string
  /** YYYY-MM-DD or '' */
  production: string
  batch: string
  serial: string
  verificationCode: string
  crypto: string
  /** identifiers that stopped the parse */
  unknown: string[]
  /** only on failure */
  error?: string
}

export const GS1_TEXTS = {
  empty: 'Пустая марка',
  notMark: 'Это не марка Честного Знака',
  cut: (ai: string) => `Поле ${ai} оборвано`,
} as const

type Field = 'gtin' | 'production' | 'expiry' | 'batch' | 'serial' | 'verificationCode' | 'crypto' | null
interface AiRule {
  /** fixed length in characters; null: up to the next separator or the end */
  length: number | null
  field: Field
  date?: boolean
}

const AI_TABLE: Readonly<Record<string, AiRule>> = {
  '01': { length: 14, field: 'gtin' },
  '11': { length: 6, field: 'production', date: true },
  '13': { length: 6, field: null, date: true },
  '15': { length: 6, field: 'expiry', date: true },
  '17': { length: 6, field: 'expiry', date: true },
  '10': { length: null, field: 'batch' },
  '21': { length: null, field: 'serial' },
  '91': { length: 4, field: 'verificationCode' },
  '92': { length: null, field: 'crypto' },
  '93': { length: 4, field: null },
}

/** A bracketed identifier that shows the human-readable form: (0x), (1x) or (21). */
const BRACKETED_FORM = /\((?:[01]\d|21)\)/
const BRACKETED_AI = /\((\d{2,4})\)/g
const SERIAL_MAX = 20
// Tails that may end a code whose separators were lost.
const TAIL_91_92 = /^91.{4}92.{44,88}$/s
const TAIL_93 = /^93.{4}$/s
// The rest of a tobacco carton after its 7-character serial: price (8005 + 6 digits) and check (93 + 4).
const CARTON_REST = /^8005\d{6}93.{4}$/s
// A tobacco pack: GTIN, serial, price, check — no identifiers, no separators.
const PACK = /^(\d{14})([^\x1d]{7})([^\x1d]{4})([^\x1d]{4})$/s

function empty(): ParsedGs1 {
  return { ok: false, gtin: '', expiry: '', production: '', batch: '', serial: '', verificationCode: '', crypto: '', unknown: [] }
}

/** YYMMDD as YYYY-MM-DD: years 50–99 are 19xx, day 00 is the month's last day; null when not a date. */
export function gs1Date(text: string): string | null {
  if (!/^\d{6}$/.test(text)) return null
  const yy = Number(text.slice(0, 2))
  const mm = Number(text.slice(2, 4))
  const dd = Number(text.slice(4, 6))
  if (mm < 1 || mm > 12) return null
  const year = yy >= 50 ? 1900 + yy : 2000 + yy
  const days = new Date(Date.UTC(year, mm, 0)).getUTCDate()
  const day = dd === 0 ? days : dd
  if (day > days) return null
  return `${year}-${String(mm).padStart(2, '0')}-${String(day).padStart(2, '0')}`
}

/** The human-readable form as the raw one: "(01)…(21)…" → GS 01 … GS 21 …, without a leading GS. */
function toRaw(text: string): string {
  if (!BRACKETED_FORM.test(text)) return text
  return text.replace(BRACKETED_AI, `${GS}$1`).replace(/^\x1d+/, '')
}

/**
 * Where, inside the text after AI 21 of a code without separators, a
 * recognisable tail starts (a carton's price and check fields, or a crypto
 * tail ending the code within the first 20 characters); -1 when none does.
 */
export function tailAfterSerial(rest: string): number {
  if (rest.length > 7 && CARTON_REST.test(rest.slice(7))) return 7
  // The latest start is taken: a serial may itself contain "91…92", a tail never ends early.
  for (let i = Math.min(SERIAL_MAX, rest.length - 1); i >= 1; i--) {
    const tail = rest.slice(i)
    if (TAIL_93.test(tail) || TAIL_91_92.test(tail)) return i
  }
  return -1
}

/** Where a serial with no separator after it ends, inside `rest`. */
function serialEnd(rest: string): number {
  const tail = tailAfterSerial(rest)
  return tail > 0 ? tail : Math.min(SERIAL_MAX, rest.length)
}

/** True for the short tobacco pack shape: 14 digits and 15 more characters, no separators. */
export function isPackShape(code: string): boolean {
  return PACK.test(code)
}

export function parseGs1(input: string): ParsedGs1 {
  const text = input.trim()
  if (!text) return { ...empty(), error: GS1_TEXTS.empty }
  const read = parseFields(text)
  // A pack read by identifiers gives nothing but, at most, a GTIN: the pack shape reads it whole.
  const pack = PACK.exec(text)
  if (pack && !read.serial && !read.expiry && !read.production && !read.batch) {
    return { ...empty(), ok: true, gtin: pack[1]!, serial: pack[2]!, crypto: pack[4]! }
  }
  return read
}

function parseFields(text: string): ParsedGs1 {
  const out = empty()
  let rest = toRaw(text)
  while (rest.length > 0) {
    if (rest[0] === GS) {
      rest = rest.slice(1)
      continue
    }
    const ai = rest.slice(0, 2)
    const rule = AI_TABLE[ai]
    if (!rule) {
      out.unknown.push(ai)
      break
    }
    rest = rest.slice(2)
    let value: string
    if (rule.length !== null) {
      if (rest.length < rule.length) return { ...out, ok: false, error: GS1_TEXTS.cut(ai) }
      value = rest.slice(0, rule.length)
    } else {
      const gs = rest.indexOf(GS)
      if (gs >= 0) value = rest.slice(0, gs)
      else value = ai === '21' ? rest.slice(0, serialEnd(rest)) : rest
    }
    rest = rest.slice(value.length)
    if (!rule.field) continue
    if (rule.date) {
      const date = gs1Date(value)
      // An invalid date leaves the field as it was.
      if (date !== null) out[rule.field] = date
    } else {
      out[rule.field] = value
    }
  }
  if (!out.gtin && !out.serial) return { ...out, ok: false, error: GS1_TEXTS.notMark }
  return { ...out, ok: true }
}

/** The expiry date of a mark (YYYY-MM-DD), or '' when it has none or does not parse. */
export function gs1Expiry(text: string): string {
  const p = parseGs1(text)
  return p.ok ? p.expiry : ''
}
