import { describe, expect, it } from 'vitest'
import { existsSync, mkdirSync, writeFileSync } from 'node:fs'
import { dirname, join } from 'node:path'
import { findWindows } from './harness/display'
import { APP_ID, WINDOW_TITLE, invokeCli, launch, waitForLog } from './harness/desktopApp'
import { desktopSuite } from './harness/suite'
import { delay, waitFor } from './harness/wait'

const START = 'process start v0.66.2'
const SAFETY = 'окно показано страховкой через 3 с (страница не успела или не смогла сама)'
const isMount = (l: string) => l.startsWith('main: ')

const suite = desktopSuite()
const fresh = suite.fresh

const viewableWindow = () =>
  waitFor('the window to be viewable', async () => {
    const wins = await findWindows(suite.display().name, WINDOW_TITLE)
    return wins.length === 1 && wins[0]!.viewable ? wins[0] : undefined
  })

describe('desktop start', () => {
  it('the page shows its own window: start line, mount line, no safety line', async () => {
    const profile = fresh()
    const app = launch(profile, suite.display().name)
    try {
      await waitForLog(profile, isMount)
      const win = await viewableWindow()
      expect([win.width, win.height]).toEqual([1100, 800])
      // Past the safety timer: the page already showed the window, so it stays silent.
      await delay(3500)
      const lines = profile.logLines()
      expect(lines[0]).toBe(START)
      expect(lines).not.toContain(SAFETY)
    } finally {
      await app.stop()
    }
  })

  it('a page that never shows its window gets the safety show after the start line', async () => {
    const profile = fresh()
    const app = launch(profile, suite.display().name, ['--no-page-show'])
    try {
      const lines = await waitForLog(profile, (l) => l === SAFETY)
      expect(lines.indexOf(START)).toBeGreaterThanOrEqual(0)
      expect(lines.indexOf(START)).toBeLessThan(lines.indexOf(SAFETY))
      await viewableWindow()
    } finally {
      await app.stop()
    }
  })

  it('a second launch creates no window, exits, and brings the first window forward', async () => {
    const profile = fresh()
    // The first never shows its window itself; only the second launch can show it before 3 s.
    const first = launch(profile, suite.display().name, ['--no-page-show'])
    try {
      await waitForLog(profile, (l) => l === START)
      const second = launch(profile, suite.display().name, ['tsd-auth://pin/1234'])
      expect(await second.exited()).toBe(0)
      await viewableWindow()
      await delay(3500)
      expect(profile.logLines()).not.toContain(SAFETY)
      expect(await findWindows(suite.display().name, WINDOW_TITLE)).toHaveLength(1)
    } finally {
      await first.stop()
    }
  })

  it('starts even when the log folder cannot be created', async () => {
    const profile = fresh()
    const logs = join(profile.dataHome, APP_ID, 'logs')
    mkdirSync(dirname(logs), { recursive: true })
    writeFileSync(logs, 'a file where the log folder belongs')
    const app = launch(profile, suite.display().name)
    try {
      await viewableWindow()
      const invoked = await invokeCli(profile, 'append_app_log', JSON.stringify({ line: 'x' }))
      expect(invoked.code).toBe(1)
      expect(invoked.stderr).toMatch(/^Не удалось создать папку журналов: /)
    } finally {
      await app.stop()
    }
  })
})

describe('zorvik --invoke', () => {
  it('app_log_path prints the path and creates nothing', async () => {
    const profile = fresh()
    const r = await invokeCli(profile, 'app_log_path')
    expect(r.code).toBe(0)
    expect(JSON.parse(r.stdout.toString())).toBe(profile.logFile)
    expect(existsSync(join(profile.dataHome, APP_ID))).toBe(false)
  })

  it('an unknown command exits 1 with its not-found text', async () => {
    const r = await invokeCli(fresh(), 'nope')
    expect(r.code).toBe(1)
    expect(r.stderr.trim()).toBe('Command nope not found')
  })

  it('a wrongly typed argument is refused before the command runs', async () => {
    const profile = fresh()
    const r = await invokeCli(profile, 'append_app_log', '{"line": 5}')
    expect(r.code).toBe(1)
    expect(r.stderr).toContain('invalid args `line` for command `append_app_log`')
    expect(existsSync(profile.logFile)).toBe(false)
  })

  it('append_app_log writes one line and running_translated is false', async () => {
    const profile = fresh()
    expect((await invokeCli(profile, 'append_app_log', '{"line":"a\\nb"}')).code).toBe(0)
    expect(profile.logLines()).toEqual(['a b'])
    const t = await invokeCli(profile, 'running_translated')
    expect(t.stdout.toString().trim()).toBe('false')
  })
})
