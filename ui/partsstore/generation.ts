/**
 * A numbered series of names for generated cells and products: a prefix and
 * a range of numbers, zero-padded to the width of the typed start ("01" → 01,
 * 02 … 20). The service builds the same names from the same request.
 */
export const GENERATE_LIMIT = 200
export const WIDTH_LIMIT = 6

export interface SeriesRequest {
  prefix: string
  from: number
  to: number
  /** digits to pad each number to; 0 pads nothing */
  width: number
}

export type SeriesCheck = { ok: true; names: string[] } | { ok: false; text: string }

const wholeNumber = (n: number) => Number.isInteger(n) && n >= 0 && n <= 999_999

/** The names of a series, or why there are none. */
export function seriesNames(r: SeriesRequest): SeriesCheck {
  if (!wholeNumber(r.from) || !wholeNumber(r.to)) return { ok: false, text: 'Номера — целые числа от 0 до 999999' }
  if (r.to < r.from) return { ok: false, text: 'Последний номер меньше первого' }
  const count = r.to - r.from + 1
  if (count > GENERATE_LIMIT) return { ok: false, text: `Получится ${count} — это больше предела ${GENERATE_LIMIT} за один раз` }
  if (!Number.isInteger(r.width) || r.width < 0 || r.width > WIDTH_LIMIT) return { ok: false, text: `Ширина номера — от 0 до ${WIDTH_LIMIT} цифр` }
  // A trailing blank is part of the prefix: «Полка » gives «Полка 1».
  const prefix = r.prefix.trimStart()
  if (prefix.length > 60) return { ok: false, text: 'Начало названия длиннее 60 символов' }
  const names = Array.from({ length: count }, (_, i) => `${prefix}${String(r.from + i).padStart(r.width, '0')}`)
  return { ok: true, names }
}

/** The request from the typed fields; a start typed with a leading zero sets the width. */
export function seriesRequest(prefix: string, fromText: string, toText: string): SeriesRequest | { text: string } {
  const f = fromText.trim()
  const t = toText.trim()
  if (!/^\d{1,6}$/.test(f) || !/^\d{1,6}$/.test(t)) return { text: 'Номера — целые числа от 0 до 999999' }
  const width = f.length > 1 && f.startsWith('0') ? f.length : 0
  return { prefix, from: Number(f), to: Number(t), width }
}

/** The series from a payload, numbers defaulting to nothing valid. */
export function seriesOfPayload(p: Record<string, unknown>): SeriesRequest {
  const n = (v: unknown) => (typeof v === 'number' ? v : Number.NaN)
  return { prefix: typeof p.prefix === 'string' ? p.prefix : '', from: n(p.from), to: n(p.to), width: typeof p.width === 'number' ? p.width : 0 }
}
