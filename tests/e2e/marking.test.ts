// Marking withdrawal in the desktop app against the stand-in, with the stand-in signing tools: a retail
// shipment with marks is picked and finished, the withdrawal question is answered "Вывести", the stand-in
// asks this computer to sign the withdrawal document, verifies the signature with OpenSSL and reports the
// outcome, and the signature settings show the server's notice.
import { join } from 'node:path'
import { afterAll, beforeAll, describe, expect, it } from 'vitest'
import { accountDocuments, type DemoDocument } from '../../ui/demo'
import { ROOT } from './harness/desktopApp'
import { press, restartAsDevice, scanByWedge, useStandInRig, waitForRoute } from './harness/standInApp'
import { chooseCertificate } from './harness/signingSettings'
import { waitFor } from './harness/wait'

const ACCOUNT = 'acc-master'
const TOOLS = join(ROOT, 'tests/fixtures/signing/tools')
const rig = useStandInRig()
const savedPath = process.env.PATH
beforeAll(() => {
  process.env.PATH = `${process.env.PATH ?? ''}:${TOOLS}`
})
afterAll(() => {
  process.env.PATH = savedPath
})

interface Task {
  taskId: string
  documentId: string
  state: string
  signature?: string
}

describe('marking withdrawal', () => {
  it('a retail shipment with marks: the picker says withdraw, this computer signs the withdrawal document, the settings show the notice', async () => {
    const { standIn } = rig
    await standIn.control('POST', '/withdrawal-options', { accountId: ACCOUNT, retail: true, ask: true })
    const docs = accountDocuments(standIn.host.backend, ACCOUNT)!
    const doc = docs.byType.get('shipment')!.find(
      (d: DemoDocument) => d.status === 'pending' && d.inFilter && d.positions.some((p) => docs.products.get(p.productId)!.markable),
    )!
    const { session } = await rig.open()
    try {
      const device = await standIn.mint('u-oleg')
      await restartAsDevice(session, standIn, device.token)
      const report = await waitFor('the certificate report', async () => {
        const sent = await standIn.messages('reportCertificates')
        return sent.find((m) => Array.isArray(m.p.certificates) && m.p.certificates.length > 0)?.p
      })
      const chosen = (report.certificates as Array<Record<string, unknown>>)[0]!
      await chooseCertificate(session, {
        thumbprint: chosen.thumbprint,
        inn: chosen.inn,
        consentAt: new Date().toISOString(),
        consentSubject: 'Иванов Иван Иванович',
        consentScope: 'v1:auth+withdrawal',
      })
      await restartAsDevice(session, standIn, device.token)
      await waitFor('the consent report', async () =>
        (await standIn.messages('cryptoConsent')).some((m) => m.p.thumbprint === chosen.thumbprint && m.p.granted === true),
      )

      await session.execute('location.hash = "#/documents?type=shipment"')
      await press(session, `[data-test="doc-card"][data-id="${doc.id}"]`)
      await waitForRoute(session, (r) => r.startsWith(`/documents/${encodeURIComponent(doc.id)}`))
      await session.waitForText('[data-test="tab-list"]', (t) => t.includes(`(${doc.positions.length})`), 30_000)
      let marks = 0
      for (const [k, p] of doc.positions.entries()) {
        const product = docs.products.get(p.productId)!
        for (let n = 1; n <= p.quantity; n++) {
          const code = product.markable ? `0${product.barcodes[0]}Wd${k}x${n}Q` : product.barcodes[0]!
          if (product.markable) marks += 1
          expect(await scanByWedge(session, code)).toMatch(/^✅/)
        }
      }

      await press(session, '[data-test="finish"]')
      await session.waitForText('[data-test="finish-dialog"] h2', (t) => t === 'Вывести коды из оборота?')
      await press(session, '[data-test="withdraw-yes"]')
      await press(session, '[data-test="finish-confirm"]')
      await waitForRoute(session, '/documents?type=shipment')

      const task = await waitFor('the withdrawal task to end', async () => {
        const { tasks } = await standIn.control<{ tasks: Task[] }>('GET', '/withdrawal-tasks')
        return tasks.find((t) => t.documentId === doc.id && t.state !== 'queued')
      }, 60_000)
      expect(task).toMatchObject({ state: 'done', signature: 'verified' })
      const { outcomes } = await standIn.control<{ outcomes: Array<{ kind: string; status: string; detail?: string }> }>('GET', '/sign-outcomes')
      expect(outcomes.find((o) => o.kind === 'document')).toMatchObject({ status: 'verified', detail: 'openssl: подпись верна' })
      expect(marks).toBeGreaterThan(0)

      await session.execute('location.hash = "#/settings?section=signing"')
      await waitFor('the notice in the settings', async () => {
        const lines = await session.execute<string[]>('return [...document.querySelectorAll(\'[data-test="withdrawal-line"]\')].map((e) => e.textContent.trim())')
        return lines.includes(`Документ №${doc.number}: сервер закрыл задачу на вывод кодов. Коды выведены из оборота.`) ? lines : undefined
      }, 20_000)
      const state = await session.waitForText('[data-test="withdrawal-state"]')
      expect(state.startsWith('Включен. Перед завершением документа спросим сборщика')).toBe(true)
    } finally {
      await session.close()
    }
  }, 240_000)
})
