// Inventory in the desktop app when the service is away at start, answers without its reply arriving,
// or cannot take a photo: the app restarted offline shows the inventory tile and the scans waiting on
// the device at once and keeps counting, and after a restart online every scan reaches the service
// exactly once without the session's screen being opened; a unit deleted while the service's answer
// about it was lost is deleted there too; a photo attached without a connection arrives after a restart.
import { afterAll, describe, expect, it } from 'vitest'
import type { Profile } from './harness/desktopApp'
import { killApp } from './harness/processes'
import { chooseScannerMode, press, route, scanByWedge, signInWithDeviceCode, textOf, typePin, useStandInRig, waitForRoute, waitForStartup } from './harness/standInApp'
import { waitFor } from './harness/wait'
import { Session } from './harness/webdriver'

const rig = useStandInRig()
const ACCOUNT = 'acc-master'
const PIN = '864209'

interface Held {
  sessions: Array<{ id: number; scanCount: number; distinctScanUids: number; scans: Array<{ scanUid: string; code: string }> }>
  photos: Array<{ scanUid: string; size: number }>
}
const held = (sessionId: number) => rig.standIn.control<Held>('GET', `/inventory-sessions?accountId=${ACCOUNT}&sessionId=${sessionId}`)
const outage = (ms: number) => rig.standIn.control('POST', '/outage', { ms })

let app: { session: Session; profile: Profile } | undefined
let sessionId = 0

afterAll(async () => {
  await app?.session.close()
  await outage(0)
})

async function scanSaved(session: Session, code: string): Promise<void> {
  const said = await scanByWedge(session, code)
  if (said !== `Скан сохранен: ${code}`) throw new Error(`the scan of ${code} says "${said}"`)
}
const scannerReady = (session: Session) => waitFor('the scanner', async () => (await session.findAll('[data-test="scanner-wedge"]'))[0], 30_000)
const counter = (session: Session, name: string) => textOf(session, `[data-test="counter-${name}"]`)

/** Starts the app again on the same profile and signs in with the PIN (no connection needed). */
async function restart(profile: Profile): Promise<Session> {
  const session = await Session.start(profile, rig.display.name)
  app = { session, profile }
  await waitForStartup(session)
  await waitForRoute(session, '/quick-login')
  await typePin(session, PIN)
  await waitForRoute(session, (r) => r.startsWith('/menu'))
  return session
}

