/**
 * The state and actions of the "🔐 Честный Знак" settings section: the
 * tools' status and folder, the certificate list and the choice, the consent,
 * the test signature and the tool's report, the server's token and the
 * contour, and the account's marking options. It keeps nothing of its own
 * beyond the `crypto` settings group and the sign log.
 */
import { computed, ref } from 'vue'
import { errorText } from '../core/bridge'
import type { Payload } from '../core/envelope'
import { TIMEOUT_MESSAGE, type RequestOptions } from '../core/requests'
import { request as sessionRequest, send as sessionSend } from '../core/session'
import { useSettingsStore } from '../core/settings'
import { useSaveSettings } from '../core/settings/useSaveSettings'
import type { CryptoSettings } from '../core/settingsModel'
import { useSocketStore } from '../core/socketStore'
import { CONSENT_SCOPE, displayName, isConsentValid, type Certificate } from './certificates'
import { cryptoHost as defaultHost, type CryptoHost, type CryptoStatus } from './cryptoHost'
import { signLogEntry } from './signLog'
import { useSignLogStore } from './signLogStore'
import {
  AUTH_CHECK_TIMEOUT_TEXT,
  authCheckText,
  organizationInnError,
  readTokenStatus,
  serverMismatchNotice,
  STANDS,
  tokenMismatchNotice,
  tokenReadiness,
  tokenStatusText,
  type TokenState,
} from './sectionTexts'

export const CHOSEN_MISSING = 'Выбранный ранее сертификат больше не найден — выберите другой'
export const SET_STAND_TIMEOUT = 'сервер не ответил — проверьте, что он умеет команду czSetStand'

export interface SectionDeps {
  host: CryptoHost
  request(name: string, payload?: Payload, options?: RequestOptions): Promise<Payload>
  send(name: string, payload: Payload): unknown
  now(): number
  /** 32 lowercase hexadecimal characters */
  randomHex32(): string
}

function randomHex32(): string {
  const bytes = new Uint8Array(16)
  globalThis.crypto.getRandomValues(bytes)
  return Array.from(bytes, (b) => b.toString(16).padStart(2, '0')).join('')
}

export const defaultSectionDeps: SectionDeps = {
  host: defaultHost,
  request: sessionRequest,
  send: sessionSend,
  now: () => Date.now(),
  randomHex32,
}

const isTimeout = (err: unknown) => errorText(err) === TIMEOUT_MESSAGE

