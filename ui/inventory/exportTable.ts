/**
 * The inventory export table: ";" between fields, quoted fields where needed, CR LF line ends. Text
 * cells that a spreadsheet program would take for a formula (a scanned code or a note beginning with
 * =, +, - or @, or with a tab or a carriage return in front of one) get a leading apostrophe; numbers stay
 * numbers.
 */
import { writeTable } from '../partsstore/csvTable'
import type { Scan, Session } from './records'

export const EXPORT_COLUMNS = [
  '№', 'Код', 'Код (нормализованный)', 'Время скана', 'Кто сканировал', 'Источник', 'Количество', 'Ячейка',
  'Наименование из каталога', 'GTIN', 'Наименование из Реестра', 'Бренд', 'Заметка', 'Фото', 'Папка фото в архиве',
] as const

export type Cell = string | number

/** A text cell made safe from formula evaluation; numbers pass as they are. */
export const safeCell = (v: Cell): string => (typeof v === 'number' ? String(v) : /^[=+\-@\t\r]/.test(v) ? `'${v}` : v)

const SOURCE_TEXT = { camera: 'Камера', manual: 'Вручную', scanner: 'Сканер' } as const

/** The folder of a unit's photos inside the archive. */
export function photoFolder(s: Pick<Scan, 'unitNo' | 'id' | 'code'>): string {
  const digits = (s.unitNo ?? '').replace(/\D/g, '')
  const num = digits !== '' ? digits.padStart(6, '0') : s.id !== null ? String(s.id).padStart(6, '0') : '000000'
  const code = s.code.replace(/[^\p{L}\p{N}_-]/gu, '').slice(0, 48) || 'nekod'
  return `${num}-${code}`
}

/** Scans ordered by id, those without one last in their own order. */
export function exportOrder<T extends Pick<Scan, 'id'>>(scans: readonly T[]): T[] {
  const withId = scans.filter((s) => s.id !== null).sort((a, b) => a.id! - b.id!)
  return [...withId, ...scans.filter((s) => s.id === null)]
}

export function exportRows(scans: readonly Scan[]): Cell[][] {
  return exportOrder(scans).map((s, i) => [
    s.unitNo ?? i + 1,
    s.code,
    s.codeNorm,
    scanTime(s.scannedAt),
    s.userName || s.deviceName || s.userId,
    SOURCE_TEXT[s.source],
    s.qty,
    s.cellId ?? '',
    s.match.name ?? '',
    s.registry?.gtin ?? '',
    s.registry?.name ?? '',
    s.registry?.brand ?? '',
    s.note,
    s.photos,
    s.photos > 0 ? photoFolder(s) : '',
  ])
}

/** The whole table as text. */
export function exportCsv(scans: readonly Scan[]): string {
  return writeTable([[...EXPORT_COLUMNS], ...exportRows(scans).map((r) => r.map(safeCell))])
}

const pad = (n: number) => String(n).padStart(2, '0')
/** "inventarizaciya-DD.MM.YYYY.csv" (one session) or "inventarizacii-…" (all). */
export function exportFileName(now: Date, all = false): string {
  return `${all ? 'inventarizacii' : 'inventarizaciya'}-${pad(now.getDate())}.${pad(now.getMonth() + 1)}.${now.getFullYear()}.csv`
}

/** DD.MM.YYYY HH:MM of an ISO time (local clock); "" when there is none. */
export function exportDate(iso: string | null): string {
  const d = iso ? new Date(iso) : null
  if (!d || Number.isNaN(d.getTime())) return ''
  return `${pad(d.getDate())}.${pad(d.getMonth() + 1)}.${d.getFullYear()} ${pad(d.getHours())}:${pad(d.getMinutes())}`
}

/** "DD.MM.YYYY HH:MM:SS" of an ISO time on the local clock; a time that cannot be read stays as it is. */
export function scanTime(iso: string): string {
  const d = iso ? new Date(iso) : null
  if (!d || Number.isNaN(d.getTime())) return iso
  return `${exportDate(iso)}:${pad(d.getSeconds())}`
}

/** The table of several sessions: the session's name, start and close in front of every row. */
export function exportAllCsv(sessions: ReadonlyArray<{ session: Session; scans: readonly Scan[] }>): string {
  const rows: Cell[][] = [['Инвентаризация', 'Начата', 'Закрыта', ...EXPORT_COLUMNS]]
  for (const { session, scans } of sessions) {
    for (const r of exportRows(scans)) rows.push([session.name, exportDate(session.startedAt), exportDate(session.closedAt), ...r])
  }
  return writeTable(rows.map((r) => r.map(safeCell)))
}