describe('inventory without the service', () => {
  it('restarted offline: the tile and the waiting scans at once, two more, and all reach the service once after a restart online', { timeout: 600_000 }, async () => {
    await rig.standIn.control('POST', '/inventory/reset', { sessions: true })
    app = await rig.open()
    let { session } = app
    await signInWithDeviceCode(session, '45678901', 'Олег Орлов', PIN)
    await chooseScannerMode(session, 'wedge')
    await session.execute('location.hash = "#/menu"')
    await press(session, '[data-test="tile-inventory"]')
    await waitForRoute(session, '/radio/inventory')
    await press(session, '[data-test="inventory-start"]')
    const r = await waitForRoute(session, (x) => /^\/radio\/inventory\/\d+$/.test(x))
    sessionId = Number(r.split('/').pop())
    await scannerReady(session)

    const first = ['4607000000011', '4607000000028', '4607000000035']
    await outage(600_000)
    for (const code of first) await scanSaved(session, code)
    expect(await counter(session, 'waiting')).toBe('3')
    await killApp(app.profile)
    await session.close()

    // Started again while the service is still away: the menu offers inventory, the session shows its
    // waiting scans as soon as it opens, and counting goes on.
    session = await restart(app.profile)
    await waitFor('the inventory tile', async () => (await session.findAll('[data-test="tile-inventory"]'))[0], 20_000)
    await press(session, '[data-test="tile-inventory"]')
    await press(session, `[data-test="inventory-session"][data-id="${sessionId}"]`)
    await scannerReady(session)
    await waitFor('the 3 waiting scans', async () => ((await counter(session, 'waiting')) === '3' ? true : undefined), 10_000)
    expect(await session.findAll('[data-test="inventory-scan"][data-pending="true"]')).toHaveLength(3)
    const more = ['4607000000042', '4607000000059']
    for (const code of more) await scanSaved(session, code)
    expect(await counter(session, 'waiting')).toBe('5')
    expect((await held(sessionId)).sessions[0]!.scanCount).toBe(0)
    await killApp(app.profile)
    await session.close()

    // Online again: nothing opens the session's screen, yet every scan goes out, once.
    await outage(0)
    session = await restart(app.profile)
    const done = await waitFor('the service to hold 5 scans', async () => {
      const s = (await held(sessionId)).sessions[0]!
      return s.scanCount >= 5 ? s : undefined
    }, 90_000)
    expect(done.scanCount).toBe(5)
    expect(done.distinctScanUids).toBe(5)
    expect(done.scans.map((s) => s.code).sort()).toEqual([...first, ...more].sort())
    expect(await route(session)).toMatch(/^\/menu/)
  })

  it('a scan whose batch reply was lost, deleted on the device, is gone from the service and the device within two pulls', { timeout: 240_000 }, async () => {
    const { session } = app!
    await session.execute(`location.hash = "#/radio/inventory/${sessionId}"`)
    await scannerReady(session)
    await rig.standIn.control('POST', '/inventory/outage', { mode: 'lost-reply', commands: ['inventoryScanAdd'] })
    const code = '4607000000066'
    try {
      await scanSaved(session, code)
      await waitFor('the scan on the service', async () => ((await held(sessionId)).sessions[0]!.scans.some((s) => s.code === code) ? true : undefined), 30_000)
      const uid = await waitFor('the scan still waiting on the device', () => session.execute<string | null>(
        `const row = [...document.querySelectorAll('[data-test="inventory-scan"][data-pending="true"]')].find((r) => r.textContent.includes(arguments[0]))
         return row ? row.dataset.uid : null`,
        code,
      ).then((u) => u ?? undefined))
      await press(session, `[data-test="inventory-scan"][data-uid="${uid}"] [data-test="inventory-edit"]`)
      await press(session, '[data-test="scan-edit-delete"]')
      await press(session, '[data-test="scan-edit-delete-yes"]')
      await waitFor('the dialog to close', async () => ((await session.findAll('[data-test="scan-edit"]')).length === 0 ? true : undefined), 10_000)
    } finally {
      await rig.standIn.control('POST', '/inventory/outage', { mode: 'off' })
    }
    await waitFor('the scan gone from the service', async () => ((await held(sessionId)).sessions[0]!.scans.some((s) => s.code === code) ? undefined : true), 60_000)
    const shown = () => session.execute<boolean>(
      `return [...document.querySelectorAll('[data-test="inventory-scan"]')].some((r) => r.textContent.includes(arguments[0]))`,
      code,
    )
    await waitFor('the scan gone from the device', async () => ((await shown()) ? undefined : true), 30_000)
    // Two pulls later (15 s each) the service still lacks it and the device has not brought it back.
    await waitFor('the counters to count 5', async () => ((await counter(session, 'scans')) === '5' ? true : undefined), 40_000)
    expect((await held(sessionId)).sessions[0]!.scanCount).toBe(5)
    expect(await shown()).toBe(false)
  })

  it('a photo attached without a connection reaches the service after a restart', { timeout: 300_000 }, async () => {
    let { session } = app!
    const row = '[data-test="inventory-scan"][data-pending="false"]'
    await waitFor('a delivered unit', async () => (await session.findAll(row))[0], 30_000)
    const uid = await session.execute<string>(`return document.querySelector('${row}').dataset.uid`)
    await outage(600_000)
    try {
      await session.execute(
        `const bin = atob('iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==')
         const bytes = new Uint8Array(bin.length)
         for (let i = 0; i < bin.length; i++) bytes[i] = bin.charCodeAt(i)
         const input = document.querySelector('[data-test="inventory-scan"][data-uid="' + arguments[0] + '"] [data-test="inventory-photo-file"]')
         const dt = new DataTransfer(); dt.items.add(new File([bytes], 'unit.png', { type: 'image/png' }))
         input.files = dt.files; input.dispatchEvent(new Event('change'))`,
        uid,
      )
      expect(await session.waitForText('[data-test="inventory-message"]', (t) => t !== 'Отправляем фото…', 60_000)).toBe('Фото сохранено на устройстве и уйдет, когда будет связь')
      expect(await counter(session, 'photos-waiting')).toBe('1')
      // Closed while the service is away: the photo is only on the device.
      await session.close()
    } finally {
      await outage(0)
    }
    expect((await held(sessionId)).photos.filter((p) => p.scanUid === uid)).toHaveLength(0)

    session = await restart(app!.profile)
    const photos = await waitFor('the photo on the service', async () => {
      const list = (await held(sessionId)).photos.filter((p) => p.scanUid === uid)
      return list.length > 0 ? list : undefined
    }, 90_000)
    expect(photos).toHaveLength(1)
    expect(photos[0]!.size).toBeGreaterThan(0)
  })
})
