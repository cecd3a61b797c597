// Inventory in the desktop app against the local service host. A picker counts 300 units by wedge
// scanner; the service goes out of reach in the middle and the app is killed with SIGKILL right after a
// scan's outcome (its sound) while scans wait on the device; after the start and the reconnection the
// service holds exactly the 300 scans, none twice. A second device counting the same session and this
// one see each other's counts, and a photo attached to a unit arrives on the service.
import { afterAll, describe, expect, it } from 'vitest'
import type { Profile } from './harness/desktopApp'
import { killApp } from './harness/processes'
import { chooseScannerMode, press, scanByWedge, signInWithDeviceCode, textOf, typePin, useStandInRig, waitForRoute, waitForStartup } from './harness/standInApp'
import { waitFor } from './harness/wait'
import { Session } from './harness/webdriver'

const rig = useStandInRig()
const ACCOUNT = 'acc-master'
const USER = 'u-oleg'
const PIN = '864209'
const codes = Array.from({ length: 300 }, (_, i) => `46${String(1000000 + i).padStart(11, '0')}`)

interface Held {
  sessions: Array<{ id: number; status: string; scanCount: number; distinctScanUids: number; scans: Array<{ scanUid: string; code: string; note: string }> }>
  photos: Array<{ scanUid: string; size: number; type: string }>
}

const held = (sessionId: number) => rig.standIn.control<Held>('GET', `/inventory-sessions?accountId=${ACCOUNT}&sessionId=${sessionId}`)
const asOtherDevice = <T,>(body: Record<string, unknown>) => rig.standIn.control<{ reply: T }>('POST', '/inventory/command', { userId: USER, ...body })

let app: { session: Session; profile: Profile } | undefined
let sessionId = 0

afterAll(async () => {
  await app?.session.close()
})

/** Scans one code and expects it saved on the device. */
async function scanSaved(session: Session, code: string): Promise<void> {
  const said = await scanByWedge(session, code)
  if (said !== `Скан сохранен: ${code}`) throw new Error(`the scan of ${code} says "${said}"`)
}

/** Waits until the session screen takes scans. */
const scannerReady = (session: Session) => waitFor('the scanner', async () => (await session.findAll('[data-test="scanner-wedge"]'))[0], 30_000)

const counter = (session: Session, name: string) => textOf(session, `[data-test="counter-${name}"]`)

