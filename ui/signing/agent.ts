/**
 * The signing agent: while the server channel is connected it reports this
 * computer's certificates (and the user's consent) and printers, signs what
 * the server asks after checking the request against the user's choice and
 * consent, and sends the diagnostic report in chunks when support asks.
 * Every answer carries the request's own id; every signature and refusal
 * goes to the sign log before the answer leaves.
 */
import { errorText } from '../core/bridge'
import type { Payload } from '../core/envelope'
import type { CryptoSettings } from '../core/settingsModel'
import { isAuthString, isConsentValid, isThumbprint, reportedCertificate } from './certificates'
import type { CryptoHost, CryptoStatus } from './cryptoHost'
import { diagnoseChunks } from './diagnoseChunks'
import { signLogEntry, type SignLogEntry } from './signLog'

export const REFUSAL = {
  notAuthString: 'На подпись принимается только строка авторизации Честного Знака',
  emptyDocument: 'Пустой документ — подписывать нечего',
  badThumbprint: 'Неверный отпечаток сертификата',
  notChosen: 'Сертификат для Честного Знака не выбран в настройках приложения',
  otherCertificate: 'Запрошен сертификат, не выбранный в настройках приложения',
  noConsent: 'Владелец сертификата не разрешил подписывать — разрешение отозвано или не выдано',
} as const

export const DIAGNOSE_UNSUPPORTED = 'КриптоПро на этом устройстве не поддерживается — справку собирать нечем'
export const PRINTERS_UNREADABLE = '[печать] не удалось прочитать список принтеров:'
export const DEVICE_NAME_LIMIT = 100

/** The pushes the agent answers. */
export const AGENT_PUSHES = [
  'signAuthData.push',
  'signDocument.push',
  'requestCertificates.push',
  'supportDiagnose',
  'supportDiagnose.push',
] as const

export interface AgentChannel {
  send(name: string, payload: Payload): unknown
  onPush(name: string, handler: (payload: Payload) => void): () => void
}

export interface AgentDeps {
  channel: AgentChannel
  host: CryptoHost
  /** true inside the desktop host */
  inHost(): boolean
  crypto(): CryptoSettings
  /** adds an entry to the sign log; resolves once it is kept */
  log(entry: SignLogEntry): Promise<unknown>
  computerName(): Promise<string>
  printers(): Promise<unknown[]>
  now(): Date
}

/** The first check a request fails, by the order the agent checks in; null when it may be signed. */
export function requestRefusal(
  content: string | null,
  thumbprint: unknown,
  crypto: Pick<CryptoSettings, 'thumbprint' | 'consentAt' | 'consentScope'>,
): string | null {
  if (content !== null) return content
  if (!isThumbprint(thumbprint)) return REFUSAL.badThumbprint
  if (!crypto.thumbprint) return REFUSAL.notChosen
  if (thumbprint.toLowerCase() !== crypto.thumbprint.toLowerCase()) return REFUSAL.otherCertificate
  if (!isConsentValid(crypto)) return REFUSAL.noConsent
  return null
}

/** The status as `reportCertificates` carries it: the folders searched only when the tools are missing. */
export function statusSummary(status: CryptoStatus): Payload {
  const out: Payload = {
    available: status.available,
    version: status.version,
    certmgrPath: status.certmgrPath,
    cryptcpPath: status.cryptcpPath,
    csptestPath: status.csptestPath,
  }
  if (!status.available) out.searched = status.searched
  return out
}

const text = (v: unknown): string => (typeof v === 'string' ? v : '')

