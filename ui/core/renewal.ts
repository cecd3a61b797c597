/** The decision of the renewal check: is the device token to be renewed now? Pure. */

export const DAY_MS = 86_400_000
/** renewal starts when this many days or fewer are left */
export const RENEW_WITHIN_DAYS = 28

export type RenewalAction = 'keep' | 'ok' | 'renew' | 'reauth'

export interface RenewalDecision {
  action: RenewalAction
  /** whole days left, when the expiry is known */
  daysLeft?: number
  /** the console line that explains it */
  line: string
}

/**
 * unknown expiry → leave as is; more than 28 days → ok; else with a refresh
 * token → renew; else days left → ok; else a new sign-in is needed.
 */
export function renewalDecision(expiresAt: number | undefined, now: number, canRenew: boolean): RenewalDecision {
  if (expiresAt === undefined) return { action: 'keep', line: 'срок входа прочитать не удалось — оставляем как есть' }
  const daysLeft = Math.floor((expiresAt - now) / DAY_MS)
  if (daysLeft > RENEW_WITHIN_DAYS) return { action: 'ok', daysLeft, line: `вход действует еще ${daysLeft} дн.` }
  if (canRenew)
    return {
      action: 'renew',
      daysLeft,
      line: daysLeft > 0 ? `вход кончается через ${daysLeft} дн. — продлеваем молча` : 'срок входа вышел — продлеваем молча',
    }
  if (daysLeft > 0) return { action: 'ok', daysLeft, line: `вход действует еще ${daysLeft} дн.` }
  return { action: 'reauth', daysLeft, line: 'срок входа вышел, продлить нечем — нужен вход заново' }
}