describe('inventory in the desktop app', () => {
  it('300 wedge scans through an outage and a SIGKILL reach the service exactly once each', { timeout: 600_000 }, async () => {
    await rig.standIn.control('POST', '/inventory/reset', { sessions: true })
    app = await rig.open()
    let { session } = app
    await signInWithDeviceCode(session, '45678901', 'Олег Орлов', PIN)
    await chooseScannerMode(session, 'wedge')
    await session.execute('location.hash = "#/menu"')
    await press(session, '[data-test="tile-inventory"]')
    await waitForRoute(session, '/radio/inventory')
    await press(session, '[data-test="inventory-start"]')
    const route = await waitForRoute(session, (r) => /^\/radio\/inventory\/\d+$/.test(r))
    sessionId = Number(route.split('/').pop())
    await scannerReady(session)

    for (const code of codes.slice(0, 100)) await scanSaved(session, code)

    // Out of reach: scans are still taken at once and wait on the device; killed right after one of them.
    await rig.standIn.control('POST', '/outage', { ms: 120_000 })
    try {
      for (const code of codes.slice(100, 200)) await scanSaved(session, code)
      expect(Number(await counter(session, 'waiting'))).toBeGreaterThan(0)
      await killApp(app.profile)
      await session.close()
    } finally {
      await rig.standIn.control('POST', '/outage', { ms: 0 })
    }
    expect((await held(sessionId)).sessions[0]!.scanCount).toBeLessThan(200)

    // Started again: the scans that waited go out, and counting goes on.
    session = await Session.start(app.profile, rig.display.name)
    app = { session, profile: app.profile }
    await waitForStartup(session)
    await waitForRoute(session, '/quick-login')
    await typePin(session, PIN)
    await waitForRoute(session, (r) => r.startsWith('/menu'))
    await session.execute(`location.hash = "#/radio/inventory/${sessionId}"`)
    await scannerReady(session)
    for (const code of codes.slice(200)) await scanSaved(session, code)

    const done = await waitFor('the service to hold 300 scans', async () => {
      const s = (await held(sessionId)).sessions[0]!
      return s.scanCount >= 300 ? s : undefined
    }, 90_000).catch(async (err: Error) => {
      const s = (await held(sessionId)).sessions[0]
      throw new Error(`${err.message}: the service holds ${s?.scanCount}, the device waits with ${await counter(session, 'waiting')} (${await textOf(session, '[data-test="inventory-note"]')})`)
    })
    expect(done.scanCount).toBe(300)
    expect(done.distinctScanUids).toBe(300)
    expect(done.scans.map((s) => s.code).sort()).toEqual([...codes].sort())
    await waitFor('nothing waiting on the device', async () => (await counter(session, 'waiting')) === '0', 30_000)
    // The counters come back from the service after its answer.
    await waitFor('the session\'s count of 300', async () => (await counter(session, 'scans')) === '300', 30_000)
  })

  it('two devices counting the same session see each other\'s counts', { timeout: 120_000 }, async () => {
    const { session } = app!
    await asOtherDevice({ sessionId, codes: ['4607001234562', '4607001234562', 'ДРУГОЙ-1'] })
    await waitFor('the other device\'s scans on this one', async () => (await counter(session, 'scans')) === '303', 40_000)
    expect(await counter(session, 'repeats')).toBe('1')

    await scanSaved(session, 'ЭТОТ-1')
    const seen = await waitFor('this device\'s scan on the other one', async () => {
      const { reply } = await asOtherDevice<{ counters?: { scans: number } }>({ c: 'inventorySessionGet', p: { sessionId } })
      return reply?.counters?.scans === 304 ? reply : undefined
    }, 30_000)
    expect(seen.counters).toMatchObject({ scans: 304 })
  })

  it('a photo attached to a unit arrives on the service', { timeout: 120_000 }, async () => {
    const { session } = app!
    const row = '[data-test="inventory-scan"][data-pending="false"]'
    await waitFor('a delivered unit', async () => (await session.findAll(row))[0])
    const uid = await session.execute<string>(`return document.querySelector('${row}').dataset.uid`)
    // A 1 × 1 PNG handed to the unit's file field as a user's choice would be.
    await session.execute(
      `const bin = atob('iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==')
       const bytes = new Uint8Array(bin.length)
       for (let i = 0; i < bin.length; i++) bytes[i] = bin.charCodeAt(i)
       const input = document.querySelector('[data-test="inventory-scan"][data-uid="' + arguments[0] + '"] [data-test="inventory-photo-file"]')
       const dt = new DataTransfer(); dt.items.add(new File([bytes], 'unit.png', { type: 'image/png' }))
       input.files = dt.files; input.dispatchEvent(new Event('change'))`,
      uid,
    )
    expect(await session.waitForText('[data-test="inventory-message"]', (t) => t !== 'Отправляем фото…', 60_000)).toBe('Фото отправлено')
    const photos = (await held(sessionId)).photos.filter((p) => p.scanUid === uid)
    expect(photos).toHaveLength(1)
    expect(photos[0]!.size).toBeGreaterThan(0)
  })

  it('a unit\'s note edited in its dialog reaches the service', { timeout: 120_000 }, async () => {
    const { session } = app!
    const row = '[data-test="inventory-scan"][data-pending="false"]'
    const uid = await session.execute<string>(`return document.querySelector('${row}').dataset.uid`)
    await press(session, `[data-test="inventory-scan"][data-uid="${uid}"] [data-test="inventory-edit"]`)
    await session.type(await session.find('[data-test="scan-edit-note"]'), 'вмятина на коробке')
    await press(session, '[data-test="scan-edit-save"]')
    await waitFor('the dialog to close', async () => ((await session.findAll('[data-test="scan-edit"]')).length === 0 ? true : undefined), 20_000)
    const note = await waitFor('the note on the service', async () => {
      const scan = (await held(sessionId)).sessions[0]!.scans.find((s) => s.scanUid === uid)
      return scan?.note ? scan.note : undefined
    }, 20_000)
    expect(note).toBe('вмятина на коробке')
  })
})
