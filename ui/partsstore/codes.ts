/**
 * Codes typed or scanned in the parts store: is it a barcode (typed directly
 * or with the keyboard in the Russian layout) or a name, and the folded forms
 * that names and barcodes are compared in.
 */

const BARCODE = /^[A-Za-z0-9-]{6,32}$/
const RUSSIAN_KEYS = /^[А-Яа-яЁё0-9\-.,;]+$/

/** Russian-layout key → the Latin key at the same place (lower case; capitals follow). */
const LAYOUT: Readonly<Record<string, string>> = {
  й: 'q', ц: 'w', у: 'e', к: 'r', е: 't', н: 'y', г: 'u', ш: 'i', щ: 'o', з: 'p', х: '[', ъ: ']',
  ф: 'a', ы: 's', в: 'd', а: 'f', п: 'g', р: 'h', о: 'j', л: 'k', д: 'l', ж: ';', э: "'",
  я: 'z', ч: 'x', с: 'c', м: 'v', и: 'b', т: 'n', ь: 'm', б: ',', ю: '.',
}

/** Cyrillic letters that look like Latin ones, folded to those. */
const LOOKALIKE: Readonly<Record<string, string>> = {
  а: 'a', в: 'b', е: 'e', к: 'k', м: 'm', н: 'h', о: 'o', р: 'p', с: 'c', т: 't', у: 'y', х: 'x',
}

export type CodeKind = 'barcode' | 'barcode-russian-layout' | 'name'

export interface ClassifiedCode {
  kind: CodeKind
  /** the trimmed text */
  text: string
  /** the barcode it stands for (the converted text for the Russian layout); null for a name */
  barcode: string | null
}

export function isBarcodeText(text: string): boolean {
  return BARCODE.test(text)
}

/** The keys of `text` read on the Latin layout; characters without a key stay. */
export function fromRussianLayout(text: string): string {
  let out = ''
  for (const ch of text) {
    const lower = ch.toLowerCase()
    const latin = LAYOUT[lower]
    if (latin === undefined) out += ch
    else out += ch !== lower ? latin.toUpperCase() : latin
  }
  return out
}

export function classifyCode(raw: string): ClassifiedCode {
  const text = raw.trim()
  if (isBarcodeText(text)) return { kind: 'barcode', text, barcode: text }
  if (RUSSIAN_KEYS.test(text)) {
    const converted = fromRussianLayout(text)
    if (isBarcodeText(converted)) return { kind: 'barcode-russian-layout', text, barcode: converted }
  }
  return { kind: 'name', text, barcode: null }
}

/** The codes a lookup tries, in order: the trimmed text, then its Latin-layout form when that differs. */
export function candidateCodes(raw: string): string[] {
  const text = raw.trim()
  const converted = fromRussianLayout(text)
  return converted !== text ? [text, converted] : [text]
}

/** Lower case with Cyrillic look-alikes folded to Latin letters. */
export function fold(text: string): string {
  let out = ''
  for (const ch of text.toLowerCase()) out += LOOKALIKE[ch] ?? ch
  return out
}

export function nameMatches(name: string, query: string): boolean {
  return fold(name).includes(fold(query))
}

/** A barcode that ends with the query (at least 2 characters, no white space). */
export function barcodeMatchesBySuffix(barcode: string | null | undefined, query: string): boolean {
  const q = query.trim()
  if (!barcode || q.length < 2 || /\s/.test(q)) return false
  return barcode.trim().toLowerCase().endsWith(q.toLowerCase())
}

/** Tries the candidate codes of `raw` in order and answers the first thing found. */
export async function lookUpFirst<T>(raw: string, find: (code: string) => Promise<T | null | undefined>): Promise<T | null> {
  for (const code of candidateCodes(raw)) {
    const found = await find(code)
    if (found !== null && found !== undefined) return found
  }
  return null
}
