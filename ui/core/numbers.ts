/**
 * Prices and quantities as Russian users read and type them: a decimal comma,
 * and digits grouped by threes with a narrow no-break space from five digits
 * up (a four-digit number stays whole: "1890,50 ₽", "12 500 ₽"). Typed numbers
 * may use a comma or a point and any spaces (plain, no-break, narrow, thin);
 * negative numbers are refused.
 */

/** The thousands separator: a narrow no-break space, so a number never breaks across lines. */
export const GROUP_SPACE = '\u202F'

/** `n` with at most `maxFraction` decimals (at least `minFraction`), a decimal comma and grouped digits. */
export function formatNumber(n: number, maxFraction: number, minFraction = 0): string {
  if (!Number.isFinite(n)) return ''
  const scale = 10 ** maxFraction
  const rounded = Math.round(Math.abs(n) * scale) / scale
  let [whole = '0', fraction = ''] = rounded.toFixed(maxFraction).split('.')
  fraction = fraction.replace(/0+$/u, '')
  if (fraction.length < minFraction) fraction = fraction.padEnd(minFraction, '0')
  const grouped = whole.length >= 5 ? whole.replace(/\B(?=(\d{3})+$)/gu, GROUP_SPACE) : whole
  const sign = n < 0 && rounded !== 0 ? '-' : ''
  return `${sign}${grouped}${fraction ? `,${fraction}` : ''}`
}

/** A price in roubles: two decimals and " ₽". */
export function formatPrice(rubles: number): string {
  return `${formatNumber(rubles, 2, 2)} ₽`
}

/** A quantity: whole units as they are, at most `maxFraction` decimals (3 unless told). */
export function formatQuantity(n: number, maxFraction = 3): string {
  return formatNumber(n, maxFraction)
}

export type ParsedNumber = { ok: true; value: number } | { ok: false; reason: 'empty' | 'negative' | 'invalid' | 'precision' }

/**
 * A number typed by a user: spaces of any kind are dropped, a comma or a point is the decimal separator (not
 * both), at most `maxFraction` decimals; a minus sign is refused as "negative".
 */
export function parseNumber(raw: string, maxFraction: number): ParsedNumber {
  const t = raw.replace(/[\s\u00A0\u2007\u2009\u202F]+/gu, '')
  if (t === '') return { ok: false, reason: 'empty' }
  if (/^[-\u2212]/u.test(t)) return { ok: false, reason: 'negative' }
  if (t.includes(',') && t.includes('.')) return { ok: false, reason: 'invalid' }
  const m = /^(\d+)(?:[.,](\d+))?$/u.exec(t)
  if (!m) return { ok: false, reason: 'invalid' }
  if ((m[2] ?? '').length > maxFraction) return { ok: false, reason: 'precision' }
  return { ok: true, value: Number(`${m[1]}.${m[2] ?? '0'}`) }
}
