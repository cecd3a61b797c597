// Sign-in in the desktop app against the local service host: device code, PINs, quick login, links, demo mode.
import { describe, expect, it } from 'vitest'
import { launch } from './harness/desktopApp'
import { press, typePin, useStandInRig, waitForRoute } from './harness/standInApp'
import { waitFor } from './harness/wait'
import type { Session } from './harness/webdriver'

const rig = useStandInRig()

async function signInWithCode(session: Session, code: string) {
  const field = await session.find('[data-test="device-code"]')
  await session.type(field, code)
  await press(session, '[data-test="device-code-submit"]')
  await waitForRoute(session, (r) => r.startsWith('/create-pin?'))
}

async function createPin(session: Session, name: string, pin: string) {
  await session.waitForText('[data-test="create-pin-name"]', (t) => t === name)
  await typePin(session, pin)
  await session.waitForText('[data-test="create-pin-title"]', (t) => t === 'Повторите PIN-код')
  await typePin(session, pin)
  await waitForRoute(session, '/menu')
  expect(await session.waitForText('[data-test="menu-worker"]')).toBe(name)
}

async function endShift(session: Session) {
  await press(session, '[data-test="menu-exit"]')
  expect(await session.waitForText('[data-test="confirm"] h2')).toBe('Завершить смену?')
  await press(session, '[data-test="confirm-yes"]')
}

describe('sign-in in the desktop app', () => {
  it('device code, PIN, end of shift, quick login; a second employee with his own PIN; a wrong PIN stays on the device', async () => {
    const { standIn } = rig
    const { session } = await rig.open()
    try {
      await waitForRoute(session, '/device-auth')
      await signInWithCode(session, '12345678')
      await createPin(session, 'Анна Смирнова', '123456')

      await endShift(session)
      await waitForRoute(session, '/quick-login')
      await typePin(session, '123456')
      await waitForRoute(session, '/menu?welcome=1')
      expect(await session.waitForText('[data-test="menu-greeting"]')).toMatch(/^(Доброе утро|Добрый день|Добрый вечер), Анна!$/)
      await waitFor('the PIN outcome', async () => (await standIn.messages('userPinAuth')).length > 0)
      expect((await standIn.messages('userPinAuth')).map((m) => m.p)).toEqual([{ success: true }])

      // A wrong PIN: the server hears the outcome and nothing else.
      await endShift(session)
      await waitForRoute(session, '/quick-login')
      await standIn.reset()
      await typePin(session, '999999')
      expect(await session.waitForText('[data-test="quick-login-message"]')).toBe('Неверный PIN-код')
      await waitFor('the refused outcome', async () => (await standIn.messages('userPinAuth')).length > 0)
      const sent = await standIn.messages()
      expect(sent.filter((m) => m.c === 'userPinAuth').map((m) => m.p)).toEqual([{ success: false }])
      expect(JSON.stringify(sent)).not.toContain('999999')
      expect(await session.findAll('.pinpad__dot--filled')).toHaveLength(0)

      // A second employee: Anna's PIN is refused at once, then his own.
      await press(session, '[data-test="add-employee"]')
      await waitForRoute(session, '/device-auth?addEmployee=1')
      await signInWithCode(session, '23456789')
      await session.waitForText('[data-test="create-pin-name"]', (t) => t === 'Игорь Петров')
      await typePin(session, '123456')
      expect(await session.waitForText('[data-test="create-pin-message"]')).toBe(
        'Этот PIN уже занят другим сотрудником на этом устройстве. Придумайте другой.',
      )
      expect(await session.text(await session.find('[data-test="create-pin-title"]'))).toBe('Придумайте PIN-код')
      await createPin(session, 'Игорь Петров', '654321')

      await endShift(session)
      await waitForRoute(session, '/quick-login')
      await typePin(session, '123456')
      await waitForRoute(session, '/menu?welcome=1')
      expect(await session.waitForText('[data-test="menu-worker"]')).toBe('Анна Смирнова')
      const accounts = await session.execute<Array<{ name: string; pin: string }>>('return JSON.parse(localStorage.getItem("zv_accounts"))')
      expect(accounts.map((a) => [a.name, a.pin])).toEqual([
        ['Анна Смирнова', '123456'],
        ['Игорь Петров', '654321'],
      ])
    } finally {
      await session.close()
    }
  })

  it('a tsd-auth://pin link signs the device in', async () => {
    const { session, profile } = await rig.open()
    try {
      await waitForRoute(session, '/device-auth')
      const second = launch(profile, rig.display.name, ['tsd-auth://pin/34567890'])
      expect(await second.exited()).toBe(0)
      await waitForRoute(session, (r) => r.startsWith('/create-pin?'))
      await createPin(session, 'Мария Козлова', '135790')
    } finally {
      await session.close()
    }
  })

  it('demonstration mode opens from device sign-in and "Выйти" leaves it', async () => {
    const { session } = await rig.open()
    try {
      await waitForRoute(session, '/device-auth')
      await press(session, '[data-test="try-demo"]')
      await waitForRoute(session, '/menu')
      expect(await session.waitForText('[data-test="menu-demo"]')).toBe('Демо-режим')
      expect(await session.waitForText('[data-test="menu-worker"]')).toBe('Демо Сборщик')
      await endShift(session)
      await waitForRoute(session, '/device-auth')
      await waitFor('an anonymous connection', async () => (await rig.standIn.connections()).some((c) => c.kind === 'anon'))
    } finally {
      await session.close()
    }
  })
})
