/**
 * A small stand-in of the desktop host for the signing tests, injected as the
 * page's bridge object: the signing commands with the host's shapes and
 * texts, the computer name, the printer list and the key-value files (what
 * `save` made durable is what survives a "crash").
 */
import { FakeHost } from '../../core/testing/fakeHost'
import type { CryptoSettings } from '../../core/settingsModel'
import { CONSENT_SCOPE, type Certificate } from '../certificates'
import type { CryptoStatus } from '../cryptoHost'

export const ORG_THUMBPRINT = 'a1b2c3d4e5f60718293a4b5c6d7e8f9012345678'
export const PERSON_THUMBPRINT = '0f1e2d3c4b5a69788796a5b4c3d2e1f001234567'

/** The organisation's certificate chosen, with a valid consent. */
export const CONSENTED: Partial<CryptoSettings> = {
  thumbprint: ORG_THUMBPRINT,
  inn: '7701234567',
  consentAt: '2026-05-01T08:00:00.000Z',
  consentSubject: 'Иванов Иван Иванович',
  consentScope: CONSENT_SCOPE,
}

export function certificate(fields: Partial<Certificate> = {}): Certificate {
  return {
    thumbprint: ORG_THUMBPRINT,
    subject: 'CN=Иванов Иван Иванович, O="ООО ""Ромашка, Север""", INNLE=7701234567, C=RU',
    issuer: 'CN=Зорвик тестовый УЦ, O=Zorvik tests, C=RU',
    inn: '7701234567',
    innLe: '7701234567',
    innPersonal: null,
    validFrom: '01.01.2020 00:00:00 UTC',
    validTo: '01.01.2120 00:00:00 UTC',
    hasPrivateKey: true,
    ...fields,
  }
}

export const FOUND: CryptoStatus = {
  available: true,
  certmgrPath: '/opt/cprocsp/bin/amd64/certmgr',
  cryptcpPath: '/opt/cprocsp/bin/amd64/cryptcp',
  version: 'Certificate manager 5.0',
  searched: ['/opt/cprocsp/bin/amd64', '/usr/bin'],
  csptestPath: null,
}

type Answer = unknown | ((args: Record<string, unknown>) => unknown)

export class FakeSigningHost extends FakeHost {
  status: CryptoStatus = FOUND
  certificates: Certificate[] = [certificate()]
  hostname = 'СКЛАД-ПК-1'
  printers: unknown[] = [{ name: 'Label', displayName: 'Label', isDefault: true, isOnline: true }]
  diagnoseReport = 'cryptcp — /opt/cprocsp/bin/amd64/cryptcp\n\nusage'
  /** the signature `sign_*` answer, per command (Base64) */
  signature: Answer = 'MIAGCSqGSIb3DQEHAqCAMIACAQE='
  /** key-value files: what was saved, and what was only set */
  readonly files = new Map<string, { saved: Record<string, unknown>; pending: Record<string, unknown> }>()
  private readonly rids: string[] = []

  /** Forgets every set that was not saved, as a killed process would. */
  crash(): void {
    for (const f of this.files.values()) f.pending = structuredClone(f.saved)
  }

  private file(rid: unknown) {
    const path = this.rids[Number(rid)]
    const f = path === undefined ? undefined : this.files.get(path)
    if (!f) throw 'store not loaded'
    return f
  }

  protected answer(cmd: string, args: Record<string, unknown>): unknown {
    switch (cmd) {
      case 'crypto_available':
      case 'set_crypto_dir':
        return structuredClone(this.status)
      case 'list_certificates':
        return structuredClone(this.certificates)
      case 'crypto_diagnose':
        return this.diagnoseReport
      case 'sign_auth_data':
      case 'sign_document':
        return typeof this.signature === 'function' ? (this.signature as (a: Record<string, unknown>) => unknown)(args) : this.signature
      case 'plugin:os|hostname':
        return this.hostname
      case 'get_printers':
        return structuredClone(this.printers)
      case 'append_app_log':
        return null
      case 'plugin:store|load': {
        const path = String(args.path)
        if (!this.files.has(path)) this.files.set(path, { saved: {}, pending: {} })
        this.rids.push(path)
        return this.rids.length - 1
      }
      case 'plugin:store|get': {
        const f = this.file(args.rid)
        const key = String(args.key)
        return { value: f.pending[key] ?? null, exists: key in f.pending }
      }
      case 'plugin:store|set':
        this.file(args.rid).pending[String(args.key)] = structuredClone(args.value)
        return null
      case 'plugin:store|save': {
        const f = this.file(args.rid)
        f.saved = structuredClone(f.pending)
        return null
      }
      default:
        throw `Command ${cmd} not found`
    }
  }
}
