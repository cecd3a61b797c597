/**
 * The update state of the page and its actions: checks (with reasons and
 * throttles), the version-file fallback, the self-update action, the prefetch
 * question and rule, progress and failures. Screens use it through
 * `useUpdateFacade`.
 */
import { defineStore } from 'pinia'
import { computed, reactive, ref } from 'vue'
import { writeAppLog } from '../core/appLog'
import { errorText } from '../core/bridge'
import type { NetResponse } from '../core/netFetch'
import { useSettingsStore } from '../core/settings'
import { checkDecision, type CheckReason, type UpdatePhase } from './checkPolicy'
import { classifyUpdateError } from './failure'
import { ProgressMeter } from './progress'
import { checkStatusText, RESTART_FAILED_TEXT, updateActionLabel } from './statusText'
import { hostUpdaterService, type UpdaterService } from './updaterService'
import { currentPlatform, installerUrl, versionFileUrls } from './updateUrls'
import { defaultVersionFileGet, readVersionFile } from './versionFile'
import { isNewerVersion } from './versions'

export interface UpdateDeps {
  service: UpdaterService
  getVersionFile(url: string): Promise<NetResponse>
  now(): number
  log(line: string): void
  platform(): string
  prefetchSetting(): { asked: boolean; enabled: boolean }
  savePrefetch(asked: boolean, enabled: boolean): Promise<void>
}

function logLine(line: string): void {
  console.info(line)
  writeAppLog(line)
}

