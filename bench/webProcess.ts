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

/** Clock ticks per second of /proc/<pid>/stat (USER_HZ, 100 on Linux). */
const TICKS_PER_SECOND = 100

/** The processes started for a profile's app: the app itself and WebKit's web and network processes. */
function profileProcesses(profile: Profile): string[] {
  const found: string[] = []
  for (const pid of readdirSync('/proc').filter((p) => /^\d+$/.test(p))) {
    try {
      if (readFileSync(`/proc/${pid}/environ`, 'utf8').split('\0').includes(`XDG_DATA_HOME=${profile.dataHome}`)) found.push(pid)
    } catch {
      // a process that ended while we looked, or another user's
    }
  }
  return found
}

/**
 * CPU time (user and system, ms) the profile's app processes have used so far. The difference over an
 * interval is what the app spent on it in every process, the page's database writes in the network
 * process included, however busy the machine was.
 */
export function profileCpuMs(profile: Profile): number {
  let ticks = 0
  for (const pid of profileProcesses(profile)) {
    try {
      // The fields after the command name, which is in parentheses and may hold spaces.
      const stat = readFileSync(`/proc/${pid}/stat`, 'utf8')
      const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ')
      ticks += Number(fields[11]) + Number(fields[12])
    } catch {
      // ended meanwhile
    }
  }
  return (ticks * 1000) / TICKS_PER_SECOND
}
