/** What the device tells the server about itself: its workplace on each connection, and the answer to a ping. */
import { errorText } from '../bridge'
import { getOrCreateDeviceId } from '../deviceId'
import type { Payload } from '../envelope'
import type { Channel } from '../serverChannel'
import { useSettingsStore } from '../settings'
import type { ChannelHost } from './channelHost'
import type { SessionEnv } from './env'
import type { SignInRequests } from './signInRequests'
import type { Tokens } from './tokens'

export interface DeviceReportsDeps {
  env: Pick<SessionEnv, 'userAgent'>
  tokens: Pick<Tokens, 'socketLogin'>
  host: Pick<ChannelHost, 'current'>
  requests: Pick<SignInRequests, 'reportWorkplace'>
}

export function createDeviceReports({ env, tokens, host, requests }: DeviceReportsDeps) {
  /** A signed-in connection reports the workplace code when one is set. */
  async function reportWorkplaceOnConnect(): Promise<void> {
    if (tokens.socketLogin() === 'anon') return
    const fiasId = useSettingsStore().crypto.fiasId
    if (!fiasId) return
    try {
      await requests.reportWorkplace(fiasId, await getOrCreateDeviceId())
    } catch (err) {
      console.warn('[socket] код места деятельности не передан:', errorText(err))
    }
  }

  /** Support's ping is answered on the channel it came by, unless that one is gone by then. */
  async function answerPing(ch: Channel, p: Payload): Promise<void> {
    const deviceId = await getOrCreateDeviceId()
    if (ch !== host.current()) return
    ch.send('tsdPing', { replyTo: p.replyTo, deviceId, userAgent: env.userAgent() })
  }

  return { reportWorkplaceOnConnect, answerPing }
}
