/**
 * The update facade for screens. Each screen element that uses it checks with
 * "screen" when it is set up; the first use on the page also starts the
 * "focus" checks (window focus, the page becoming visible) and the "timer"
 * check every 30 minutes, which then run as long as the page does.
 */
import { storeToRefs } from 'pinia'
import { useUpdateStore } from './updateStore'

export const TIMER_CHECK_MS = 1_800_000

let stopTriggers: (() => void) | undefined

/** Starts the page-wide triggers once; answers their removal (tests). */
export function startUpdateTriggers(check: (reason: 'focus' | 'timer') => void): () => void {
  if (stopTriggers) return stopTriggers
  const onFocus = () => check('focus')
  const onVisible = () => {
    if (document.visibilityState === 'visible') check('focus')
  }
  window.addEventListener('focus', onFocus)
  document.addEventListener('visibilitychange', onVisible)
  const timer = setInterval(() => check('timer'), TIMER_CHECK_MS)
  stopTriggers = () => {
    window.removeEventListener('focus', onFocus)
    document.removeEventListener('visibilitychange', onVisible)
    clearInterval(timer)
    stopTriggers = undefined
  }
  return stopTriggers
}

export function useUpdateFacade() {
  const store = useUpdateStore()
  startUpdateTriggers((reason) => void store.checkNow(reason))
  void store.checkNow('screen')
  return { store, ...storeToRefs(store) }
}
