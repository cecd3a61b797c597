/**
 * Marking codes as the picking screen sees them: telling a mark from a plain
 * barcode, its GTIN and serial (read by the app's GS1 parser), the identity
 * under which a mark is counted once per document, and whether the scanner
 * passed the crypto tail.
 */
import { isPackShape, parseGs1, tailAfterSerial } from '../../marking/gs1'
import { GS } from '../scanner/symbology'

const DIGITS_14 = /^\d{14}$/

const isLongForm = (code: string) => code.startsWith('01') && DIGITS_14.test(code.slice(2, 16)) && code.slice(16).startsWith('21')

/**
 * "01" + 14 digits + "21" + serial; a bare form that does not start with "01":
 * 14 digits followed by a non-digit, longer than 14 characters; or a tobacco
 * pack (14 digits and 15 characters), whatever its serial starts with.
 */
export function isMarkingCode(code: string): boolean {
  if (code.startsWith('01')) return isLongForm(code) || (isPackShape(code) && parseGs1(code).serial.length === 7)
  if (isPackShape(code)) return true
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

/** GTIN and serial of a marking code; null for anything else. */
export function parseMarkingCode(code: string): ParsedMark | null {
  if (!isMarkingCode(code)) return null
  if (isLongForm(code) || isPackShape(code)) {
    if (code.length < 20) return null
    const { ok, gtin, serial } = parseGs1(code)
    if (ok && DIGITS_14.test(gtin) && serial) return { gtin, serial, identity: `${gtin}:${serial}`, form: isLongForm(code) ? '01' : 'bare' }
    if (!isPackShape(code)) return null
  }
  // The bare form: 14 digits, and the serial is the rest.
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
  if (!isLongForm(code)) return 'full'
  const parts = code.split(GS)
  if (parts.length > 1) return parts.slice(1).some((p) => /^9[123]/.test(p)) ? 'full' : 'missing'
  return tailAfterSerial(code.slice(18)) > 0 ? 'no-gs' : 'missing'
}

/** The code without leading zeros; a code of only zeros stays as it is. */
export function withoutLeadingZeros(code: string): string {
  let i = 0
  while (i < code.length && code.charCodeAt(i) === 48) i++
  return i === 0 || i === code.length ? code : code.slice(i)
}