export function useSignatureSection(deps: SectionDeps = defaultSectionDeps) {
  const settings = useSettingsStore()
  const save = useSaveSettings()
  const signLog = useSignLogStore()
  const socket = useSocketStore()
  const crypto = computed<CryptoSettings>(() => settings.crypto)
  const saveCrypto = (change: Partial<CryptoSettings>) => save({ crypto: change })

  // ---- tools and certificates

  const status = ref<CryptoStatus | null>(null)
  const certificates = ref<Certificate[] | null>(null)
  const listError = ref<string | null>(null)
  const refreshing = ref(false)

  /** The status and, when the tools are there, the list, shown together: never one listing's list under another's status. */
  async function show(next: CryptoStatus): Promise<void> {
    let list: Certificate[] | null = null
    let error: string | null = null
    if (next.available) {
      try {
        list = await deps.host.certificates()
      } catch (err) {
        error = errorText(err)
      }
    }
    status.value = next
    certificates.value = list
    listError.value = error
  }

  async function refresh(): Promise<void> {
    refreshing.value = true
    try {
      if (crypto.value.dir) await deps.host.setFolder(crypto.value.dir).catch(() => undefined)
      await show(await deps.host.status())
    } catch (err) {
      listError.value = errorText(err)
    } finally {
      refreshing.value = false
    }
  }

  async function setFolder(raw: string): Promise<void> {
    const dir = raw.trim() || null
    await saveCrypto({ dir })
    try {
      await show(await deps.host.setFolder(dir))
    } catch (err) {
      listError.value = errorText(err)
    }
  }

  const chosenMissing = computed(() => {
    const t = crypto.value.thumbprint
    if (!t || certificates.value === null) return false
    return !certificates.value.some((c) => c.thumbprint.toLowerCase() === t.toLowerCase())
  })
  const chosenCertificate = computed(() => {
    const t = crypto.value.thumbprint?.toLowerCase()
    return t ? (certificates.value?.find((c) => c.thumbprint.toLowerCase() === t) ?? null) : null
  })
  const consentValid = computed(() => isConsentValid(crypto.value))

  // ---- consent

  function consentMessage(granted: boolean, at: string): Payload {
    return { thumbprint: crypto.value.thumbprint, inn: crypto.value.inn, subject: crypto.value.consentSubject, granted, at }
  }

  async function revoke(): Promise<void> {
    const at = new Date(deps.now()).toISOString()
    await signLog.add(signLogEntry('revoke', { thumbprint: crypto.value.thumbprint }, new Date(deps.now())))
    deps.send('cryptoConsent', consentMessage(false, at))
    await saveCrypto({ consentAt: null, consentScope: null })
  }

  /**
   * A new certificate: a consent given for the previous one is revoked first. The INN is the new
   * certificate's, or none: keeping the previous one would send one person's INN with another's certificate.
   */
  async function choose(cert: Certificate): Promise<void> {
    const same = crypto.value.thumbprint?.toLowerCase() === cert.thumbprint.toLowerCase()
    if (!same && consentValid.value) await revoke()
    await saveCrypto({ thumbprint: cert.thumbprint, inn: cert.inn ?? null, consentSubject: displayName(cert) })
  }

  async function grant(): Promise<void> {
    const now = new Date(deps.now())
    const subject = chosenCertificate.value ? displayName(chosenCertificate.value) : (crypto.value.consentSubject ?? 'выбранным сертификатом')
    await saveCrypto({ consentAt: now.toISOString(), consentSubject: subject, consentScope: CONSENT_SCOPE })
    await signLog.add(signLogEntry('consent', { thumbprint: crypto.value.thumbprint, note: subject }, now))
    deps.send('cryptoConsent', consentMessage(true, now.toISOString()))
    if (readiness.value === null) await getToken()
  }

  // ---- test signature and the tool's report

  const testResult = ref<{ ok: boolean; text: string } | null>(null)
  const testing = ref(false)
  async function testSign(): Promise<'consent-needed' | void> {
    const thumbprint = crypto.value.thumbprint
    if (!thumbprint || testing.value) return
    testing.value = true
    testResult.value = null
    try {
      const signature = await deps.host.signAuthData(deps.randomHex32(), thumbprint)
      testResult.value = { ok: true, text: `Подпись получена, ${signature.length} символов base64` }
    } catch (err) {
      testResult.value = { ok: false, text: errorText(err) }
    } finally {
      testing.value = false
    }
    if (!consentValid.value) return 'consent-needed'
  }

  const report = ref<string | null>(null)
  async function loadReport(): Promise<void> {
    try {
      report.value = await deps.host.diagnose()
    } catch (err) {
      report.value = errorText(err)
    }
  }

  // ---- token

  const tokenState = ref<TokenState>({ kind: 'unknown' })
  const tokenResult = ref<string | null>(null)
  const tokenBusy = ref(false)

  async function readTokenState(): Promise<void> {
    if (!socket.isConnected) {
      tokenState.value = { kind: 'offline' }
      return
    }
    try {
      tokenState.value = { kind: 'answer', status: readTokenStatus(await deps.request('czTokenStatus', {}, { timeoutMs: 10_000 })) }
    } catch {
      tokenState.value = { kind: 'failed' }
    }
  }

  const statusText = computed(() => tokenStatusText(tokenState.value, deps.now()))
  const readiness = computed(() =>
    tokenReadiness({
      connected: socket.isConnected,
      available: status.value?.available === true,
      chosen: !!crypto.value.thumbprint,
      consent: consentValid.value,
    }),
  )

  async function getToken(): Promise<void> {
    if (readiness.value !== null || tokenBusy.value) return
    tokenBusy.value = true
    tokenResult.value = null
    const thumbprint = crypto.value.thumbprint
    let result: Payload | null = null
    try {
      result = await deps.request('czAuthCheck', { thumbprint, inn: crypto.value.inn }, { timeoutMs: 60_000 })
    } catch (err) {
      tokenResult.value = isTimeout(err) ? AUTH_CHECK_TIMEOUT_TEXT : `❌ Авторизация не прошла: ${errorText(err)}`
    }
    try {
      const ok = result?.ok === true
      const error = typeof result?.error === 'string' && result.error ? result.error : 'авторизация не прошла'
      await signLog.add(signLogEntry(ok ? 'token' : 'refused', { thumbprint, note: ok ? undefined : error }, new Date(deps.now())))
      await readTokenState()
      if (result) tokenResult.value = authCheckText(result, statusText.value)
    } finally {
      tokenBusy.value = false
    }
  }

  const tokenThumbprint = computed(() => signLog.entries.find((e) => e.event === 'token')?.thumbprint ?? null)
  const tokenNotice = computed(() => tokenMismatchNotice(tokenThumbprint.value, crypto.value.thumbprint, certificates.value ?? []))
  const serverThumbprint = computed(() => (tokenState.value.kind === 'answer' ? tokenState.value.status.thumbprint : null))
  const serverNotice = computed(() => serverMismatchNotice(serverThumbprint.value, crypto.value.thumbprint, certificates.value))

  async function chooseServerCertificate(): Promise<void> {
    const t = serverThumbprint.value?.toLowerCase()
    const cert = certificates.value?.find((c) => c.thumbprint.toLowerCase() === t)
    if (cert) await choose(cert)
  }

  // ---- contour

  const stand = computed(() => (tokenState.value.kind === 'answer' ? tokenState.value.status.stand : 'prod'))
  const standResult = ref<string | null>(null)
  const standBusy = ref(false)

  async function setStand(next: 'prod' | 'sandbox'): Promise<void> {
    if (next === stand.value || standBusy.value) return
    standBusy.value = true
    standResult.value = null
    try {
      let answer: Payload
      try {
        answer = await deps.request('czSetStand', { stand: next }, { timeoutMs: 15_000 })
      } catch (err) {
        answer = { ok: false, error: isTimeout(err) ? SET_STAND_TIMEOUT : errorText(err) }
      }
      const label = STANDS[next].label
      if (answer.ok === true) {
        standResult.value = `✅ ${label}. Токен этого контура нужно получить заново — кнопка ниже.`
        await signLog.add(signLogEntry('stand', { note: label }, new Date(deps.now())))
      } else {
        const error = typeof answer.error === 'string' && answer.error ? `: ${answer.error}` : ''
        standResult.value = `❌ Контур не переключен${error}`
      }
      await readTokenState()
    } finally {
      standBusy.value = false
    }
  }

  // ---- account marking options

  const marking = ref<{ writeOff: boolean; checkMarks: boolean; organizationInn: string; serverThumbprint: string | null } | null>(null)
  const markingError = ref<string | null>(null)
  const markingResult = ref<string | null>(null)
  const markingBusy = ref(false)

  async function loadMarking(): Promise<void> {
    markingError.value = null
    try {
      const p = await deps.request('czSettingsGet', {})
      if (typeof p.error === 'string' && p.error) throw new Error(p.error)
      const s = typeof p.settings === 'object' && p.settings !== null ? (p.settings as Payload) : {}
      const selected = typeof p.selected === 'object' && p.selected !== null ? (p.selected as Payload) : {}
      marking.value = {
        writeOff: s.writeOff === true,
        checkMarks: s.checkMarks === true,
        organizationInn: typeof p.organizationInn === 'string' ? p.organizationInn : '',
        serverThumbprint: typeof selected.thumbprint === 'string' && selected.thumbprint ? selected.thumbprint : null,
      }
    } catch (err) {
      markingError.value = errorText(err)
    }
  }

  const markingThumbprint = computed(() => marking.value?.serverThumbprint ?? crypto.value.thumbprint)
  const innError = computed(() => (marking.value ? organizationInnError(marking.value.organizationInn) : null))

  async function saveMarking(): Promise<void> {
    const m = marking.value
    if (!m || !markingThumbprint.value || innError.value || markingBusy.value) return
    markingBusy.value = true
    markingResult.value = null
    try {
      const p = await deps.request('czSettingsSave', {
        thumbprint: markingThumbprint.value,
        inn: m.organizationInn.trim() || crypto.value.inn,
        writeOff: m.writeOff,
        checkMarks: m.checkMarks,
      })
      if (typeof p.error === 'string' && p.error) markingResult.value = `Не сохранилось: ${p.error}`
      else if (typeof p.warning === 'string' && p.warning) markingResult.value = `Сохранено, но: ${p.warning}`
      else markingResult.value = 'Настройки сохранены'
    } catch (err) {
      markingResult.value = `Не сохранилось: ${errorText(err)}`
    } finally {
      markingBusy.value = false
    }
  }

  /** The section opened: the tools, the list, the token, the options. */
  async function open(): Promise<void> {
    await Promise.all([refresh(), readTokenState(), loadMarking()])
  }

  return {
    crypto,
    status,
    certificates,
    listError,
    refreshing,
    refresh,
    setFolder,
    chosenMissing,
    chosenCertificate,
    consentValid,
    choose,
    grant,
    revoke,
    testResult,
    testing,
    testSign,
    report,
    loadReport,
    tokenState,
    statusText,
    readiness,
    tokenResult,
    tokenBusy,
    readTokenState,
    getToken,
    tokenNotice,
    serverNotice,
    chooseServerCertificate,
    stand,
    standResult,
    standBusy,
    setStand,
    marking,
    markingError,
    markingResult,
    markingBusy,
    markingThumbprint,
    innError,
    loadMarking,
    saveMarking,
    open,
    signLog,
  }
}

export type SignatureSection = ReturnType<typeof useSignatureSection>
