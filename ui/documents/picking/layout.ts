/**
 * Keyboard-layout correction of scanned codes. A wedge scanner types key by
 * key; with the Russian layout switched on, a Latin code arrives as Cyrillic
 * letters and shifted punctuation. The corrected form puts back the
 * character of the same key on the US-English layout.
 */

const LOWER_RU = 'йцукенгшщзхъфывапролджэячсмитьбюё'
const LOWER_US = "qwertyuiop[]asdfghjkl;'zxcvbnm,.`"
const UPPER_RU = 'ЙЦУКЕНГШЩЗХЪФЫВАПРОЛДЖЭЯЧСМИТЬБЮЁ'
const UPPER_US = 'QWERTYUIOP{}ASDFGHJKL:"ZXCVBNM<>~'
// Keys whose Russian-layout character is punctuation: the dot key and the shifted digit row.
const PUNCT_RU = '.,№";:?'
const PUNCT_US = '/?#@$^&'

const KEYMAP: ReadonlyMap<string, string> = /*#__PURE__*/ (() => {
  const m = new Map<string, string>()
  const add = (from: string, to: string) => {
    for (let i = 0; i < from.length; i++) m.set(from[i]!, to[i]!)
  }
  add(LOWER_RU, LOWER_US)
  add(UPPER_RU, UPPER_US)
  add(PUNCT_RU, PUNCT_US)
  return m
})()

const CYRILLIC = /[\u0400-\u04FF]/

export function hasCyrillic(code: string): boolean {
  return CYRILLIC.test(code)
}

/** Every character replaced by the character of the same key on the US layout; others unchanged. */
export function toUsLayout(code: string): string {
  let out = ''
  for (const ch of code) out += KEYMAP.get(ch) ?? ch
  return out
}

export interface ResolvedCode {
  /** the code the scan is matched with */
  code: string
  /** true when the corrected form was taken */
  corrected: boolean
}

/**
 * Chooses between the code as scanned and its corrected form: the corrected
 * form when either is a marking code; else the original when it matches a
 * position; else the corrected form when it matches; else the original.
 */
export function resolveLayout(
  code: string,
  isMarkingCode: (code: string) => boolean,
  matches: (code: string) => boolean,
): ResolvedCode {
  if (!hasCyrillic(code)) return { code, corrected: false }
  const fixed = toUsLayout(code)
  if (isMarkingCode(code) || isMarkingCode(fixed)) return { code: fixed, corrected: fixed !== code }
  if (matches(code)) return { code, corrected: false }
  if (matches(fixed)) return { code: fixed, corrected: fixed !== code }
  return { code, corrected: false }
}
