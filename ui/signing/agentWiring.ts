/** The page's signing agent: started on every connection of a signed-in device, stopped when it drops. */
import type { Pinia } from 'pinia'
import { isDesktopHost } from '../core/bridge'
import { onChannelConnected, onChannelDisconnected, onPush, send, socketLogin } from '../core/session'
import { useSettingsStore } from '../core/settings'
import { listPrinters } from '../printing/printOps'
import { createSigningAgent, type SigningAgent } from './agent'
import { computerName } from './computerName'
import { cryptoHost } from './cryptoHost'
import { useSignLogStore } from './signLogStore'

export function startSigningAgent(pinia: Pinia): SigningAgent {
  const signLog = useSignLogStore(pinia)
  void signLog.startCopy()
  const agent = createSigningAgent({
    channel: { send, onPush },
    host: cryptoHost,
    inHost: isDesktopHost,
    crypto: () => useSettingsStore(pinia).crypto,
    log: (entry) => signLog.add(entry),
    computerName,
    printers: () => listPrinters(),
    now: () => new Date(),
  })
  // An anonymous connection belongs to no account: nothing to report to it, nothing to sign for it.
  onChannelConnected(() => {
    if (socketLogin() === 'anon') return agent.stop()
    void agent.start()
  })
  onChannelDisconnected(() => agent.stop())
  return agent
}
