// @vitest-environment happy-dom
// @vitest-environment-options {"settings":{"fetch":{"disableSameOriginPolicy":true}}}
// The sign-in screens mounted with the real session against the local service host.
import { flushPromises, mount, type VueWrapper } from '@vue/test-utils'
import { afterAll, afterEach, beforeAll, beforeEach, describe, expect, it, vi } from 'vitest'
import { createMemoryHistory, createRouter, type Router } from 'vue-router'
import DeviceAuthView from '../DeviceAuthView.vue'
import MenuView from '../MenuView.vue'
import { useAuthStore } from '../authStore'
import { readSavedAccounts } from '../savedAccounts'
import { connectSocket, startSession } from '../session'
import { writeAccountMode } from '../accountMode'
import { useAccountStore } from '../accountStore'
import { forgetModeChoiceDismissal, installSignInGuard } from './guard'
import { useSocketStore } from '../socketStore'
import { endSession, freshSession, saveAccounts } from '../testing/sessionKit'
import { eventually, StandIn } from '../testing/standIn'
import AuthorizationsView from './AuthorizationsView.vue'
import ChooseModeView from './ChooseModeView.vue'
import CreatePinView from './CreatePinView.vue'
import { PIN_TEXTS, WRONG_PIN } from './flows'
import { DEBUG_CONSOLE_TOGGLE } from '../startup'
import { documentsFeature } from '../../documents'
import { MENU_TILES } from '../feature'
import QuickLoginView from './QuickLoginView.vue'

let standIn: StandIn
const mounted: VueWrapper[] = []

beforeAll(async () => {
  standIn = await StandIn.start()
})
afterAll(() => standIn.close())
beforeEach(async () => {
  await standIn.reset()
  freshSession(standIn.url)
})
afterEach(() => {
  for (const w of mounted.splice(0)) w.unmount()
  endSession()
  vi.useRealTimers()
})

const Stub = { template: '<div />' }

function routerAt(path: string): Router {
  const paths = ['/', '/device-auth', '/create-pin', '/quick-login', '/menu', '/settings', '/choose-mode', '/authorizations', '/worker-auth']
  return createRouter({ history: createMemoryHistory(), routes: paths.map((p) => ({ path: p, component: Stub })) })
}

async function show(component: object, path: string): Promise<{ w: VueWrapper; router: Router }> {
  const router = routerAt(path)
  await router.push(path)
  const w = mount(component, { global: { plugins: [router], provide: { [MENU_TILES]: documentsFeature.tiles } }, attachTo: document.body })
  mounted.push(w)
  await flushPromises()
  return { w, router }
}

async function typePin(w: VueWrapper, pin: string) {
  for (const d of pin) await w.get(`[data-test="key-${d}"]`).trigger('click')
  await flushPromises()
}

const connected = () => eventually('the channel to connect', () => useSocketStore().isConnected)

describe('device sign-in', () => {
  it('after too many wrong codes shows a 45-second ring and no text, and keeps the button off', async () => {
    await startSession(() => {})
    await connected()
    const { w } = await show(DeviceAuthView, '/device-auth')
    const field = w.get('[data-test="device-code"]')
    const button = w.get('[data-test="device-code-submit"]')

    await field.setValue('00000000')
    expect((field.element as HTMLInputElement).value).toBe('0000-0000')
    for (let i = 0; i < 4; i++) {
      await button.trigger('click')
      await eventually('the refusal', async () => {
        await flushPromises()
        return w.find('[data-test="device-auth-message"]').exists()
      })
      expect(w.get('[data-test="device-auth-message"]').text()).toBe('Неверный код или истек срок действия.')
    }
    await button.trigger('click')
    await eventually('the lock-out', async () => {
      await flushPromises()
      return w.find('[data-test="lock-ring"]').exists()
    })
    expect(w.get('[data-test="lock-seconds"]').text()).toBe('45')
    expect(w.find('[data-test="device-auth-message"]').exists()).toBe(false)
    expect(button.attributes('disabled')).toBeDefined()
  })

  it('a code from a link is sent at once and opens PIN creation with the new tokens', async () => {
    await startSession(() => {})
    await connected()
    const { router } = await show(DeviceAuthView, '/device-auth?autoPin=12345678')
    await eventually('PIN creation', async () => {
      await flushPromises()
      return router.currentRoute.value.path === '/create-pin'
    })
    const q = router.currentRoute.value.query
    expect(standIn.host.backend.authenticate(q.deviceJwt)).toMatchObject({ kind: 'device', userId: 'u-anna' })
    expect(q.refreshToken).toMatch(/^rt-/)
  })

  it('sends a device with saved employees to quick login unless one is being added', async () => {
    saveAccounts({ token: 'a.b.c', refreshToken: 'r' })
    expect((await show(DeviceAuthView, '/device-auth')).router.currentRoute.value.path).toBe('/quick-login')
    expect((await show(DeviceAuthView, '/device-auth?addEmployee=1')).router.currentRoute.value.path).toBe('/device-auth')
  })
})

