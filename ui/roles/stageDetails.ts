/**
 * The stage details of one document (`documentStageGet`) and the document
 * header built from them: the stage text and the details line. Pure.
 */
import type { DocumentStage } from '../documents/records'

export interface StageDetails {
  stage: DocumentStage
  collector: string
  checker: string
  /** who checks it now; "—" when the server does not know */
  checking: string
  startedAt: string
  collectedAt: string
  checkedAt: string
  boxes: number
  shortfalls: number
  /** whose the names are, when the server says (`collectorId`, `checkerId`, or the ids of person records) */
  collectorId: string
  checkerId: string
}

const STAGES: readonly DocumentStage[] = ['new', 'collecting', 'collected', 'checked']

function name(v: unknown): string {
  if (typeof v === 'string') return v.trim()
  if (typeof v === 'object' && v !== null && typeof (v as { name?: unknown }).name === 'string') return (v as { name: string }).name.trim()
  return ''
}

function id(v: unknown, named: unknown): string {
  if (typeof v === 'string') return v.trim()
  if (typeof named === 'object' && named !== null && typeof (named as { id?: unknown }).id === 'string') return (named as { id: string }).id.trim()
  return ''
}

const time = (v: unknown) => (typeof v === 'string' ? v : typeof v === 'number' && Number.isFinite(v) ? new Date(v).toISOString() : '')
const count = (v: unknown) => (typeof v === 'number' && Number.isFinite(v) && v > 0 ? Math.floor(v) : 0)

export function normaliseStageDetails(raw: Record<string, unknown>): StageDetails {
  return {
    stage: STAGES.includes(raw.stage as DocumentStage) ? (raw.stage as DocumentStage) : 'new',
    collector: name(raw.collector),
    checker: name(raw.checker),
    checking: name(raw.checking),
    startedAt: time(raw.startedAt),
    collectedAt: time(raw.collectedAt),
    checkedAt: time(raw.checkedAt),
    boxes: count(raw.boxes),
    shortfalls: count(Array.isArray(raw.shortfalls) ? raw.shortfalls.length : raw.shortfalls),
    collectorId: id(raw.collectorId, raw.collector),
    checkerId: id(raw.checkerId, raw.checker),
  }
}

const two = (n: number) => String(n).padStart(2, '0')

/** "dd.mm hh:mm" of a server time; "" when it is not one. */
export function dayAndTime(value: string): string {
  if (!value) return ''
  const d = new Date(value)
  if (Number.isNaN(d.getTime())) return ''
  return `${two(d.getDate())}.${two(d.getMonth() + 1)} ${two(d.getHours())}:${two(d.getMinutes())}`
}

/** The header's stage text. */
export function stageText(d: StageDetails): string {
  const short = d.shortfalls > 0 ? ` (недобор: ${d.shortfalls})` : ''
  if (d.checking && d.stage !== 'checked') return d.checking === '—' ? 'Проверяется' : `Проверяется: ${d.checking}`
  switch (d.stage) {
    case 'collecting':
      return d.collector ? `Собирается: ${d.collector}` : 'Собирается'
    case 'collected':
      return `Собран, ждет проверки${short}`
    case 'checked':
      return `Проверен${short}`
    default:
      return 'Новый'
  }
}

/** The details joined by " · ": start, collected, checked, boxes. */
export function stageDetailsLine(d: StageDetails): string {
  const part = (label: string, who: string, at: string) => {
    const when = dayAndTime(at)
    return [label, who, when].filter(Boolean).join(' ')
  }
  const parts: string[] = []
  if (d.startedAt) parts.push(part('Сборка начата:', d.collector, d.startedAt))
  if (d.collectedAt) parts.push(part('Собран:', d.collector, d.collectedAt))
  if (d.checkedAt) parts.push(part('Проверен:', d.checker, d.checkedAt))
  if (d.boxes > 0) parts.push(`Коробок: ${d.boxes}`)
  return parts.join(' · ')
}
