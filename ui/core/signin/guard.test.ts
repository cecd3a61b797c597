import { flushPromises } from '@vue/test-utils'
import { createPinia, setActivePinia } from 'pinia'
import { beforeEach, describe, expect, it } from 'vitest'
import { createMemoryHistory, createRouter } from 'vue-router'
import { useAccountStore } from '../accountStore'
import { writeAccountMode } from '../accountMode'
import { useAuthStore } from '../authStore'
import { useStartupStore } from '../startupStore'
import { installMemoryStorage } from '../testing/memoryStorage'
import { saveAccounts } from '../testing/sessionKit'
import { forgetModeChoiceDismissal, guardRedirect, installSignInGuard, isModeChoiceNeeded, type GuardState, type ModeChoiceState } from './guard'

const S = (patch: Partial<GuardState>): GuardState => ({
  started: true,
  deviceSignedIn: false,
  workerSignedIn: false,
  hasSavedAccounts: false,
  modeChoiceNeeded: false,
  ...patch,
})

describe('the route guard', () => {
  it.each<[string, string, Partial<GuardState>, string | undefined]>([
    ['/', 'device and worker signed in', { deviceSignedIn: true, workerSignedIn: true }, '/menu'],
    ['/', 'device and worker signed in, mode to choose', { deviceSignedIn: true, workerSignedIn: true, modeChoiceNeeded: true }, '/choose-mode'],
    ['/', 'device signed in, worker not', { deviceSignedIn: true, hasSavedAccounts: true }, '/quick-login'],
    ['/', 'no device, saved accounts', { hasSavedAccounts: true, workerSignedIn: true }, '/quick-login'],
    ['/', 'no device, no accounts', { workerSignedIn: true }, '/device-auth'],
    ['/', 'start-up still running', { started: false, deviceSignedIn: true, workerSignedIn: true }, undefined],
    ['/menu', 'mode to choose', { deviceSignedIn: true, workerSignedIn: true, modeChoiceNeeded: true }, '/choose-mode'],
    ['/menu', 'no mode to choose', { deviceSignedIn: true, workerSignedIn: true }, undefined],
    ['/choose-mode', 'no mode to choose', { deviceSignedIn: true, workerSignedIn: true }, '/menu'],
    ['/choose-mode', 'mode to choose', { deviceSignedIn: true, workerSignedIn: true, modeChoiceNeeded: true }, undefined],
    ['/device-auth', 'other routes pass', { deviceSignedIn: true, workerSignedIn: true, modeChoiceNeeded: true }, undefined],
    ['/quick-login', 'other routes pass', { hasSavedAccounts: true }, undefined],
  ])('%s, %s → %s', (target, _case, state, expected) => {
    expect(guardRedirect(target, S(state))).toBe(expected)
  })
})

describe('the working-mode choice', () => {
  const needed: ModeChoiceState = { capabilitiesReceived: true, mode: { moysklad: false, profile: '' }, dismissed: false, demo: false }

  it.each<[string, Partial<ModeChoiceState>, boolean]>([
    ['no MoySklad, no profile', {}, true],
    ['capabilities not yet received', { capabilitiesReceived: false }, false],
    ['with MoySklad', { mode: { moysklad: true, profile: '' } }, false],
    ['a profile chosen', { mode: { moysklad: false, profile: 'radio' } }, false],
    ['dismissed this run', { dismissed: true }, false],
    ['demo mode', { demo: true }, false],
  ])('%s → %s', (_case, patch, expected) => {
    expect(isModeChoiceNeeded({ ...needed, ...patch })).toBe(expected)
  })
})

describe('the guard in a router', () => {
  beforeEach(() => {
    installMemoryStorage()
    setActivePinia(createPinia())
    forgetModeChoiceDismissal()
  })

  function appRouter() {
    const paths = ['/', '/device-auth', '/quick-login', '/menu', '/choose-mode']
    const router = createRouter({ history: createMemoryHistory(), routes: paths.map((path) => ({ path, component: { template: '<div />' } })) })
    installSignInGuard(router)
    return router
  }

  it('keeps the start screen during start-up and decides "/" when start-up ends there', async () => {
    const router = appRouter()
    await router.push('/')
    expect(router.currentRoute.value.path).toBe('/')
    saveAccounts({ token: 'a.b.c', refreshToken: 'r' })

    useStartupStore().state.started = true
    await router.replace('/') // what start-up does: a repeat of the current route
    await flushPromises()
    expect(router.currentRoute.value.path).toBe('/quick-login')
  })

  it('sends an account without a working mode from the menu to the choice, and back once it has one', async () => {
    const router = appRouter()
    useStartupStore().state.started = true
    useAuthStore().setDeviceJwt('a.b.c')
    useAccountStore().apply({ moysklad: false, profile: '' })
    writeAccountMode({ moysklad: false, profile: '' })
    await router.push('/')
    expect(router.currentRoute.value.path).toBe('/choose-mode')

    writeAccountMode({ moysklad: false, profile: 'orders' })
    await router.push('/quick-login')
    await router.push('/choose-mode')
    expect(router.currentRoute.value.path).toBe('/menu')
  })
})
