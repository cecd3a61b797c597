/**
 * One scan may arrive twice: a data terminal can both type it (keyboard wedge)
 * and send it through its native bridge. A code equal to the last accepted one
 * that comes from another channel shortly after is the same scan and is dropped.
 * The same channel repeating a code is a deliberate second scan and counts.
 */

export type ScanChannel = 'wedge' | 'native' | 'camera' | 'manual'

export const DUPLICATE_WINDOW_MS = 700

export interface ScanDeduplicator {
  /** True when the scan counts; false (and a console line) when it is the other channel's duplicate. */
  accept(code: string, channel: ScanChannel): boolean
}

export function createScanDeduplicator(
  now: () => number = () => Date.now(),
  log: (line: string) => void = (line) => console.info(line),
): ScanDeduplicator {
  let last: { code: string; channel: ScanChannel; at: number } | undefined
  return {
    accept(code, channel) {
      const at = now()
      if (last && last.code === code && last.channel !== channel && at - last.at <= DUPLICATE_WINDOW_MS) {
        log(`[scanner] дубль ${channel} — код уже принят каналом ${last.channel}, пропускаем`)
        return false
      }
      last = { code, channel, at }
      return true
    },
  }
}
