/** The processes of a running desktop app, for tests that kill it hard. */
import { readdirSync, readFileSync, readlinkSync } from 'node:fs'
import { EXECUTABLE, type Profile } from './desktopApp'
import { waitFor } from './wait'

/** The desktop process of this profile and every process under it (the web and network processes). */
export function appProcesses(profile: Profile): number[] {
  const parents = new Map<number, number>()
  let app: number | undefined
  for (const name of readdirSync('/proc')) {
    const pid = Number(name)
    if (!Number.isInteger(pid)) continue
    try {
      const stat = readFileSync(`/proc/${pid}/stat`, 'utf8')
      parents.set(pid, Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]))
      if (readlinkSync(`/proc/${pid}/exe`) !== EXECUTABLE) continue
      if (readFileSync(`/proc/${pid}/environ`, 'utf8').split('\0').includes(`HOME=${profile.root}`)) app = pid
    } catch {
      // gone meanwhile, or not ours to read
    }
  }
  if (app === undefined) return []
  const found = [app]
  for (let i = 0; i < found.length; i++) for (const [pid, ppid] of parents) if (ppid === found[i]) found.push(pid)
  return found
}

/** Still running: present and not a zombie waiting for its parent. */
export function running(pid: number): boolean {
  try {
    const stat = readFileSync(`/proc/${pid}/stat`, 'utf8')
    return stat.slice(stat.lastIndexOf(')') + 2, stat.lastIndexOf(')') + 3) !== 'Z'
  } catch {
    return false
  }
}

/** Kills the app of `profile` with SIGKILL, its web and network processes with it, and waits until they are gone. */
export async function killApp(profile: Profile): Promise<void> {
  const pids = appProcesses(profile)
  if (pids.length === 0) throw new Error(`no app runs on ${profile.root}`)
  for (const pid of pids) process.kill(pid, 'SIGKILL')
  await waitFor('the app to be gone', () => pids.every((pid) => !running(pid)))
}
