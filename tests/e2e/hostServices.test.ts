import { describe, expect, it } from 'vitest'
import { launch } from './harness/desktopApp'
import { desktopSuite } from './harness/suite'
import { Session } from './harness/webdriver'
import { waitFor } from './harness/wait'

const suite = desktopSuite()
const fresh = suite.fresh

describe('the bridge from the page', () => {
  it('answers JSON, rejects with the host text, and refuses what the page may not call', async () => {
    const session = await Session.start(fresh(), suite.display().name)
    try {
      expect(await session.invokeFromPage('running_translated')).toEqual({ ok: true, value: false })
      expect(await session.invokeFromPage('nope')).toEqual({ ok: false, error: 'Command nope not found' })
      const wrong = await session.invokeFromPage('append_app_log', { line: 5 })
      expect(wrong.ok).toBe(false)
      expect(wrong.error).toContain('invalid args `line`')
      const openPath = await session.invokeFromPage('plugin:opener|open_path', { path: '/etc' })
      expect(openPath.error).toContain('not allowed')
    } finally {
      await session.close()
    }
  })

  it('store values survive a restart of the app', async () => {
    const profile = fresh()
    const first = await Session.start(profile, suite.display().name)
    try {
      const rid = (await first.invokeFromPage('plugin:store|load', { path: '.device.dat' })).value
      expect((await first.invokeFromPage('plugin:store|set', { rid, key: 'deviceId', value: 'dev-42' })).ok).toBe(true)
    } finally {
      await first.close()
    }
    const second = await Session.start(profile, suite.display().name)
    try {
      const rid = (await second.invokeFromPage('plugin:store|load', { path: '.device.dat' })).value
      expect((await second.invokeFromPage('plugin:store|get', { rid, key: 'deviceId' })).value).toEqual({
        value: 'dev-42',
        exists: true,
      })
    } finally {
      await second.close()
    }
  })
})

describe('deep links', () => {
  it('a second launch with a PIN link routes the running page to device sign-in; other links are ignored', async () => {
    const profile = fresh()
    const session = await Session.start(profile, suite.display().name)
    try {
      await waitFor('the page to subscribe to links', () =>
        session.execute<boolean>('return document.documentElement.dataset.deepLinks === "ready"'),
      )
      for (const ignored of ['zorvik://tour/', 'tsd-auth://login/99', 'tsd-auth://pin/']) {
        const other = launch(profile, suite.display().name, [ignored])
        expect(await other.exited()).toBe(0)
      }
      const second = launch(profile, suite.display().name, ['tsd-auth://pin/1234'])
      expect(await second.exited()).toBe(0)
      // Without a saved account the page is on device sign-in already; the link adds the PIN.
      const url = await waitFor('the device sign-in route with the PIN', async () => {
        const u = await session.url()
        return u.includes('autoPin=') ? u : undefined
      })
      expect(url.endsWith('#/device-auth?autoPin=1234')).toBe(true)
      expect(await session.waitForText('[data-test=auto-pin]')).toBe('1234')
      expect(await session.execute('return document.querySelector("[data-test=tour]")')).toBeNull()
    } finally {
      await session.close()
    }
  })

  it('a tour link starts the named tour', async () => {
    const profile = fresh()
    const session = await Session.start(profile, suite.display().name)
    try {
      await waitFor('the page to subscribe to links', () =>
        session.execute<boolean>('return document.documentElement.dataset.deepLinks === "ready"'),
      )
      const second = launch(profile, suite.display().name, ['zorvik://tour/%D0%BF%D0%BE%D0%B4%D0%B1%D0%BE%D1%80'])
      expect(await second.exited()).toBe(0)
      expect(await session.waitForText('[data-test=tour] span')).toBe('Обучение: подбор')
    } finally {
      await session.close()
    }
  })
})
