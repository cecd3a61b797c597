/**
 * The host's signing commands, one typed function each. Outside the desktop
 * host every one but the status refuses with the in-browser text; the status
 * answers "nothing found" there without asking anybody.
 */
import { errorText, invoke, isDesktopHost } from '../core/bridge'
import { isAuthString, readCertificate, type Certificate } from './certificates'

export const NOT_IN_HOST = 'Подпись работает только в установленном приложении, в браузере недоступна'
export const ONLY_AUTH_STRING = 'На подпись принимается только строка авторизации Честного Знака'

/** What the host found of the signing tools. */
export interface CryptoStatus {
  available: boolean
  certmgrPath: string | null
  cryptcpPath: string | null
  version: string | null
  searched: string[]
  csptestPath: string | null
}

export const NOTHING_FOUND: CryptoStatus = Object.freeze({
  available: false,
  certmgrPath: null,
  cryptcpPath: null,
  version: null,
  searched: [],
  csptestPath: null,
}) as CryptoStatus

const textOrNull = (v: unknown): string | null => (typeof v === 'string' && v !== '' ? v : null)

export function readStatus(raw: unknown): CryptoStatus {
  const r = typeof raw === 'object' && raw !== null ? (raw as Record<string, unknown>) : {}
  return {
    available: r.available === true,
    certmgrPath: textOrNull(r.certmgrPath),
    cryptcpPath: textOrNull(r.cryptcpPath),
    version: textOrNull(r.version),
    searched: Array.isArray(r.searched) ? r.searched.filter((s): s is string => typeof s === 'string') : [],
    csptestPath: textOrNull(r.csptestPath),
  }
}

/** The host's refusal as an Error carrying its text unchanged (the bridge rejects with strings). */
async function call<T>(cmd: string, args: Record<string, unknown> = {}): Promise<T> {
  if (!isDesktopHost()) throw new Error(NOT_IN_HOST)
  try {
    return await invoke<T>(cmd, args)
  } catch (err) {
    throw err instanceof Error ? err : new Error(errorText(err))
  }
}

export interface CryptoHost {
  status(): Promise<CryptoStatus>
  setFolder(path: string | null): Promise<CryptoStatus>
  diagnose(): Promise<string>
  certificates(): Promise<Certificate[]>
  signAuthData(data: string, thumbprint: string): Promise<string>
  signDocument(documentBase64: string, documentType: string, thumbprint: string): Promise<string>
}

export const cryptoHost: CryptoHost = {
  async status() {
    if (!isDesktopHost()) return { ...NOTHING_FOUND, searched: [] }
    return readStatus(await call('crypto_available'))
  },
  async setFolder(path) {
    return readStatus(await call('set_crypto_dir', { path }))
  },
  async diagnose() {
    const report = await call<unknown>('crypto_diagnose')
    return typeof report === 'string' ? report : ''
  },
  async certificates() {
    const list = await call<unknown>('list_certificates')
    return (Array.isArray(list) ? list : []).map(readCertificate).filter((c): c is Certificate => c !== undefined)
  },
  async signAuthData(data, thumbprint) {
    if (!isDesktopHost()) throw new Error(NOT_IN_HOST)
    if (!isAuthString(data)) throw new Error(ONLY_AUTH_STRING)
    return String(await call('sign_auth_data', { data, thumbprint }))
  },
  async signDocument(documentBase64, documentType, thumbprint) {
    return String(await call('sign_document', { documentBase64, documentType, thumbprint }))
  },
}
