/**
 * Scanned-code clean-up shared by every input channel: the group separator
 * that marking codes carry, and the symbology identifier some scanners put
 * in front of a code.
 */

/** ASCII group separator (0x1D); kept inside codes, marking codes depend on it. */
export const GS = '\x1d'

/** A symbology identifier: "]", a letter, a digit ("]C1", "]d2", "]E0"). */
const SYMBOLOGY_ID = /^\][A-Za-z][0-9]/

/** At least this many non-blank characters must follow the identifier for it to be stripped. */
const MIN_CODE_AFTER_ID = 8

/**
 * Removes a leading symbology identifier when a real code follows it. A short
 * code that merely starts with "]C1" is left alone: it may be the code itself.
 */
export function stripSymbologyId(code: string): string {
  if (!SYMBOLOGY_ID.test(code)) return code
  const rest = code.slice(3)
  return rest.replace(/\s/g, '').length >= MIN_CODE_AFTER_ID ? rest : code
}

const LEADING_GS = /^\x1d+/

/**
 * What a channel's raw text becomes as a scan ('' = no scan): trimmed, without
 * the identifier, and without a leading group separator — scanners send FNC1
 * in front of a marking code as GS, and it says nothing about the code.
 */
export function cleanScannedCode(raw: string): string {
  const trimmed = raw.trim().replace(LEADING_GS, '').trim()
  return stripSymbologyId(trimmed).replace(LEADING_GS, '')
}

/** The key fields of a keyboard event this module looks at. */
export interface KeyLike {
  key: string
  code?: string
  ctrlKey?: boolean
}

/**
 * True for a key that a scanner sends as the group separator: Tab, the GS
 * character itself, the named key "GroupSeparator", or Ctrl+] (by its key
 * or, on other layouts, by the BracketRight key code).
 */
export function isGroupSeparatorKey(e: KeyLike): boolean {
  if (e.key === 'Tab' || e.key === GS || e.key === 'GroupSeparator') return true
  return e.ctrlKey === true && (e.key === ']' || e.code === 'BracketRight')
}
