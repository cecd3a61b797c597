/**
 * The account-wide application settings: `appSettingsGet` answers the
 * signed-in account's block, `appSettingsSave` (administrators) replaces it
 * and keeps it for every device of the account.
 */
import type { Payload } from '../core/envelope'
import type { Handler } from './backend'

const isBlock = (v: unknown): v is Record<string, unknown> => typeof v === 'object' && v !== null && !Array.isArray(v)

const appSettingsGet: Handler = (ctx) => {
  const me = ctx.backend.signedIn(ctx.conn)
  if (!me) return { error: 'session not found', errorCode: 'unauthorized' }
  return { settings: structuredClone(me.account.appSettings) }
}

const appSettingsSave: Handler = (ctx, p: Payload) => {
  const me = ctx.backend.signedIn(ctx.conn)
  if (!me) return { error: 'session not found', errorCode: 'unauthorized' }
  if (me.user.role !== 'admin') {
    return { error: 'Настройки аккаунта меняет администратор', errorCode: 'forbidden' }
  }
  if (!isBlock(p.settings)) return { error: 'settings must be an object', errorCode: 'invalid' }
  me.account.appSettings = structuredClone(p.settings)
  return { settings: structuredClone(me.account.appSettings) }
}

export const appSettingsHandlers: Readonly<Record<string, Handler>> = { appSettingsGet, appSettingsSave }
