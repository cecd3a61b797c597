/** The server channel as the picking session uses it: the session's request helpers and push listeners. */
import { command, onPush, request, send } from '../../core/session'
import { useSocketStore } from '../../core/socketStore'
import { useAccountStore } from '../../core/accountStore'
import type { PickingCapabilities, PickingChannel } from './pickingSession'

export function sessionChannel(): PickingChannel {
  const socket = useSocketStore()
  return {
    connected: () => socket.isConnected,
    request: (name, payload, timeoutMs) => request(name, payload, { timeoutMs }),
    command: (name, payload, timeoutMs) => command(name, payload, timeoutMs),
    send: (name, payload) => send(name, payload),
    onPush,
  }
}

/**
 * What the account allows on this screen. Editing the contents: with roles on
 * the permission "editQuantity", without roles the account's `editQuantity` option.
 */
export function accountCapabilities(): PickingCapabilities {
  const d = useAccountStore().description
  const roles = d?.features.roles === true
  return {
    checkMarksOnScan: d?.features.checkMarksOnScan === true,
    rolesEnabled: roles,
    canEdit: roles ? (d?.permissions.includes('editQuantity') ?? false) : d?.options.editQuantity === true,
    withdrawOnRetail: d?.features.czWithdrawRetail === true,
  }
}
