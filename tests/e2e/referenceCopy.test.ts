// The product reference copy in the desktop app against the local service host: after sign-in the copy
// fills by itself; with the service out of reach, a code that is not in the open document but is a
// product of the account answers "в номенклатуре есть" from the copy; the copy outlives a restart.
import { describe, expect, it } from 'vitest'
import { accountDocuments } from '../../ui/demo'
import { copyCount } from './harness/referenceCopy'
import { press, signInWithDeviceCode, typePin, useStandInRig, waitForRoute, waitForStartup } from './harness/standInApp'
import { waitFor } from './harness/wait'
import { Session } from './harness/webdriver'

const rig = useStandInRig()

const ACCOUNT = 'acc-master'
const PIN = '246810'
const CATALOGUE = 2_500

/** Types a code into the scanner's field as a wedge scanner does and waits for the message to read `text`. */
async function scanFor(session: Session, code: string, text: string): Promise<void> {
  const shown = () => session.execute<string>('return document.querySelector(\'[data-test="scan-message"]\').textContent.trim()')
  await session.type(await session.find('[data-test="scanner-wedge"]'), `${code}\uE007`)
  await waitFor(`the message "${text}"`, async () => (await shown()) === text || undefined).catch(async (err: Error) => {
    throw new Error(`${err.message}: the screen says "${await shown()}"`)
  })
}

/** Opens a document by its address and waits for its positions. */
async function openDocument(session: Session, id: string, positions: number): Promise<void> {
  await session.execute('location.hash = arguments[0]', `#/documents/${encodeURIComponent(id)}?type=shipment`)
  await session.waitForText('[data-test="tab-list"]', (t) => t.includes(`(${positions})`), 60_000)
}

describe('the product reference copy in the desktop app', () => {
  it('fills after sign-in, answers an unknown scan without a connection, and outlives a restart', { timeout: 240_000 }, async () => {
    const { standIn } = rig
    const [, , third] = (await standIn.control<{ products: Array<{ name: string; article: string; barcodes: string[] }> }>('POST', '/seed-catalogue', {
      accountId: ACCOUNT,
      size: CATALOGUE,
    })).products
    const doc = await standIn.control<{ documentId: string }>('POST', '/seed-document', { accountId: ACCOUNT, size: 3, id: 'reference-3' })
    const total = accountDocuments(standIn.host.backend, ACCOUNT)!.products.size
    // Stored with a leading zero, scanned without it.
    expect(third!.barcodes[0]!.startsWith('0')).toBe(true)
    const scanned = third!.barcodes[0]!.replace(/^0+/, '')
    const note = `Нет в документе, но в номенклатуре есть: ${third!.name} (${third!.article})`

    const { profile, session: first } = await rig.open()
    let session = first
    try {
      // Олег Орлов signs in with his device code and makes a PIN; the copy fills by itself.
      await signInWithDeviceCode(session, '45678901', 'Олег Орлов', PIN)
      await waitFor('the copy to fill', async () => (await copyCount(session)) === total || undefined, 60_000).catch(async (err: Error) => {
        const asked = (await standIn.messages('assortmentSync')).map((m) => m.p)
        throw new Error(`${err.message}: the copy holds ${await copyCount(session)} of ${total}, the app asked ${JSON.stringify(asked).slice(0, 300)}`)
      })
      const pages = await standIn.messages('assortmentSync')
      expect(pages.length).toBe(Math.ceil(total / 1000))
      expect(pages[0]!.p).toEqual({ limit: 1000 })

      await session.execute('location.hash = "#/settings?section=work"')
      await press(session, '[data-test="scanner-mode"] option[value="wedge"]')
      await waitFor('the wedge scanner setting', () =>
        session.execute<boolean>('return document.querySelector(\'[data-test="scanner-mode"]\').value === "wedge"'),
      )
      await openDocument(session, doc.documentId, 3)

      // The service is out of reach: the answer comes from the copy, and nothing is asked of the server.
      await standIn.control('POST', '/outage', { ms: 180_000 })
      try {
        await waitFor('the device to be cut off', async () => (await standIn.connections()).length === 0 || undefined)
        await scanFor(session, scanned, note)
        expect(await standIn.messages('barcodeCheck')).toEqual([])

        // A restart, still without the service: the copy is there at once.
        await session.close()
        session = await Session.start(profile, rig.display.name)
        await waitForStartup(session)
        expect(await copyCount(session)).toBe(total)
        await waitForRoute(session, '/quick-login')
        await typePin(session, PIN)
        await waitForRoute(session, (r) => r.startsWith('/menu'))
        await openDocument(session, doc.documentId, 3)
        await scanFor(session, scanned, note)
      } finally {
        await standIn.control('POST', '/outage', { ms: 0 })
      }
    } finally {
      await session.close()
    }
  })
})
