/** Silent renewal of the device token: checked after each identity check and every six hours while connected. */
import { errorText } from '../bridge'
import { DEMO_TOKEN } from '../demoToken'
import { tokenExpiresAt } from '../jwt'
import { renewalDecision, type RenewalDecision } from '../renewal'
import type { RenewedTokens, Tokens } from './tokens'

export const RENEWAL_INTERVAL_MS = 6 * 60 * 60 * 1000

export interface RenewalDeps {
  now(): number
  tokens: Tokens
  refreshDeviceJwt(refreshToken: string): Promise<RenewedTokens>
}

export type Renewal = ReturnType<typeof createRenewal>

export function createRenewal({ now, tokens, refreshDeviceJwt }: RenewalDeps) {
  let timer: ReturnType<typeof setInterval> | undefined

  /** Checks the device token's expiry and renews it silently when 28 days or fewer are left. */
  async function check(at = now()): Promise<RenewalDecision> {
    const token = await tokens.currentDeviceToken()
    const expiresAt = token && token !== DEMO_TOKEN ? tokenExpiresAt(token) : undefined
    const refresh = await tokens.refreshTokenFor(token)
    const decision = renewalDecision(expiresAt, at, refresh !== null)
    console.info(`[socket] ${decision.line}`)
    if (decision.action === 'renew' && token && refresh) {
      try {
        await tokens.storeRenewedTokens(token, await refreshDeviceJwt(refresh), refresh)
      } catch (err) {
        console.warn('[socket] продлить вход не удалось, попробуем при следующей проверке:', errorText(err))
      }
    }
    return decision
  }

  function start(): void {
    if (timer !== undefined) return
    timer = setInterval(() => void check(), RENEWAL_INTERVAL_MS)
  }

  function stop(): void {
    if (timer !== undefined) clearInterval(timer)
    timer = undefined
  }

  return { check, start, stop }
}
