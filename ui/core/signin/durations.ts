/**
 * Durations in the server's texts ("1h2m3s", "5m", "30s") rewritten in
 * Russian words with the right plural forms. Pure.
 */
import { ruPlural } from '../plural'

// Not glued to a letter, digit or point before, nor to a letter or digit after.
const DURATION = /(?<![\p{L}\p{N}.])(?:(\d+)h)?(?:(\d+)m)?(?:(\d+(?:\.\d+)?)s)?(?![\p{L}\p{N}])/gu

export function durationWords(hours: number, minutes: number, seconds: number): string {
  const parts: string[] = []
  if (hours > 0) parts.push(`${hours} ${ruPlural(hours, 'час', 'часа', 'часов')}`)
  if (minutes > 0) parts.push(`${minutes} ${ruPlural(minutes, 'минуту', 'минуты', 'минут')}`)
  if (seconds > 0 || parts.length === 0) parts.push(`${seconds} ${ruPlural(seconds, 'секунду', 'секунды', 'секунд')}`)
  return parts.join(' ')
}

/** The text with every duration in words; fractional seconds are rounded up. */
export function humaniseDurations(text: string): string {
  return text.replace(DURATION, (whole: string, h?: string, m?: string, s?: string) => {
    if (whole === '' || (h === undefined && m === undefined && s === undefined)) return whole
    return durationWords(Number(h ?? 0), Number(m ?? 0), Math.ceil(Number(s ?? 0)))
  })
}
