// @vitest-environment node
// The sign-in flows against the real local service host over a real Socket.IO connection.
import { afterAll, afterEach, beforeAll, beforeEach, describe, expect, it, vi } from 'vitest'
import { createMemoryHistory, createRouter } from 'vue-router'
import { readAccountMode } from '../accountMode'
import { useAccountStore } from '../accountStore'
import { useAuthStore } from '../authStore'
import { readLocal, writeLocal } from '../localStore'
import { readCurrentAccount, readSavedAccounts } from '../savedAccounts'
import { connectSocket, disconnectSocket, enterDemoMode, isDemoMode, startSession } from '../session'
import { useSettingsStore } from '../settings'
import { useSocketStore } from '../socketStore'
import { endSession, freshSession, saveAccounts, type SessionKit } from '../testing/sessionKit'
import { eventually, StandIn } from '../testing/standIn'
import { deviceAuthOutcome } from './deviceCode'
import {
  beginPinCreation,
  chooseMode,
  DEVICE_TYPE_ASKED_KEY,
  endShift,
  firstPinEntry,
  MODE_TEXTS,
  openAppAfterPin,
  PIN_TEXTS,
  quickLogin,
  savePinAccount,
  signInWithDeviceCode,
  signInWorker,
  unbindAccount,
} from './flows'

let standIn: StandIn
let kit: SessionKit

beforeAll(async () => {
  standIn = await StandIn.start()
})
afterAll(() => standIn.close())
beforeEach(async () => {
  await standIn.reset()
  kit = freshSession(standIn.url)
})
afterEach(() => endSession())

const connected = () => eventually('the channel to connect', () => useSocketStore().isConnected)
const menu = () => vi.fn(async (_path: string) => undefined)

/** Device code → PIN, as the screens do it; answers the saved account. */
async function addEmployee(code: string, pin: string) {
  const device = await signInWithDeviceCode(code)
  const name = await beginPinCreation(device.deviceJwt)
  expect(firstPinEntry(pin)).toEqual({ ok: true })
  const saved = savePinAccount(pin, { ...device, userName: name })
  if (!saved.ok) throw new Error(`not saved: ${saved.reason}`)
  expect(await openAppAfterPin(menu())).toBe(true)
  return saved.account
}