describe('PIN creation', () => {
  it('refuses a PIN of another employee before the second entry, asks twice, starts over on a mismatch, then opens the menu', async () => {
    saveAccounts({ token: 'x.y.z', refreshToken: 'r', name: 'Игорь' })
    const taken = readSavedAccounts()[0]!.pin
    const t = await standIn.mint('u-maria')
    const { w, router } = await show(CreatePinView, `/create-pin?deviceJwt=${t.token}&refreshToken=${t.refreshToken}`)
    await eventually('the name', async () => {
      await flushPromises()
      return w.find('[data-test="create-pin-name"]').exists()
    })
    expect(w.get('[data-test="create-pin-name"]').text()).toBe('Мария Козлова')
    const title = () => w.get('[data-test="create-pin-title"]').text()

    await typePin(w, taken)
    expect(w.get('[data-test="create-pin-message"]').text()).toBe(PIN_TEXTS.taken)
    expect(title()).toBe('Придумайте PIN-код')

    await typePin(w, '246810')
    expect(title()).toBe('Повторите PIN-код')
    await typePin(w, '246811')
    expect(w.get('[data-test="create-pin-message"]').text()).toBe(PIN_TEXTS.mismatch)
    expect(title()).toBe('Придумайте PIN-код')

    await typePin(w, '246810')
    await typePin(w, '246810')
    await eventually('the menu', async () => {
      await flushPromises()
      return router.currentRoute.value.path === '/menu'
    })
    expect(readSavedAccounts().map((a) => [a.name, a.pin])).toEqual([
      ['Игорь', taken],
      ['Мария Козлова', '246810'],
    ])
  })

  it('takes the PIN from the keyboard too: digits, Backspace and Delete', async () => {
    const { w } = await show(CreatePinView, '/create-pin?deviceJwt=a.b.c&refreshToken=r')
    const key = (k: string) => window.dispatchEvent(new KeyboardEvent('keydown', { key: k, cancelable: true }))
    for (const k of ['1', '2', '3', 'Backspace', '4', 'Delete', 'x', '5']) key(k)
    await flushPromises()
    expect(w.findAll('.pinpad__dot--filled')).toHaveLength(3)
  })
})

describe('quick login', () => {
  it('without saved employees says so and offers to add one', async () => {
    const { w, router } = await show(QuickLoginView, '/quick-login')
    expect(w.get('[data-test="quick-login-empty"]').text()).toBe('Нет сохраненных сотрудников.')
    expect(w.text()).toContain('Добавьте первого через кнопку ниже.')
    await w.get('[data-test="add-employee"]').trigger('click')
    await flushPromises()
    expect(router.currentRoute.value.fullPath).toBe('/device-auth?addEmployee=1')
  })

  it('a wrong PIN says so and clears the dots; the right one opens the menu with a welcome', async () => {
    const t = await standIn.mint('u-igor')
    const [igor] = saveAccounts({ ...t, name: 'Игорь Петров' })
    const { w, router } = await show(QuickLoginView, '/quick-login')

    await typePin(w, '000000')
    expect(w.get('[data-test="quick-login-message"]').text()).toBe(WRONG_PIN)
    expect(w.findAll('.pinpad__dot--filled')).toHaveLength(0)

    await typePin(w, igor!.pin)
    expect(router.currentRoute.value.fullPath).toBe('/menu?welcome=1')
    expect(useAuthStore().workerSession?.workerName).toBe('Игорь Петров')
  })
})

