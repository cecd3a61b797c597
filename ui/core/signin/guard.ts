/**
 * The route guard that runs before every navigation, and the question it
 * asks most: does the account still have to choose its working mode? The
 * decisions are a pure function of a small state; `installSignInGuard` reads
 * that state from the stores.
 */
import { watch } from 'vue'
import type { Router } from 'vue-router'
import { useAccountStore } from '../accountStore'
import { readAccountMode, type AccountMode } from '../accountMode'
import { useAuthStore } from '../authStore'
import { readSavedAccounts } from '../savedAccounts'
import { DEMO_TOKEN } from '../demoToken'
import { useStartupStore } from '../startupStore'

export interface ModeChoiceState {
  /** the account capabilities have arrived (a `deviceWhoAmI` answer, or the wait was over at once) */
  capabilitiesReceived: boolean
  mode: AccountMode
  /** "Понятно" was pressed during this run */
  dismissed: boolean
  demo: boolean
}

/** An account without MoySklad and without a profile chooses how it works, unless told otherwise this run. */
export function isModeChoiceNeeded(s: ModeChoiceState): boolean {
  return s.capabilitiesReceived && !s.mode.moysklad && s.mode.profile === '' && !s.dismissed && !s.demo
}

export interface GuardState {
  /** the start-up sequence has finished (it navigates to "/" when it has) */
  started: boolean
  deviceSignedIn: boolean
  workerSignedIn: boolean
  hasSavedAccounts: boolean
  modeChoiceNeeded: boolean
}

/** Where a navigation to `target` goes instead, or undefined to let it through. */
export function guardRedirect(target: string, s: GuardState): string | undefined {
  switch (target) {
    case '/':
      // Until start-up is over nobody knows yet who is signed in: stay on the start screen.
      if (!s.started) return undefined
      if (s.deviceSignedIn) {
        if (!s.workerSignedIn) return '/quick-login'
        return s.modeChoiceNeeded ? '/choose-mode' : '/menu'
      }
      return s.hasSavedAccounts ? '/quick-login' : '/device-auth'
    case '/menu':
      return s.modeChoiceNeeded ? '/choose-mode' : undefined
    case '/choose-mode':
      return s.modeChoiceNeeded ? undefined : '/menu'
    default:
      return undefined
  }
}

// ---- the dismissal lives as long as the page does

let modeChoiceDismissed = false

export function dismissModeChoice(): void {
  modeChoiceDismissed = true
}

/** Tests start each case afresh. */
export function forgetModeChoiceDismissal(): void {
  modeChoiceDismissed = false
}

/** The mode-choice question answered from the stores. */
export function modeChoiceNeededNow(): boolean {
  const auth = useAuthStore()
  return isModeChoiceNeeded({
    capabilitiesReceived: useAccountStore().received,
    mode: readAccountMode(),
    dismissed: modeChoiceDismissed,
    demo: auth.deviceJwt === DEMO_TOKEN,
  })
}

export function currentGuardState(): GuardState {
  const auth = useAuthStore()
  return {
    started: useStartupStore().state.started,
    deviceSignedIn: auth.isDeviceAuthorized(),
    workerSignedIn: auth.isWorkerAuthorized(),
    hasSavedAccounts: readSavedAccounts().length > 0,
    modeChoiceNeeded: modeChoiceNeededNow(),
  }
}

/**
 * Installs the guard. Start-up ends by going to "/" — usually where the page
 * already is, which the router would skip as a repeat: so the end of start-up
 * also sends a page that is still on "/" there once more, with the guard.
 */
export function installSignInGuard(router: Router): () => void {
  let watching = false
  const decideHomeAfterStartup = () => {
    if (watching) return
    watching = true
    watch(
      () => useStartupStore().state.started,
      (started) => {
        if (started && router.currentRoute.value.path === '/') void router.replace({ path: '/', force: true })
      },
    )
  }
  return router.beforeEach((to) => {
    // The stores exist from the first navigation on.
    decideHomeAfterStartup()
    const next = guardRedirect(to.path, currentGuardState())
    return next && next !== to.path ? { path: next, replace: true } : true
  })
}
