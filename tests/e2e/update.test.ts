// Updates of the installed app against the stand-in: the bundle `make package` makes is installed with its
// install.sh into a temporary home; the stand-in offers the same build repackaged as 0.70.0. The app shows
// the new version, downloads it with progress, installs it beside the running one and restarts into it; a
// bundle whose signature does not match is refused and the old version keeps running; so is an old build,
// validly signed, that the server offers under a newer version.
import { execFileSync } from 'node:child_process'
import { copyFileSync, existsSync, mkdirSync, mkdtempSync, readdirSync, readFileSync, readlinkSync, rmSync } from 'node:fs'
import { tmpdir } from 'node:os'
import { join } from 'node:path'
import { afterAll, beforeAll, describe, expect, it } from 'vitest'
import { StandIn } from '../../ui/core/testing/standIn'
import { APP_ID, Profile, ROOT, waitForLog } from './harness/desktopApp'
import { startDisplay, type Display } from './harness/display'
import { restartAsDevice } from './harness/standInApp'
import { waitFor } from './harness/wait'
import { Session } from './harness/webdriver'

const MAKE_PACKAGE = join(ROOT, 'packaging', 'linux', 'make-package')
const ARCH = execFileSync('uname', ['-m']).toString().trim()

let display: Display
let standIn: StandIn
let work: string
const profiles: Profile[] = []

beforeAll(async () => {
  display = await startDisplay()
  standIn = await StandIn.start()
  work = mkdtempSync(join(tmpdir(), 'zorvik-update-e2e-'))
  // The build as it is, and the same build repackaged as a newer version: nothing is compiled again.
  execFileSync(MAKE_PACKAGE, ['--out', join(work, 'current')], { stdio: 'pipe' })
  execFileSync(MAKE_PACKAGE, ['--version', '0.70.0', '--out', join(work, 'releases')], { stdio: 'pipe' })
  // An old build, validly signed as 0.0.1, put where the server offers it as 99.0.0.
  execFileSync(MAKE_PACKAGE, ['--version', '0.0.1', '--out', join(work, 'old')], { stdio: 'pipe' })
  mkdirSync(join(work, 'passed-off'))
  for (const suffix of ['.tar.gz', '.tar.gz.minisig'])
    copyFileSync(join(work, 'old', `zorvik-0.0.1-linux-${ARCH}${suffix}`), join(work, 'passed-off', `zorvik-99.0.0-linux-${ARCH}${suffix}`))
  await standIn.control('POST', '/update-files', { reset: true, dir: join(work, 'releases') })
  // The app's updater asks this stand-in (local builds only).
  process.env.ZORVIK_TEST_UPDATE_ENDPOINT = `${standIn.url}/docs/download/desktop/latest-{{target}}-{{arch}}.json`
}, 120_000)

afterAll(async () => {
  delete process.env.ZORVIK_TEST_UPDATE_ENDPOINT
  await standIn?.close()
  await display?.stop()
  for (const p of profiles) p.remove()
  if (work) rmSync(work, { recursive: true, force: true })
})

/** A fresh home with the current bundle installed by its install.sh; answers the install root. */
function installFresh(): { profile: Profile; root: string; output: string } {
  const profile = new Profile()
  profiles.push(profile)
  const unpacked = join(profile.root, 'bundle')
  execFileSync('mkdir', ['-p', unpacked])
  const bundle = readdirSync(join(work, 'current')).find((f) => f.endsWith('.tar.gz'))!
  execFileSync('tar', ['-xzf', join(work, 'current', bundle), '-C', unpacked])
  const folder = readdirSync(unpacked)[0] ?? ''
  const output = execFileSync(join(unpacked, folder, 'install.sh'), { env: profile.env(''), stdio: 'pipe' }).toString()
  return { profile, root: join(profile.dataHome, APP_ID, 'app'), output }
}

/** Processes whose program lies under `root` (the app restarted by itself, which no driver owns). */
function processesUnder(root: string): number[] {
  const pids: number[] = []
  for (const entry of readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue
    try {
      if (readlinkSync(`/proc/${entry}/exe`).startsWith(root)) pids.push(Number(entry))
    } catch {
      // gone, or not ours to read
    }
  }
  return pids
}

async function openInstalled(root: string, profile: Profile): Promise<Session> {
  const session = await Session.start(profile, display.name, [], join(root, 'current', 'zorvik'))
  const device = await standIn.mint('u-oleg')
  await restartAsDevice(session, standIn, device.token)
  await session.execute('location.hash = "#/menu"')
  return session
}

