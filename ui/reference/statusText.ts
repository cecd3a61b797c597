/**
 * The status line of the reference copy and its parts: the wait for the
 * server's queue, the age of the copy, its size, Russian digit grouping.
 */
import { ruPlural } from '../core/plural'

export interface AssortmentStatus {
  count: number
  lastSyncAt: number | null
  syncing: boolean
  /** seconds the server asked to wait, while waiting */
  waitingSec: number | null
  error: string | null
  /** approximate size of the copy */
  bytes: number
}

export const EMPTY_STATUS: AssortmentStatus = { count: 0, lastSyncAt: null, syncing: false, waitingSec: null, error: null, bytes: 0 }

/** 1234567 → "1 234 567" (a no-break space between groups of three digits). */
export function groupDigits(n: number): string {
  const s = String(Math.trunc(Math.abs(n)))
  const grouped = s.replace(/\B(?=(\d{3})+(?!\d))/g, '\u00a0')
  return n < 0 ? `-${grouped}` : grouped
}

export function waitingText(sec: number): string {
  const rest = sec < 90 ? 'меньше минуты' : `${groupDigits(Math.round(sec / 60))} мин`
  return `Справочник загружается, ждем очереди — еще ${rest}`
}

const MINUTE = 60_000
const HOUR = 60 * MINUTE
const DAY = 24 * HOUR

export function ageText(lastSyncAt: number | null, now: number): string {
  if (lastSyncAt === null) return 'время неизвестно'
  const ms = Math.max(0, now - lastSyncAt)
  if (ms < MINUTE) return 'только что'
  if (ms < HOUR) return `${groupDigits(Math.floor(ms / MINUTE))} мин назад`
  if (ms < DAY) return `${groupDigits(Math.floor(ms / HOUR))} ч назад`
  if (ms < 2 * DAY) return 'вчера'
  return `${groupDigits(Math.floor(ms / DAY))} дн назад`
}

/** "850 КБ", "12,4 МБ": one decimal below 100 units. */
export function sizeText(bytes: number): string {
  const units = ['Б', 'КБ', 'МБ', 'ГБ']
  let v = Math.max(0, bytes)
  let u = 0
  while (v >= 1024 && u < units.length - 1) {
    v /= 1024
    u++
  }
  const shown = u === 0 || v >= 100 ? groupDigits(Math.round(v)) : v.toFixed(1).replace('.', ',').replace(/,0$/, '')
  return `${shown} ${units[u]}`
}

const goods = (n: number) => `${groupDigits(n)} ${ruPlural(n, 'товар', 'товара', 'товаров')}`

export function assortmentStatusText(s: AssortmentStatus, now: number): string {
  if (s.waitingSec !== null) return waitingText(s.waitingSec)
  if (s.syncing) return s.count > 0 ? `Обновляем справочник, пока в нем ${goods(s.count)}` : 'Загружаем справочник…'
  if (s.error !== null) {
    return s.count > 0
      ? `Обновить не удалось: ${s.error}. Работаем по прежней копии, в ней ${goods(s.count)}`
      : `Справочник не загружен: ${s.error}`
  }
  if (s.count === 0) return 'Справочник еще не загружен — нажмите «Обновить справочник»'
  return `${goods(s.count)}, ${sizeText(s.bytes)}, обновлен ${ageText(s.lastSyncAt, now)}`
}
