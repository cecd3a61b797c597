import { createPinia, setActivePinia } from 'pinia'
import { beforeEach, describe, expect, it } from 'vitest'
import type { NetResponse } from '../core/netFetch'
import { useUpdateStore, type UpdateDeps } from './updateStore'
import type { DownloadEvent, FoundUpdate, UpdaterService } from './updaterService'

/** A host updater that answers what the test sets, and a version-file server. */
class Rig {
  now = 1_000_000_000
  found: FoundUpdate | null = null
  checkError: string | null = null
  downloadError: string | null = null
  /** the Started event's length */
  contentLength: number | null = 3_000_000
  checks = 0
  downloads = 0
  installs = 0
  restarts = 0
  restartError: string | null = null
  files: Record<string, string | number> = {}
  asked = false
  prefetch = false
  lines: string[] = []
  progress: Array<number | null> = []
  /** a download waits for this before it finishes, when set */
  gate: Promise<void> | null = null

  service: UpdaterService = {
    available: () => true,
    currentVersion: async () => '0.66.2',
    check: async () => {
      this.checks++
      if (this.checkError) throw new Error(this.checkError)
      return this.found
    },
    download: async (onEvent: (e: DownloadEvent) => void) => {
      this.downloads++
      onEvent({ event: 'Started', data: { contentLength: this.contentLength } })
      for (let i = 0; i < 3; i++) onEvent({ event: 'Progress', data: { chunkLength: 1_000_000 } })
      if (this.gate) await this.gate
      if (this.downloadError) throw new Error(this.downloadError)
      onEvent({ event: 'Finished' })
    },
    install: async () => {
      this.installs++
    },
    restart: async () => {
      this.restarts++
      if (this.restartError) throw new Error(this.restartError)
    },
    openUrl: async () => {},
  }

  deps(): UpdateDeps {
    return {
      service: this.service,
      getVersionFile: async (url: string): Promise<NetResponse> => {
        const name = new URL(url).pathname.split('/').pop() ?? ''
        const body = this.files[name]
        if (body === undefined) throw new Error('connection refused')
        const status = typeof body === 'number' ? body : 200
        const text = typeof body === 'string' ? body : ''
        return { ok: status < 300, status, text: async () => text, json: async () => JSON.parse(text), arrayBuffer: async () => new ArrayBuffer(0) }
      },
      now: () => this.now,
      log: (line) => this.lines.push(line),
      platform: () => 'linux',
      prefetchSetting: () => ({ asked: this.asked, enabled: this.prefetch }),
      savePrefetch: async (asked, enabled) => {
        this.asked = asked
        this.prefetch = enabled
      },
    }
  }
}

let rig: Rig
function store() {
  const s = useUpdateStore()
  s.useDeps(rig.deps())
  return s
}

beforeEach(() => {
  setActivePinia(createPinia())
  rig = new Rig()
})

describe('update check', () => {
  it.each([
    ['v0.70.0\n', '0.70.0', 'Доступна версия 0.70.0, у вас 0.66.2'],
    ['0.66.2-beta', null, 'Проверить не удалось'],
    ['0.66.2', null, 'У вас последняя версия 0.66.2'],
    ['0.66.10', '0.66.10', 'Доступна версия 0.66.10'],
  ])('the version file %j offers %s', async (body, offered, status) => {
    rig.files['version-linux.txt'] = body
    const s = store()
    await s.checkNow('manual')
    expect(s.newVersion).toBe(offered)
    expect(s.selfUpdateAvailable).toBe(false)
    expect(s.checkStatus).toContain(status)
  })

  it('tries version.txt after a failed version-linux.txt, and logs both', async () => {
    rig.checkError = 'error sending request: timed out'
    rig.files['version-linux.txt'] = 404
    rig.files['version.txt'] = '0.70.0'
    const s = store()
    await s.checkNow('manual')
    expect(s.newVersion).toBe('0.70.0')
    expect(rig.lines[0]).toMatch(/^\[appUpdate\] проверка плагином не удалась, пробую прежний способ: error sending request/)
    expect(rig.lines.some((l) => /version-linux\.txt\?t=\d+: ответ 404$/.test(l))).toBe(true)
    expect(rig.lines.at(-1)).toMatch(/^\[appUpdate\] на сервере 0\.70\.0 \(.*version\.txt\?t=\d+\)$/)
  })

  it('throttles by reason from the start of the previous check; a manual one always runs', async () => {
    rig.found = null
    rig.files['version.txt'] = '0.66.2'
    const s = store()
    await s.checkNow('screen')
    rig.now += 4 * 60_000
    await s.checkNow('focus')
    expect(rig.checks).toBe(1)
    await s.checkNow('manual')
    expect(rig.checks).toBe(2)
    rig.now += 5 * 60_000
    await s.checkNow('focus')
    expect(rig.checks).toBe(3)
  })

  it('joins a check that is already running', async () => {
    const s = store()
    const a = s.checkNow('manual')
    const b = s.checkNow('manual')
    await Promise.all([a, b])
    expect(rig.checks).toBe(1)
  })
})

