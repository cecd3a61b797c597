/** Acts on links handed over by a second launch: PIN sign-in and guided tours. */
import type { Router } from 'vue-router'
import { errorText } from './bridge'
import { deepLinkActions, deepLinkPayloadUrls } from './deepLinks'
import { listen } from './events'
import { startTour } from './tours'

export const DEEP_LINK_EVENT = 'deep-link://new-url'

export function applyDeepLinks(urls: string[], router: Router): void {
  for (const url of urls) {
    for (const action of deepLinkActions(url)) {
      if (action.kind === 'pin') void router.push({ path: '/device-auth', query: { autoPin: action.pin } })
      else startTour(action.name)
    }
  }
}

/** Subscribes once start-up has finished; answers the function that undoes it. */
export async function subscribeDeepLinks(router: Router): Promise<(() => Promise<void>) | undefined> {
  try {
    return await listen<unknown>(DEEP_LINK_EVENT, (e) => applyDeepLinks(deepLinkPayloadUrls(e.payload), router))
  } catch (err) {
    console.warn('[app] подписка на ссылки входа не удалась:', errorText(err))
    return undefined
  }
}
