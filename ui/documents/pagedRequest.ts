/**
 * A request whose answer may come as several messages of the same name. The
 * listener is registered before the request goes out; every accepted page
 * re-arms the time-out; the caller's `onPage` says whether more follow. A
 * destroyed channel gives up at once.
 */
import type { Payload } from '../core/envelope'
import { CHANNEL_CLOSED_MESSAGE, TIMEOUT_MESSAGE } from '../core/requests'
import type { Channel } from '../core/serverChannel'

export type PageVerdict = 'more' | 'done' | { error: Error }

export interface PagedRequestOptions {
  replyName: string
  /** time-out until the first page */
  firstTimeoutMs: number
  /** time-out between later pages */
  pageTimeoutMs: number
  /** a reply for which this is false is skipped and waiting goes on */
  accept?: (p: Payload) => boolean
  onPage: (p: Payload) => PageVerdict
}

export function pagedRequestOn(channel: Channel, name: string, payload: Payload, options: PagedRequestOptions): Promise<void> {
  return new Promise<void>((resolve, reject) => {
    let timer: ReturnType<typeof setTimeout> | undefined
    let settled = false
    let offReply: () => void = () => {}
    let offDestroy: () => void = () => {}
    const finish = (err?: Error) => {
      if (settled) return
      settled = true
      clearTimeout(timer)
      offReply()
      offDestroy()
      if (err) reject(err)
      else resolve()
    }
    const arm = (ms: number) => {
      clearTimeout(timer)
      timer = setTimeout(() => finish(new Error(TIMEOUT_MESSAGE)), ms)
    }
    offReply = channel.onCommand(options.replyName, (p) => {
      if (settled || (options.accept && !options.accept(p))) return
      let verdict: PageVerdict
      try {
        verdict = options.onPage(p)
      } catch (err) {
        finish(err instanceof Error ? err : new Error(String(err)))
        return
      }
      if (verdict === 'done') finish()
      else if (verdict === 'more') arm(options.pageTimeoutMs)
      else finish(verdict.error)
    })
    offDestroy = channel.onDestroy(() => finish(new Error(CHANNEL_CLOSED_MESSAGE)))
    arm(options.firstTimeoutMs)
    channel.send(name, payload)
  })
}