describe('device code and PIN creation', () => {
  it('signs the device in, names the employee and keeps him under his PIN', async () => {
    await startSession(() => {})
    await connected()
    expect(readLocal('zv_anon_jwt')).toBeDefined()

    const account = await addEmployee('1234-5678', '123456')

    expect(account).toMatchObject({ pin: '123456', name: 'Анна Смирнова' })
    expect(readSavedAccounts()).toEqual([account])
    expect(readLocal('zv_anon_jwt')).toBeUndefined()
    expect(useAuthStore().deviceJwt).toBe(account.deviceJwt)
    expect(useAuthStore().workerSession).toEqual({ workerId: account.id, workerName: 'Анна Смирнова', token: '' })
    expect(readCurrentAccount()).toEqual({ id: account.id, name: 'Анна Смирнова' })
    // The channel now speaks for the new device.
    const conns = await eventually('the device connection', async () => {
      const list = await standIn.connections()
      return list.some((c) => c.token === account.deviceJwt) ? list : undefined
    })
    expect(conns.map((c) => c.kind)).toEqual(['device'])
  })

  it('the first PIN on the device switches the scanner to manual entry, the second leaves it', async () => {
    await startSession(() => {})
    await connected()
    const settings = useSettingsStore()
    settings.applySettings({ work: { scannerMode: 'camera' } })

    await addEmployee('1234-5678', '123456')
    expect(readLocal(DEVICE_TYPE_ASKED_KEY)).toBe('1')
    expect(settings.work.scannerMode).toBe('manual')
    expect(readLocal<{ scannerMode: string }>('settings_work')?.scannerMode).toBe('manual')

    settings.applySettings({ work: { scannerMode: 'camera' } })
    await settings.saveDeviceSettings()
    await addEmployee('2345-6789', '654321')
    expect(settings.work.scannerMode).toBe('camera')
    expect(readSavedAccounts().map((a) => a.name)).toEqual(['Анна Смирнова', 'Игорь Петров'])
  })

  it('a PIN another employee of this device uses is refused at the first entry', async () => {
    saveAccounts({ token: 'x.y.z', refreshToken: 'r', name: 'Игорь' })
    const taken = readSavedAccounts()[0]!.pin
    expect(firstPinEntry(taken)).toEqual({ ok: false, message: PIN_TEXTS.taken })
    expect(savePinAccount(taken, { deviceJwt: 'a.b.c', refreshToken: 'r2' })).toEqual({ ok: false, reason: 'pin-taken' })
  })

  it('a full storage saves nothing and signs nobody in, so saving can be repeated', async () => {
    kit.storage.quotaLeft = 0
    expect(savePinAccount('111111', { deviceJwt: 'a.b.c', refreshToken: 'r' })).toEqual({ ok: false, reason: 'storage' })
    expect(useAuthStore().workerSession).toBeNull()
    expect(readCurrentAccount()).toBeNull()

    kit.storage.quotaLeft = Infinity
    const again = savePinAccount('111111', { deviceJwt: 'a.b.c', refreshToken: 'r' })
    expect(again.ok).toBe(true)
    expect(readSavedAccounts()).toHaveLength(1)
  })

  it('a menu that does not open is reported, so it can be opened again', async () => {
    writeLocal(DEVICE_TYPE_ASKED_KEY, '1')
    expect(await openAppAfterPin(async () => Promise.reject(new Error('chunk failed')))).toBe(false)
    const router = createRouter({ history: createMemoryHistory(), routes: [{ path: '/:any(.*)', component: {} }] })
    const stop = router.beforeEach((to) => to.path !== '/menu')
    expect(await openAppAfterPin((path) => router.replace(path))).toBe(false) // an aborted navigation
    stop()
    expect(await openAppAfterPin((path) => router.replace(path))).toBe(true)
    expect(await openAppAfterPin(async () => undefined)).toBe(true)
  })

  it('five wrong codes lock the form for 45 seconds without a text', async () => {
    await startSession(() => {})
    await connected()
    const outcomes = []
    for (let i = 0; i < 5; i++) {
      outcomes.push(await signInWithDeviceCode('0000-0000').then(() => undefined, (err: Error) => deviceAuthOutcome(err.message)))
    }
    expect(outcomes.slice(0, 4)).toEqual(Array(4).fill({ message: 'Неверный код или истек срок действия.' }))
    expect(outcomes[4]).toEqual({ lockSeconds: 45 })
  })
})

describe('quick login', () => {
  it('a wrong PIN reaches the server only as a refused outcome', async () => {
    const t = await standIn.mint('u-igor')
    saveAccounts({ ...t, name: 'Игорь Петров' })
    await startSession(() => {})
    await connected()

    expect(quickLogin('999999')).toBeNull()

    const sent = await eventually('the outcome', async () => {
      const all = await standIn.messages()
      return all.some((m) => m.c === 'userPinAuth') ? all : undefined
    })
    expect(sent.filter((m) => m.c === 'userPinAuth').map((m) => m.p)).toEqual([{ success: false }])
    expect(JSON.stringify(sent)).not.toContain('999999')
    expect(useAuthStore().deviceJwt).toBeNull()
  })

  it('the right PIN signs that account in, applies its settings and reports success on its own connection', async () => {
    const older = await standIn.mint('u-igor')
    const newer = await standIn.mint('u-maria')
    const [igor] = saveAccounts({ ...older, name: 'Игорь Петров' }, { ...newer, name: 'Мария Козлова' })
    const accounts = readSavedAccounts()
    accounts[0]!.settings = { sound: { volume: 0.3 } }
    writeLocal('zv_accounts', accounts)
    await startSession(() => {})
    await connected()

    expect(quickLogin(igor!.pin)?.id).toBe(igor!.id)

    expect(useAuthStore().deviceJwt).toBe(older.token)
    expect(readCurrentAccount()).toEqual({ id: igor!.id, name: 'Игорь Петров' })
    expect(useSettingsStore().sound.volume).toBe(0.3)
    const report = await eventually('the outcome', async () => (await standIn.messages('userPinAuth'))[0])
    expect(report.p).toEqual({ success: true })
    const conns = await standIn.connections()
    expect(conns.find((c) => c.id === report.conn)?.token).toBe(older.token)
    await eventually('the capabilities', () => useAccountStore().received)
  })
})

