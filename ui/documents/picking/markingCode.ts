/**
 * Marking codes as the picking screen sees them: telling a mark from a plain
 * barcode, its GTIN and serial, the identity under which a mark is counted
 * once per document, and whether the scanner passed the crypto tail.
 */
import { GS } from '../scanner/symbology'

const DIGITS_14 = /^\d{14}$/

/**
 * "01" + 14 digits + "21" + serial, or a bare form that does not start with
 * "01": 14 digits followed by a non-digit, longer than 14 characters.
 */
export function isMarkingCode(code: string): boolean {
  if (code.startsWith('01')) return DIGITS_14.test(code.slice(2, 16)) && code.slice(16).startsWith('21')
  return code.length > 14 && DIGITS_14.test(code.slice(0, 14)) && !/\d/.test(code[14]!)
}

export interface ParsedMark {
  /** the 14-digit GTIN */
  gtin: string
  serial: string
  /** "<gtin>:<serial>": the same goods item scanned again gives the same identity */
  identity: string
  form: '01' | 'bare'
}

// A crypto tail that ends the text: verification key 91 + 4 and crypto code 92 + 44…88, or 93 + 4.
const TAIL_91_92 = /^91.{4}92.{44,88}$/s
const TAIL_93 = /^93.{4}$/s
const SERIAL_MAX = 20

/** Where the recognisable tail starts inside `rest` (within the first 20 characters), or -1. */
function tailStart(rest: string): number {
  // The latest start is taken: a serial may itself contain "91…92", the tail never ends early.
  for (let i = Math.min(SERIAL_MAX, rest.length - 1); i >= 1; i--) {
    const tail = rest.slice(i)
    if (TAIL_93.test(tail) || TAIL_91_92.test(tail)) return i
  }
  return -1
}

/** GTIN and serial of a marking code; null for anything else. */
export function parseMarkingCode(code: string): ParsedMark | null {
  if (!isMarkingCode(code)) return null
  if (code.startsWith('01')) {
    if (code.length < 20) return null
    const gtin = code.slice(2, 16)
    const rest = code.slice(18)
    const gs = rest.indexOf(GS)
    let serial: string
    if (gs >= 0) serial = rest.slice(0, gs)
    else {
      const t = tailStart(rest)
      serial = t > 0 ? rest.slice(0, t) : rest.slice(0, SERIAL_MAX)
    }
    return { gtin, serial, identity: `${gtin}:${serial}`, form: '01' }
  }
  const gtin = code.slice(0, 14)
  const serial = code.slice(14)
  return { gtin, serial, identity: `${gtin}:${serial}`, form: 'bare' }
}

/** The identity a mark is counted under; a mark too short to parse counts under its own text. */
export function markIdentity(code: string): string {
  return parseMarkingCode(code)?.identity ?? code
}

export type TailStatus = 'full' | 'missing' | 'no-gs'

/**
 * Whether the scanner passed the crypto tail: "full" for the bare form and for
 * a GS followed by 91, 92 or 93; "no-gs" when the tail is there but the
 * separators were lost; "missing" otherwise.
 */
export function tailStatus(code: string): TailStatus {
  if (!isMarkingCode(code)) return 'full'
  if (!code.startsWith('01')) return 'full'
  const parts = code.split(GS)
  if (parts.length > 1) return parts.slice(1).some((p) => /^9[123]/.test(p)) ? 'full' : 'missing'
  return tailStart(code.slice(18)) > 0 ? 'no-gs' : 'missing'
}

/** The code without leading zeros; a code of only zeros stays as it is. */
export function withoutLeadingZeros(code: string): string {
  let i = 0
  while (i < code.length && code.charCodeAt(i) === 48) i++
  return i === 0 || i === code.length ? code : code.slice(i)
}
