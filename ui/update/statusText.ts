/** The texts of the update facade: the check status and the action button's label. */
import type { UpdatePhase } from './checkPolicy'

export interface CheckStatusInput {
  busy: boolean
  /** start of the last check (ms), or null before any */
  checkedAt: number | null
  /** the version that check found (service or version file), or null when it found none */
  remote: string | null
  /** the newer version on offer, or null */
  newVersion: string | null
  current: string
}

/** "в 09:05": the local time of a check. */
export function checkTime(at: number): string {
  const d = new Date(at)
  return `в ${String(d.getHours()).padStart(2, '0')}:${String(d.getMinutes()).padStart(2, '0')}`
}

export function checkStatusText(s: CheckStatusInput): string {
  if (s.busy) return 'Проверяем…'
  if (s.checkedAt === null) return 'Обновления еще не проверялись'
  const when = checkTime(s.checkedAt)
  if (s.newVersion !== null) return `Доступна версия ${s.newVersion}, у вас ${s.current} (проверено ${when})`
  if (s.remote !== null) return `У вас последняя версия ${s.current} (проверено ${when})`
  return `Проверить не удалось ${when}: сервер с версиями не ответил. Подробности в отладочной консоли`
}

export function updateActionLabel(phase: UpdatePhase, progress: number | null): string {
  if (phase === 'downloading') return progress === null ? 'Скачиваем…' : `Скачиваем… ${progress}%`
  if (phase === 'ready') return 'Перезапустить'
  if (phase === 'error') return 'Попробовать снова'
  return 'Обновить'
}

export const RESTART_FAILED_TEXT =
  'Обновление установлено, но перезапустить приложение само не получилось. Закройте и откройте его самостоятельно.'
