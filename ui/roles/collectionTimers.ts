/**
 * When a document in collection starts or leaves its collector by itself:
 * the automatic start on opening, the automatic release after a long pause
 * without scans (checked every minute), and the release on leaving the screen.
 */
import type { DocumentRecord } from '../documents/records'
import type { DocumentAccess } from './access'
import { ownDocument } from './access'
import type { RolesSettings } from './rolesSettings'
import { workingRole, type RoleState } from './roleState'
import { documentStage } from './stages'

export const AUTO_RELEASE_CHECK_MS = 60_000
export const AUTO_RELEASE_LOG = '[документ] долго без сканов — снимаем со сборщика'

/** What the picker reads on the list after an automatic release (his draft stays on the device). */
export function autoReleasedText(minutes: number): string {
  return `Документ освобожден: не было сканов ${minutes} мин`
}
const MINUTE_MS = 60_000

/** Minutes without work since the later of opening and the last scan reached the setting (0 switches it off). */
export function autoReleaseDue(o: { openedAt: number; lastScanAt: number; now: number; minutes: number }): boolean {
  if (!(o.minutes > 0)) return false
  const since = Math.max(o.openedAt, o.lastScanAt || 0)
  return o.now - since >= o.minutes * MINUTE_MS
}

type StageDoc = Pick<DocumentRecord, 'stage' | 'status' | 'collector'>

/** This employee collects the document now (roles on, in collection, his own). */
export function collectingHere(doc: StageDoc, role: RoleState): boolean {
  return role.enabled && doc.stage !== undefined && documentStage(doc) === 'collecting' && ownDocument(doc, role.selfId) !== false
}

/** The automatic start on opening: the setting on, a collector, a document not yet in collection that may be started. */
export function autoStartWanted(o: { autoStartAssembly: boolean; role: RoleState; doc: StageDoc; access: DocumentAccess }): boolean {
  return (
    o.autoStartAssembly &&
    o.role.enabled &&
    workingRole(o.role) === 'collector' &&
    o.doc.stage !== undefined &&
    documentStage(o.doc) === 'new' &&
    o.access.open === 'work' &&
    o.access.canStart
  )
}

/** Leaving the screen releases the document: `releaseOnExit`, collect mode, and this employee collects it. */
export function releaseOnExitWanted(o: { settings: RolesSettings; role: RoleState; checkMode: boolean; doc: StageDoc }): boolean {
  return o.settings.releaseOnExit && !o.checkMode && collectingHere(o.doc, o.role)
}

export interface AutoReleaseDeps {
  /** whether the open document is this employee's and in collection, and nothing else is running */
  watching(): boolean
  openedAt(): number
  lastScanAt(): number
  minutes(): number
  now(): number
  /** sends the release; a failure is only logged, and the next minute tries again */
  release(): Promise<void>
  log?(line: string, err?: unknown): void
  every?: number
}

/** The minute timer of the automatic release; `stop` ends it. */
export function startAutoRelease(deps: AutoReleaseDeps): { stop(): void; tick(): Promise<void> } {
  const log = deps.log ?? ((line: string, err?: unknown) => (err === undefined ? console.info(line) : console.warn(line, err)))
  let busy = false
  let stopped = false
  async function tick() {
    if (busy || stopped || !deps.watching()) return
    if (!autoReleaseDue({ openedAt: deps.openedAt(), lastScanAt: deps.lastScanAt(), now: deps.now(), minutes: deps.minutes() })) return
    busy = true
    log(AUTO_RELEASE_LOG)
    try {
      await deps.release()
    } catch (err) {
      log('[документ] автоматически снять не удалось, попробуем через минуту:', err)
    } finally {
      busy = false
    }
  }
  const timer = setInterval(() => void tick(), deps.every ?? AUTO_RELEASE_CHECK_MS)
  return {
    stop() {
      stopped = true
      clearInterval(timer)
    },
    tick,
  }
}