export function createSigningAgent(deps: AgentDeps) {
  let stops: Array<() => void> = []

  async function reportCertificates(): Promise<void> {
    if (!deps.inHost()) return
    let report: Payload
    try {
      const status = await deps.host.status()
      const certificates = status.available ? await deps.host.certificates() : []
      const now = deps.now().getTime()
      const name = (await deps.computerName()).trim().slice(0, DEVICE_NAME_LIMIT)
      report = { certificates: certificates.map((c) => reportedCertificate(c, now)), crypto: statusSummary(status) }
      if (name) report.deviceName = name
    } catch (err) {
      console.warn('[подпись] сертификаты не прочитаны:', errorText(err))
      deps.channel.send('reportCertificates', { certificates: [] })
      return
    }
    deps.channel.send('reportCertificates', report)
    const crypto = deps.crypto()
    if (!crypto.thumbprint) return
    deps.channel.send('cryptoConsent', {
      thumbprint: crypto.thumbprint,
      inn: crypto.inn,
      subject: crypto.consentSubject,
      granted: isConsentValid(crypto),
      at: crypto.consentAt ?? deps.now().toISOString(),
    })
  }

  async function reportPrinters(): Promise<void> {
    if (!deps.inHost()) return
    let printers: unknown[]
    try {
      printers = await deps.printers()
    } catch (err) {
      console.warn(PRINTERS_UNREADABLE, errorText(err))
      printers = []
    }
    deps.channel.send('reportPrinters', { printers })
  }

  /** Checks, signs, logs and answers one request; `kind` decides the first check, the call and the notes. */
  async function answerSignRequest(
    p: Payload,
    kind: { content: string | null; sign(thumbprint: string): Promise<string>; entry: 'auth' | 'document'; note(reason?: string): string | undefined },
  ): Promise<void> {
    const requestId = p.requestId
    const thumbprint = typeof p.thumbprint === 'string' ? p.thumbprint : undefined
    const crypto = deps.crypto()
    const refuse = async (reason: string) => {
      await deps.log(signLogEntry('refused', { thumbprint, note: kind.note(reason) }, deps.now()))
      deps.channel.send('signResult', { requestId, error: reason })
    }
    const refusal = requestRefusal(kind.content, p.thumbprint, crypto)
    if (refusal !== null) return refuse(refusal)
    let signature: string
    try {
      signature = await kind.sign(crypto.thumbprint!)
    } catch (err) {
      return refuse(errorText(err))
    }
    await deps.log(signLogEntry(kind.entry, { thumbprint, note: kind.note() }, deps.now()))
    deps.channel.send('signResult', { requestId, signature })
  }

  function onSignAuthData(p: Payload): Promise<void> {
    const data = p.data
    return answerSignRequest(p, {
      content: isAuthString(data) ? null : REFUSAL.notAuthString,
      sign: (thumbprint) => deps.host.signAuthData(data as string, thumbprint),
      entry: 'auth',
      note: (reason) => reason,
    })
  }

  function onSignDocument(p: Payload): Promise<void> {
    const documentBase64 = text(p.documentBase64)
    const documentType = text(p.documentType)
    return answerSignRequest(p, {
      content: documentBase64 === '' ? REFUSAL.emptyDocument : null,
      sign: (thumbprint) => deps.host.signDocument(documentBase64, documentType, thumbprint),
      entry: 'document',
      note: (reason) => (reason === undefined ? documentType : `${documentType}: ${reason}`),
    })
  }

  async function onSupportDiagnose(p: Payload): Promise<void> {
    const requestId = typeof p.requestId === 'string' ? p.requestId : ''
    const failed = (error: string) => deps.channel.send('supportDiagnose.chunk', { requestId, seq: 0, total: 1, text: '', error })
    if (!deps.inHost()) return void failed(DIAGNOSE_UNSUPPORTED)
    let chunks: string[]
    try {
      chunks = diagnoseChunks(await deps.host.diagnose())
    } catch (err) {
      return void failed(errorText(err))
    }
    chunks.forEach((chunk, seq) => deps.channel.send('supportDiagnose.chunk', { requestId, seq, total: chunks.length, text: chunk }))
  }

  const handlers: Record<(typeof AGENT_PUSHES)[number], (p: Payload) => Promise<void>> = {
    'signAuthData.push': onSignAuthData,
    'signDocument.push': onSignDocument,
    'requestCertificates.push': () => reportCertificates(),
    supportDiagnose: onSupportDiagnose,
    'supportDiagnose.push': onSupportDiagnose,
  }

  function stop(): void {
    for (const s of stops) s()
    stops = []
  }

  /** Subscribes (again) and reports; resolves when both reports went out. */
  async function start(): Promise<void> {
    stop()
    for (const name of AGENT_PUSHES) {
      const handle = handlers[name]
      stops.push(
        deps.channel.onPush(name, (p) => {
          handle(p).catch((err: unknown) => console.error(`[подпись] ${name} не обработан:`, err))
        }),
      )
    }
    await Promise.all([reportCertificates(), reportPrinters()])
  }

  return { start, stop, reportCertificates, running: () => stops.length > 0 }
}

export type SigningAgent = ReturnType<typeof createSigningAgent>