describe('the menu', () => {
  it('greets the worker for two seconds after a quick login', async () => {
    vi.useFakeTimers({ now: new Date(2026, 2, 3, 9, 15), toFake: ['setTimeout', 'clearTimeout', 'Date'] })
    useAuthStore().setWorkerSession({ workerId: 'a', workerName: 'Анна Смирнова', token: '' })
    const { w } = await show(MenuView, '/menu?welcome=1')
    expect(w.get('[data-test="menu-worker"]').text()).toBe('Анна Смирнова')
    expect(w.get('[data-test="menu-greeting"]').text()).toBe('Доброе утро, Анна!')
    vi.advanceTimersByTime(2_000)
    await flushPromises()
    expect(w.find('[data-test="menu-greeting"]').exists()).toBe(false)
  })

  it('waits for the account capabilities before drawing the tiles', async () => {
    useAccountStore().reset()
    const { w } = await show(MenuView, '/menu')
    expect(w.get('[data-test="capabilities-wait"]').text()).toContain('Проверяем возможности аккаунта…')
    expect(w.find('[data-test="menu-tiles"]').exists()).toBe(false)
    useAccountStore().apply({ uid: 'acc-lesnaya', moysklad: true })
    await flushPromises()
    expect(w.find('[data-test="capabilities-wait"]').exists()).toBe(false)
    // The tiles come from the documents feature, loaded with the menu.
    await eventually('the tiles', () => w.find('[data-test="menu-tiles"]').exists())
  })

  it('five taps on the title open the debug console; the badge sign-in is one tap away', async () => {
    const toggles = vi.fn()
    window.addEventListener(DEBUG_CONSOLE_TOGGLE, toggles)
    try {
      const { w, router } = await show(MenuView, '/menu')
      for (let i = 0; i < 5; i++) await w.get('[data-test="menu-title"]').trigger('click')
      expect(toggles).toHaveBeenCalledTimes(1)
      await w.get('[data-test="menu-worker-auth"]').trigger('click')
      await flushPromises()
      expect(router.currentRoute.value.path).toBe('/worker-auth')
    } finally {
      window.removeEventListener(DEBUG_CONSOLE_TOGGLE, toggles)
    }
  })

  it('"Выйти" asks first, then ends the shift and shows quick login', async () => {
    useAuthStore().setDeviceJwt('a.b.c')
    useAuthStore().setWorkerSession({ workerId: 'a', workerName: 'Анна', token: '' })
    const { w, router } = await show(MenuView, '/menu')
    await w.get('[data-test="menu-exit"]').trigger('click')
    expect(w.get('[data-test="confirm"]').text()).toContain('Завершить смену?')
    expect(w.get('[data-test="confirm"]').text()).toContain('Текущий сотрудник будет выведен из системы.')
    expect(w.get('[data-test="confirm"]').text()).toContain('Незавершенные операции сохранятся.')
    await w.get('[data-test="confirm-yes"]').trigger('click')
    await flushPromises()
    expect(router.currentRoute.value.path).toBe('/quick-login')
    expect(useAuthStore().deviceJwt).toBeNull()
  })
})

describe('authorisations on this computer', () => {
  it('lists the employees newest first and unbinds another one offline with a notice', async () => {
    const [older, me] = saveAccounts({ token: 'a.b.c', refreshToken: 'r1', name: 'Игорь' }, { token: 'd.e.f', refreshToken: 'r2', name: 'Анна' })
    useAuthStore().setDeviceJwt(me!.deviceJwt)
    const { w } = await show(AuthorizationsView, '/authorizations')
    expect(w.get('[data-test="auths-count"]').text()).toBe('Авторизовано 2 сотрудника')
    const items = w.findAll('[data-test="auths-item"]')
    expect(items.map((i) => i.get('[data-test="auths-name"]').text())).toEqual(['Анна', 'Игорь'])
    expect(items[0]!.text()).toContain('сейчас активен')
    expect(items[1]!.text()).not.toContain('сейчас активен')

    await items[1]!.get('[data-test="auths-unbind"]').trigger('click')
    expect(w.get('[data-test="confirm"]').text()).toContain('Запись пропадет с этого компьютера, сессия на сервере будет отозвана.')
    await w.get('[data-test="confirm-yes"]').trigger('click')
    await flushPromises()
    expect(w.get('[data-test="auths-notice"]').text()).toBe(
      'Запись удалена. Сессию на сервере отозвать не удалось: нет связи с сервером, срок ее истечет сам',
    )
    expect(w.get('[data-test="auths-count"]').text()).toBe('Авторизован 1 сотрудник')
    expect(readSavedAccounts().map((a) => a.id)).toEqual([me!.id])
    expect(older).toBeDefined()
  })
})

describe('the working mode', () => {
  it('a refusal for a non-administrator offers "Понятно", which stops asking for this run', async () => {
    forgetModeChoiceDismissal()
    const t = await standIn.mint('u-kirill')
    useAuthStore().setDeviceJwt(t.token)
    connectSocket()
    await connected()
    useAccountStore().apply({ moysklad: false, profile: '' })
    writeAccountMode({ moysklad: false, profile: '' })
    const { w, router } = await show(ChooseModeView, '/choose-mode')
    installSignInGuard(router)

    await w.get('[data-test="mode-orders"]').trigger('click')
    await eventually('the refusal', async () => {
      await flushPromises()
      return w.find('[data-test="mode-understood"]').exists()
    })
    expect(w.get('[data-test="mode-message"]').text()).toBe('Режим работы выбирает администратор аккаунта')
    await router.push('/menu')
    expect(router.currentRoute.value.path).toBe('/choose-mode') // still asked
    await w.get('[data-test="mode-understood"]').trigger('click')
    await flushPromises()
    expect(router.currentRoute.value.path).toBe('/menu')
  })
})