describe('worker sign-in, end of shift and demonstration', () => {
  it('a badge signs the worker in; a wrong code does not', async () => {
    const t = await standIn.mint('u-anna')
    useAuthStore().setDeviceJwt(t.token)
    connectSocket()
    await connected()
    expect(await signInWorker('qr', 'W-0002')).toBe(true)
    expect(useAuthStore().workerSession).toMatchObject({ workerId: 'w-denis', workerName: 'Денис Волков' })
    expect(await signInWorker('pin', '000000')).toBe(false)
  })

  it('end of shift signs the worker out for quick login; in demo mode it leaves demo for device sign-in', async () => {
    useAuthStore().setDeviceJwt('a.b.c')
    expect(await endShift()).toBe('/quick-login')
    expect(useAuthStore().deviceJwt).toBeNull()

    enterDemoMode()
    expect(isDemoMode()).toBe(true)
    expect(await endShift()).toBe('/device-auth')
    expect(isDemoMode()).toBe(false)
    expect((await eventually('an anonymous connection', async () => (await standIn.connections())[0])).kind).toBe('anon')
  })
})

describe('the working mode', () => {
  it('an administrator chooses it; anyone else is told who does', async () => {
    const admin = await standIn.mint('u-sveta')
    useAuthStore().setDeviceJwt(admin.token)
    connectSocket()
    await connected()
    // The choice is offered once the capabilities are in: their mode must not overwrite the chosen one.
    await eventually('the capabilities', () => useAccountStore().received)
    expect(await chooseMode('radio')).toEqual({ ok: true })
    expect(readAccountMode().profile).toBe('radio')

    disconnectSocket()
    const user = await standIn.mint('u-kirill')
    useAuthStore().setDeviceJwt(user.token)
    connectSocket()
    await connected()
    expect(await chooseMode('orders')).toEqual({ ok: false, forbidden: true, message: MODE_TEXTS.forbidden })

    disconnectSocket()
    expect(await chooseMode('orders')).toEqual({ ok: false, forbidden: false, message: MODE_TEXTS.failed })
  })
})

describe('unbinding', () => {
  it('another account while offline is removed here and the notice says the server was not reached', async () => {
    const mine = await standIn.mint('u-anna')
    const other = await standIn.mint('u-igor')
    const [me, them] = saveAccounts(mine, other)
    useAuthStore().setDeviceJwt(mine.token)
    useAuthStore().setWorkerSession({ workerId: me!.id, workerName: me!.name, token: '' })

    const outcome = await unbindAccount(them!)

    expect(outcome).toEqual({
      notice: 'Запись удалена. Сессию на сервере отозвать не удалось: нет связи с сервером, срок ее истечет сам',
    })
    expect(readSavedAccounts().map((a) => a.id)).toEqual([me!.id])
    expect(standIn.host.backend.authenticate(other.token)).toMatchObject({ kind: 'device' })
  })

  it('another account while connected ends its session; the last one leads to device sign-in', async () => {
    const other = await standIn.mint('u-igor')
    const [them] = saveAccounts(other)
    const anon = await standIn.mint('u-anna')
    useAuthStore().setDeviceJwt(anon.token)
    connectSocket()
    await connected()

    expect(await unbindAccount(them!)).toEqual({ next: '/device-auth', notice: '' })
    expect(standIn.host.backend.authenticate(other.token)).toEqual({ error: 'auth: session revoked' })
  })

  it('the current account de-authorises the device and goes to quick login with the next account', async () => {
    const older = await standIn.mint('u-igor')
    const mine = await standIn.mint('u-anna')
    const [igor, me] = saveAccounts(older, mine)
    useAuthStore().setDeviceJwt(mine.token)
    useAuthStore().setWorkerSession({ workerId: me!.id, workerName: me!.name, token: '' })
    connectSocket()
    await connected()

    expect(await unbindAccount(me!)).toEqual({ next: '/quick-login', notice: '' })
    expect(readSavedAccounts().map((a) => a.id)).toEqual([igor!.id])
    expect(useAuthStore().deviceJwt).toBeNull()
    expect((await eventually('the next account connects', async () => (await standIn.connections()).find((c) => c.token === older.token)))).toBeDefined()
  })
})
