/**
 * The registry of the account's remote printers as the print settings show
 * it: records read from the server, our registration against the system's
 * printers, one line per record and the summary. Pure.
 */
import { DAY_MS } from '../../core/localStore'
import { ruPlural } from '../../core/plural'
import { purposeShortText, sizeText } from '../printFormat'

/** Our registration (`print.registered` in the settings). */
export interface Registration {
  printerId: string
  name: string
  comment: string
}

/** One printer of the account's registry. */
export interface RegistryRecord {
  printerId: string
  name: string
  comment: string
  format: { widthMm: number; heightMm: number } | null
  purpose: string
  /** ms since 1970, or null when unknown */
  lastSeenAt: number | null
}

export type Tone = 'ok' | 'warning' | 'none'

const text = (v: unknown): string => (typeof v === 'string' ? v : typeof v === 'number' ? String(v) : '')
const positive = (v: unknown): v is number => typeof v === 'number' && Number.isFinite(v) && v > 0

/** The stored registration, or null when there is none (or it is unusable). */
export function readRegistration(value: unknown): Registration | null {
  if (typeof value !== 'object' || value === null) return null
  const v = value as Record<string, unknown>
  const printerId = text(v.printerId).trim()
  const name = text(v.name)
  if (printerId === '') return null
  return { printerId, name, comment: text(v.comment).trim() }
}

function time(v: unknown): number | null {
  if (typeof v === 'number' && Number.isFinite(v)) return v
  if (typeof v === 'string' && v.trim() !== '') {
    const t = Date.parse(v)
    return Number.isFinite(t) ? t : null
  }
  return null
}

/** A registry record from the server; undefined when it has no printer id. */
export function readRecord(value: unknown): RegistryRecord | undefined {
  if (typeof value !== 'object' || value === null) return undefined
  const v = value as Record<string, unknown>
  const printerId = text(v.printerId).trim()
  if (printerId === '') return undefined
  const f = (typeof v.format === 'object' && v.format !== null ? v.format : {}) as Record<string, unknown>
  return {
    printerId,
    name: text(v.name),
    comment: text(v.comment),
    format: positive(f.widthMm) && positive(f.heightMm) ? { widthMm: f.widthMm, heightMm: f.heightMm } : null,
    purpose: text(v.purpose),
    lastSeenAt: time(v.lastSeenAt),
  }
}

export interface StateLine {
  tone: Tone
  text: string
}

/** Our registration against the printers the system sees now. */
export function localState(registered: Registration | null, systemPrinters: readonly string[]): StateLine {
  if (!registered)
    return {
      tone: 'none',
      text: 'Удаленный принтер не включен: на этот принтер нельзя печатать с других компьютеров, а кнопка «Напечатать этикетку» в МоемСкладе будет неактивной. Печать из самого приложения от этого не зависит.',
    }
  if (!systemPrinters.includes(registered.name))
    return {
      tone: 'warning',
      text: `Зарегистрирован принтер «${registered.name}», но система его сейчас не видит. Проверьте, включен ли он и подключен ли к этому компьютеру: задания с других компьютеров и из МоегоСклада придут сюда, а печатать будет некому.`,
    }
  return {
    tone: 'ok',
    text: registered.comment
      ? `Из МоегоСклада печатаем на «${registered.name}» — ${registered.comment}.`
      : `Из МоегоСклада печатаем на «${registered.name}».`,
  }
}

/** "name — comment": how a record (a shop printer) is named to people. */
export function recordLabel(r: Pick<RegistryRecord, 'printerId' | 'name' | 'comment'>): string {
  return [r.name.trim() || `Принтер ${r.printerId}`, r.comment.trim()].filter(Boolean).join(' — ')
}

export interface RowView {
  printerId: string
  title: string
  note: string | null
  ours: boolean
}

export function rowView(r: RegistryRecord, registered: Registration | null, now: number): RowView {
  const details = [r.format ? sizeText(r.format.widthMm, r.format.heightMm) : '', purposeShortText(r.purpose) ?? ''].filter(Boolean)
  const title = recordLabel(r) + (details.length > 0 ? ` · ${details.join(' · ')}` : '')
  let note: string | null = null
  if (r.lastSeenAt !== null && now - r.lastSeenAt >= DAY_MS) {
    const days = Math.floor((now - r.lastSeenAt) / DAY_MS)
    note = `последняя регистрация ${days} ${ruPlural(days, 'день', 'дня', 'дней')} назад`
  }
  return { printerId: r.printerId, title, note, ours: registered !== null && r.printerId === registered.printerId }
}

export function registrySummary(records: readonly RegistryRecord[], registered: Registration | null): StateLine {
  if (records.length > 0) {
    if (registered && records.some((r) => r.printerId === registered.printerId))
      return { tone: 'ok', text: 'Кабинет видит этот принтер — кнопка «Напечатать этикетку» активна.' }
    if (registered)
      return {
        tone: 'warning',
        text: 'Кабинет не видит наш принтер: в реестре есть другие, а нашего нет. Скорее всего регистрацию сняли на другом устройстве — нажмите «Зарегистрировать» еще раз.',
      }
    return {
      tone: 'none',
      text: 'В кабинете принтер зарегистрирован, но не с этого компьютера — печатать будут на другом рабочем месте. Если того рабочего места больше нет, уберите его запись кнопкой «Убрать» — после этого можно зарегистрировать этот принтер.',
    }
  }
  if (registered)
    return {
      tone: 'warning',
      text: 'В кабинете нет ни одного принтера, хотя здесь регистрация есть. Кнопка «Напечатать этикетку» будет неактивной — зарегистрируйте принтер заново.',
    }
  return {
    tone: 'none',
    text: 'Удаленных принтеров нет — печатать с других компьютеров нельзя, кнопка «Напечатать этикетку» в МоемСкладе неактивна.',
  }
}
