/** The memory of the WebKit web process that serves a profile's page, read from /proc (KiB; 0 when not found). */
import { readdirSync, readFileSync } from 'node:fs'
import type { Profile } from '../tests/e2e/harness/desktopApp'

function webProcessOf(profile: Profile): string | undefined {
  for (const pid of readdirSync('/proc').filter((p) => /^\d+$/.test(p))) {
    try {
      if (!readFileSync(`/proc/${pid}/comm`, 'utf8').startsWith('WebKitWebProces')) continue
      if (readFileSync(`/proc/${pid}/environ`, 'utf8').split('\0').includes(`XDG_DATA_HOME=${profile.dataHome}`)) return pid
    } catch {
      // a process that ended while we looked
    }
  }
  return undefined
}

function kib(file: string, key: string): number {
  return Number(new RegExp(`^${key}:\\s+(\\d+)`, 'm').exec(readFileSync(file, 'utf8'))?.[1] ?? 0)
}

export function webProcessRssKiB(profile: Profile): number {
  const pid = webProcessOf(profile)
  try {
    return pid ? kib(`/proc/${pid}/status`, 'VmRSS') : 0
  } catch {
    return 0
  }
}

/** Resident, proportional and private memory of the web process. */
export function webProcessMemory(profile: Profile): { rss: number; pss: number; private: number } {
  const pid = webProcessOf(profile)
  try {
    if (!pid) return { rss: 0, pss: 0, private: 0 }
    const rollup = `/proc/${pid}/smaps_rollup`
    return {
      rss: kib(`/proc/${pid}/status`, 'VmRSS'),
      pss: kib(rollup, 'Pss'),
      private: kib(rollup, 'Private_Clean') + kib(rollup, 'Private_Dirty'),
    }
  } catch {
    return { rss: 0, pss: 0, private: 0 }
  }
}
