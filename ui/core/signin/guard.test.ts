import { describe, expect, it } from 'vitest'
import { guardRedirect, isModeChoiceNeeded, type GuardState, type ModeChoiceState } from './guard'

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
