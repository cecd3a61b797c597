/** The requests of signing in and of the device's own session, with their answers read into values. */
import { accountModeFrom, writeAccountMode } from '../accountMode'
import { normaliseAccountDescription, type AccountDescription } from '../accountDescription'
import type { WorkerSession } from '../authStore'
import type { Payload } from '../envelope'
import type { RequestHelpers } from './requestHelpers'
import type { RenewedTokens } from './tokens'

export type PhoneVerifyAnswer =
  | { needsMoysklad: true; registrationToken: string }
  | { needsMoysklad: false; token: string; refreshToken: string }

/** The token pair of an answer; an answer without a token is an error. */
export function tokensFrom(p: Payload): { token: string; refreshToken: string } {
  const token = typeof p.token === 'string' ? p.token : ''
  if (!token) throw new Error('в ответе нет токена')
  return { token, refreshToken: typeof p.refreshToken === 'string' ? p.refreshToken : '' }
}

/** A renewal's answer: the new token, and the new refresh token when one came. */
export function renewedFrom(p: Payload): RenewedTokens {
  const t = tokensFrom(p)
  return t.refreshToken ? t : { token: t.token }
}

export type SignInRequests = ReturnType<typeof createSignInRequests>

export function createSignInRequests({ send, request, command, sessionRequest, phoneRequest }: RequestHelpers) {
  return {
    /** Signs the device in with an eight-digit code written "NNNN-NNNN". */
    async deviceAuth(pin: string): Promise<{ token: string; refreshToken: string }> {
      return tokensFrom(await sessionRequest('deviceAuth', { pin }, 25_000))
    },

    async deviceWhoAmI(): Promise<AccountDescription> {
      return normaliseAccountDescription(await sessionRequest('deviceWhoAmI', {}, 10_000))
    },

    /**
     * Renews the device token. The refresh token goes with the request so the
     * renewal also works on a connection that is not the token's own.
     */
    async refreshDeviceJwt(refreshToken?: string): Promise<RenewedTokens> {
      return renewedFrom(await sessionRequest('refreshDeviceJwt', refreshToken ? { refreshToken } : {}, 10_000))
    },

    async workerAuth(method: 'qr' | 'pin', code: string): Promise<WorkerSession> {
      const p = await sessionRequest('workerAuth', { method, code }, 5_000)
      const workerId = typeof p.workerId === 'string' || typeof p.workerId === 'number' ? String(p.workerId) : ''
      if (!workerId) throw new Error('в ответе нет сотрудника')
      return { workerId, workerName: typeof p.workerName === 'string' ? p.workerName : '', token: typeof p.token === 'string' ? p.token : '' }
    },

    /** Reports the outcome of a quick-login PIN (the PIN itself never leaves the device). */
    userPinAuth(success: boolean): boolean {
      return send('userPinAuth', { success })
    },

    async phoneCodeRequest(phone: string): Promise<{ codeLength?: number }> {
      const p = await phoneRequest('phoneCodeRequest', { phone }, 120_000)
      return typeof p.codeLength === 'number' && p.codeLength > 0 ? { codeLength: p.codeLength } : {}
    },

    async phoneCodeVerify(phone: string, code: string): Promise<PhoneVerifyAnswer> {
      const p = await phoneRequest('phoneCodeVerify', { phone, code }, 25_000)
      if (p.needsMoysklad === true) {
        writeAccountMode(accountModeFrom({ moysklad: false, profile: '' }))
        return { needsMoysklad: true, registrationToken: typeof p.registrationToken === 'string' ? p.registrationToken : '' }
      }
      return { needsMoysklad: false, ...tokensFrom(p) }
    },

    async phoneMoyskladConnect(registrationToken: string, msToken: string): Promise<{ token: string; refreshToken: string }> {
      const p = await phoneRequest('phoneMoyskladConnect', { registrationToken, msToken }, 30_000)
      writeAccountMode(accountModeFrom(p))
      return tokensFrom(p)
    },

    async phoneStandaloneConnect(registrationToken: string, name?: string): Promise<{ token: string; refreshToken: string }> {
      const payload: Payload = { registrationToken }
      const trimmed = name?.trim()
      if (trimmed) payload.name = trimmed
      const p = await phoneRequest('phoneStandaloneConnect', payload, 30_000)
      writeAccountMode(accountModeFrom(p))
      return tokensFrom(p)
    },

    roleSelect(roles: string[]): Promise<Payload> {
      return command('roleSelect', { roles })
    },

    roleSwitch(role: string): Promise<Payload> {
      return command('roleSwitch', { role })
    },

    reportWorkplace(fiasId: string, deviceId: string): Promise<Payload> {
      return request('reportWorkplace', { fiasId, deviceId }, { timeoutMs: 10_000 })
    },
  }
}