describe('application update', () => {
  it('installs with one command, then updates itself to the newer bundle and restarts into it', async () => {
    const { profile, root, output } = installFresh()
    expect(output).toContain('Зорвик 0.66.2 installed')
    expect(readlinkSync(join(root, 'current'))).toBe('versions/0.66.2')
    const entry = readFileSync(join(profile.dataHome, 'applications', `${APP_ID}.desktop`), 'utf8')
    expect(entry).toContain(`Exec="${join(root, 'current', 'zorvik')}" %u`)
    expect(entry).toContain('MimeType=x-scheme-handler/zorvik;x-scheme-handler/tsd-auth;')

    const session = await openInstalled(root, profile)
    try {
      expect(await session.waitForText('[data-test="update-title"]', (t) => t.includes('0.70.0'), 30_000)).toBe('🆕 Доступна версия 0.70.0')
      await session.click(await session.find('[data-test="update-prefetch-question"] [data-test="confirm-no"]'))
      // Every progress value the banner shows is kept for a look afterwards.
      await session.execute(`
        window.__zvProgress = []
        new MutationObserver(() => {
          const bar = document.querySelector('[data-test="update-progress"]')
          if (bar) window.__zvProgress.push(bar.dataset.progress)
        }).observe(document.body, { subtree: true, childList: true, attributes: true })`)
      await session.click(await session.find('[data-test="update-action"]'))
      expect(await session.waitForText('[data-test="update-title"]', (t) => t === 'Обновление готово', 60_000)).toBe('Обновление готово')
      const progress = await session.execute<string[]>('return window.__zvProgress')
      const percents = progress.filter((p) => p !== '').map(Number)
      expect(percents.length).toBeGreaterThan(0)
      expect(percents.every((p) => p >= 0 && p <= 100)).toBe(true)
      expect(readlinkSync(join(root, 'current'))).toBe('versions/0.70.0')
      expect(await session.text(await session.find('[data-test="update-action"]'))).toBe('Перезапустить')

      // The window goes away with the old process, so the click may not be answered.
      await session.click(await session.find('[data-test="update-action"]')).catch(() => {})
      const lines = await waitForLog(profile, (l) => l === 'process start v0.70.0', 30_000)
      expect(lines.filter((l) => l.startsWith('process start'))).toEqual(['process start v0.66.2', 'process start v0.70.0'])
      const running = await waitFor('the new version to run', () => {
        const pids = processesUnder(join(root, 'versions', '0.70.0'))
        return pids.length > 0 ? pids : undefined
      })
      for (const pid of running) process.kill(pid, 'SIGTERM')
    } finally {
      await session.close().catch(() => {})
      for (const pid of processesUnder(root)) process.kill(pid, 'SIGTERM')
    }
  }, 240_000)

  it('refuses a bundle whose signature does not match, and the old version keeps running', async () => {
    const { profile, root } = installFresh()
    await standIn.control('POST', '/update-files', { brokenSignature: true })
    const session = await openInstalled(root, profile)
    try {
      await session.waitForText('[data-test="update-title"]', (t) => t.includes('0.70.0'), 30_000)
      await session.click(await session.find('[data-test="update-prefetch-question"] [data-test="confirm-no"]'))
      await session.click(await session.find('[data-test="update-action"]'))
      const error = await session.waitForText('[data-test="update-error"]', () => true, 60_000)
      expect(error.replace(/\s+/g, ' ').trim()).toBe('Не удалось обновить: подпись сборки не сошлась. Скачать установщик')
      expect(await session.text(await session.find('[data-test="update-action"]'))).toBe('Попробовать снова')
      expect(readlinkSync(join(root, 'current'))).toBe('versions/0.66.2')
      expect(readdirSync(join(root, 'versions'))).toEqual(['0.66.2'])
      // Still the same window of the old version.
      expect(await session.execute<string>('return document.querySelector(\'[data-test="menu-title"]\').textContent')).toBe('Зорвик')
      expect(profile.logLines().filter((l) => l.startsWith('process start'))).toEqual(['process start v0.66.2'])
      expect(existsSync(join(profile.cacheHome, APP_ID, 'update')) ? readdirSync(join(profile.cacheHome, APP_ID, 'update')) : []).toEqual([])
    } finally {
      await standIn.control('POST', '/update-files', { brokenSignature: false })
      await session.close().catch(() => {})
      for (const pid of processesUnder(root)) process.kill(pid, 'SIGTERM')
    }
  }, 240_000)

  it('refuses an old signed build offered as a newer version, and the installed version keeps starting', async () => {
    const { profile, root } = installFresh()
    await standIn.control('POST', '/update-files', { dir: join(work, 'passed-off') })
    try {
      const session = await openInstalled(root, profile)
      try {
        await session.waitForText('[data-test="update-title"]', (t) => t.includes('99.0.0'), 30_000)
        await session.click(await session.find('[data-test="update-prefetch-question"] [data-test="confirm-no"]'))
        await session.click(await session.find('[data-test="update-action"]'))
        const error = await session.waitForText('[data-test="update-error"]', () => true, 60_000)
        expect(error.replace(/\s+/g, ' ').trim()).toBe(
          'Не удалось обновить: сборка подписана как версия 0.0.1, а сервер выдает ее за 99.0.0. Скачать установщик',
        )
        expect(readlinkSync(join(root, 'current'))).toBe('versions/0.66.2')
        expect(readdirSync(join(root, 'versions'))).toEqual(['0.66.2'])
        expect(existsSync(join(profile.cacheHome, APP_ID, 'update')) ? readdirSync(join(profile.cacheHome, APP_ID, 'update')) : []).toEqual([])
      } finally {
        await session.close().catch(() => {})
        for (const pid of processesUnder(root)) process.kill(pid, 'SIGTERM')
      }
      // Started again, the installed version is the one that runs.
      const again = await openInstalled(root, profile)
      try {
        expect(await again.execute<string>('return document.querySelector(\'[data-test="menu-title"]\').textContent')).toBe('Зорвик')
        const starts = await waitForLog(profile, (l) => l === 'process start v0.66.2' && profile.logLines().filter((x) => x === l).length === 2, 30_000)
        expect(starts.filter((l) => l.startsWith('process start'))).toEqual(['process start v0.66.2', 'process start v0.66.2'])
        expect(readlinkSync(join(root, 'current'))).toBe('versions/0.66.2')
      } finally {
        await again.close().catch(() => {})
        for (const pid of processesUnder(root)) process.kill(pid, 'SIGTERM')
      }
    } finally {
      await standIn.control('POST', '/update-files', { dir: join(work, 'releases') })
    }
  }, 240_000)
})
