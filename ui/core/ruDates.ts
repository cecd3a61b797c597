/** Russian date words shared by the screens. Pure. */

/** Month names in the genitive ("5 марта"). */
export const MONTHS_GENITIVE = [
  'января',
  'февраля',
  'марта',
  'апреля',
  'мая',
  'июня',
  'июля',
  'августа',
  'сентября',
  'октября',
  'ноября',
  'декабря',
] as const

const two = (n: number) => String(n).padStart(2, '0')

/** "5 марта 2026, 09:15" in local time. */
export function longDateTime(ms: number): string {
  const d = new Date(ms)
  return `${d.getDate()} ${MONTHS_GENITIVE[d.getMonth()]} ${d.getFullYear()}, ${two(d.getHours())}:${two(d.getMinutes())}`
}