describe('self-update', () => {
  beforeEach(() => {
    rig.found = { version: '0.70.0', notes: 'Что нового' }
    rig.asked = true
  })

  it('downloads with progress, installs, then restarts on the second press', async () => {
    const s = store()
    await s.checkNow('manual')
    expect(s.selfUpdateAvailable).toBe(true)
    expect(s.updateActionLabel).toBe('Обновить')
    await s.selfUpdateAction()
    expect(s.downloadProgress).toBe(100)
    expect(s.updatePhase).toBe('ready')
    expect(s.updateActionLabel).toBe('Перезапустить')
    expect(rig.installs).toBe(1)
    await s.selfUpdateAction()
    expect(rig.restarts).toBe(1)
  })

  it('without a content length shows progress as unknown and still completes', async () => {
    rig.contentLength = null
    let release = () => {}
    rig.gate = new Promise((r) => (release = r))
    const s = store()
    await s.checkNow('manual')
    const action = s.selfUpdateAction()
    await Promise.resolve()
    expect(s.updatePhase).toBe('downloading')
    expect(s.downloadProgress).toBeNull()
    expect(s.updateActionLabel).toBe('Скачиваем…')
    release()
    await action
    expect(s.updatePhase).toBe('ready')
  })

  it.each([
    ['operation timed out', 'нет сети'],
    ['подпись обновления не сошлась (signature verification failed)', 'подпись сборки не сошлась'],
  ])('a failure %j is shown as %s and offers a retry', async (error, reason) => {
    rig.downloadError = error
    const s = store()
    await s.checkNow('manual')
    await s.selfUpdateAction()
    expect(s.updatePhase).toBe('error')
    expect(s.updateErrorText).toBe(reason)
    expect(s.updateActionLabel).toBe('Попробовать снова')
    expect(rig.lines.at(-1)).toContain(error)
  })

  it('no check runs once an update is ready: a focus check finds nothing to offer again', async () => {
    const s = store()
    await s.checkNow('manual')
    await s.selfUpdateAction()
    expect(s.updatePhase).toBe('ready')
    rig.now += 60 * 60_000
    await s.checkNow('focus')
    await s.checkNow('timer')
    await s.checkNow('manual')
    expect(rig.checks).toBe(1)
    expect(s.updateActionLabel).toBe('Перезапустить')
    await s.selfUpdateAction()
    expect(rig.installs).toBe(1)
    expect(rig.restarts).toBe(1)
  })

  it('the retry after an error downloads once, even with prefetch on', async () => {
    rig.prefetch = true
    rig.downloadError = 'operation timed out'
    const s = store()
    await s.checkNow('manual') // prefetch starts and fails
    await Promise.resolve()
    await new Promise((r) => setTimeout(r, 0))
    expect(s.updatePhase).toBe('error')
    expect(rig.downloads).toBe(1)
    rig.downloadError = null
    await s.selfUpdateAction()
    expect(rig.downloads).toBe(2)
    expect(rig.installs).toBe(1)
    expect(s.updatePhase).toBe('ready')
    expect(s.prefetched).toBe(false)
  })

  it('a failed restart leaves the update installed and asks for a restart by hand', async () => {
    rig.restartError = 'spawn failed'
    const s = store()
    await s.checkNow('manual')
    await s.selfUpdateAction()
    await s.selfUpdateAction()
    expect(s.restartFailedText).toBe(
      'Обновление установлено, но перезапустить приложение само не получилось. Закройте и откройте его самостоятельно.',
    )
    expect(s.updatePhase).toBe('ready')
  })
})

describe('prefetch', () => {
  beforeEach(() => {
    rig.found = { version: '0.70.0', notes: null }
  })

  it('asks once; "yes" is stored and downloads at once; the button then installs and restarts', async () => {
    const s = store()
    await s.checkNow('manual')
    expect(s.askUpdatePrefetch).toBe(true)
    expect(rig.downloads).toBe(0)
    await s.answerUpdatePrefetch(true)
    await new Promise((r) => setTimeout(r, 0))
    expect([rig.asked, rig.prefetch]).toEqual([true, true])
    expect(rig.downloads).toBe(1)
    expect(rig.installs).toBe(0)
    expect(s.prefetched).toBe(true)
    expect(s.updatePhase).toBe('ready')
    expect(s.updateActionLabel).toBe('Перезапустить')
    await s.selfUpdateAction()
    expect(rig.installs).toBe(1)
    expect(rig.restarts).toBe(1)
  })

  it('"no" is stored and nothing downloads until the button', async () => {
    const s = store()
    await s.checkNow('manual')
    await s.answerUpdatePrefetch(false)
    expect([rig.asked, rig.prefetch]).toEqual([true, false])
    expect(rig.downloads).toBe(0)
    expect(s.updatePhase).toBe('idle')
  })

  it('an earlier "yes" prefetches after a check without asking', async () => {
    rig.asked = true
    rig.prefetch = true
    const s = store()
    await s.checkNow('manual')
    await new Promise((r) => setTimeout(r, 0))
    expect(s.askUpdatePrefetch).toBe(false)
    expect(s.updatePhase).toBe('ready')
    expect(s.prefetched).toBe(true)
  })
})