export const useUpdateStore = defineStore('appUpdate', () => {
  let deps: UpdateDeps | undefined
  function useDeps(d: UpdateDeps) {
    deps = d
  }
  function d(): UpdateDeps {
    if (deps) return deps
    const settings = useSettingsStore()
    deps = {
      service: hostUpdaterService(),
      getVersionFile: defaultVersionFileGet(logLine),
      now: () => Date.now(),
      log: logLine,
      platform: currentPlatform,
      prefetchSetting: () => ({ asked: settings.work.updatePrefetchAsked, enabled: settings.work.updatePrefetch }),
      savePrefetch: async (asked, enabled) => {
        settings.applySettings({ work: { updatePrefetchAsked: asked, updatePrefetch: enabled } })
        await settings.saveDeviceSettings()
      },
    }
    return deps
  }

  const newVersion = ref<string | null>(null)
  const updateNote = ref<string | null>(null)
  const selfUpdateAvailable = ref(false)
  const updatePhase = ref<UpdatePhase>('idle')
  const downloadProgress = ref<number | null>(null)
  const updateErrorText = ref<string | null>(null)
  const lastCheck = reactive<{ at: number | null; version: string | null; busy: boolean }>({ at: null, version: null, busy: false })
  const prefetched = ref(false)
  const askUpdatePrefetch = ref(false)
  const restartFailedText = ref<string | null>(null)
  const currentVersion = ref(__ZORVIK_VERSION__)
  let running: Promise<void> | undefined
  let versionAsked = false

  const checkBusy = computed(() => lastCheck.busy)
  const checkStatus = computed(() =>
    checkStatusText({
      busy: lastCheck.busy,
      checkedAt: lastCheck.at,
      remote: lastCheck.version,
      newVersion: newVersion.value,
      current: currentVersion.value,
    }),
  )
  const updateActionLabelText = computed(() => updateActionLabel(updatePhase.value, downloadProgress.value))
  const downloadUrl = computed(() => installerUrl(d().platform(), newVersion.value))
  const updatePrefetchEnabled = computed(() => d().prefetchSetting().enabled)

  /** Checks for an update; `applyPrefetch` false leaves the prefetch rule out (the retry after an error). */
  function checkNow(reason: CheckReason = 'manual', applyPrefetch = true): Promise<void> {
    const decision = checkDecision(
      reason,
      { phase: updatePhase.value, busy: lastCheck.busy, lastStartedAt: lastCheck.at },
      d().now(),
    )
    if (decision === 'skip') return Promise.resolve()
    if (decision === 'join' && running) return running
    running = runCheck(applyPrefetch).finally(() => {
      running = undefined
    })
    return running
  }

  async function runCheck(applyPrefetch: boolean): Promise<void> {
    const { service, log } = d()
    lastCheck.busy = true
    lastCheck.at = d().now()
    lastCheck.version = null
    try {
      if (!versionAsked) {
        versionAsked = true
        currentVersion.value = await service.currentVersion().catch(() => currentVersion.value)
      }
      if (service.available()) {
        try {
          const found = await service.check()
          if (found) {
            newVersion.value = found.version
            updateNote.value = found.notes
            selfUpdateAvailable.value = true
            updatePhase.value = 'idle'
            updateErrorText.value = null
            lastCheck.version = found.version
            lastCheck.busy = false
            if (applyPrefetch) applyPrefetchRule()
            return
          }
        } catch (err) {
          log(`[appUpdate] проверка плагином не удалась, пробую прежний способ: ${errorText(err)}`)
        }
      }
      selfUpdateAvailable.value = false
      const remote = await readVersionFile(versionFileUrls(d().platform(), d().now()), {
        get: (url) => d().getVersionFile(url),
        log,
      })
      lastCheck.version = remote
      newVersion.value = remote !== null && isNewerVersion(remote, currentVersion.value) ? remote : null
      if (newVersion.value === null) updateNote.value = null
    } finally {
      lastCheck.busy = false
    }
  }

  function applyPrefetchRule() {
    const { asked, enabled } = d().prefetchSetting()
    if (!asked) {
      askUpdatePrefetch.value = true
      return
    }
    if (enabled) void startPrefetch()
  }

  async function answerUpdatePrefetch(yes: boolean): Promise<void> {
    askUpdatePrefetch.value = false
    await d().savePrefetch(true, yes)
    if (yes && selfUpdateAvailable.value && updatePhase.value === 'idle') void startPrefetch()
  }

  async function setUpdatePrefetch(enabled: boolean): Promise<void> {
    await d().savePrefetch(true, enabled)
  }

  function fail(err: unknown) {
    const text = errorText(err)
    updatePhase.value = 'error'
    updateErrorText.value = classifyUpdateError(text)
    d().log(`[appUpdate] обновление не удалось: ${text}`)
  }

  async function download(): Promise<void> {
    const meter = new ProgressMeter((p) => (downloadProgress.value = p))
    await d().service.download((e) => {
      if (e.event === 'Started') meter.started(e.data.contentLength)
      else if (e.event === 'Progress') meter.chunk(e.data.chunkLength)
    })
  }

  /**
   * Downloads the update; with `install` installs it too. Without, the update
   * waits downloaded (prefetched) for the button.
   */
  async function fetchUpdate(install: boolean): Promise<void> {
    if (updatePhase.value === 'downloading' || updatePhase.value === 'ready') return
    updatePhase.value = 'downloading'
    downloadProgress.value = null
    try {
      await download()
      if (install) await d().service.install()
      prefetched.value = !install
      updatePhase.value = 'ready'
    } catch (err) {
      fail(err)
    }
  }
  const startPrefetch = () => fetchUpdate(false)
  const downloadAndInstall = () => fetchUpdate(true)

  async function restart(): Promise<void> {
    try {
      await d().service.restart()
    } catch (err) {
      d().log(`[appUpdate] перезапуск не удался: ${errorText(err)}`)
      restartFailedText.value = RESTART_FAILED_TEXT
    }
  }

  /** The one button of the banner. */
  async function selfUpdateAction(): Promise<void> {
    switch (updatePhase.value) {
      case 'downloading':
        return
      case 'ready':
        if (prefetched.value) {
          try {
            await d().service.install()
            prefetched.value = false
          } catch (err) {
            fail(err)
            return
          }
        }
        return restart()
      case 'error':
        // The prefetch rule stays out: it would start a second download racing the one below.
        await checkNow('manual', false)
        if (selfUpdateAvailable.value) return downloadAndInstall()
        return
      default:
        return downloadAndInstall()
    }
  }

  function openInstaller(): Promise<void> {
    return d().service.openUrl(downloadUrl.value).catch((err) => d().log(`[appUpdate] не удалось открыть ссылку: ${errorText(err)}`))
  }

  return {
    useDeps,
    newVersion,
    updateNote,
    selfUpdateAvailable,
    updatePhase,
    downloadProgress,
    updateErrorText,
    lastCheck,
    prefetched,
    askUpdatePrefetch,
    restartFailedText,
    currentVersion,
    checkBusy,
    checkStatus,
    updateActionLabel: updateActionLabelText,
    downloadUrl,
    updatePrefetchEnabled,
    checkNow,
    selfUpdateAction,
    answerUpdatePrefetch,
    setUpdatePrefetch,
    openInstaller,
  }
})
