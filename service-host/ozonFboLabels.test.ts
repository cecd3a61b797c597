// @vitest-environment node
import { execFile } from 'node:child_process'
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs'
import { tmpdir } from 'node:os'
import { join } from 'node:path'
import { promisify } from 'node:util'
import { afterAll, beforeAll, describe, expect, it } from 'vitest'
import type { Payload } from '../ui/core/envelope'
import { StandIn } from '../ui/core/testing/standIn'
import { fboState } from '../ui/demo'
import { deviceAsk } from '../ui/demo/testing/deviceAsk'

const run = promisify(execFile)
const MM = 72 / 25.4

let standIn: StandIn
let dir: string
let ask: (c: string, p?: Payload) => Payload

beforeAll(async () => {
  standIn = await StandIn.start()
  dir = mkdtempSync(join(tmpdir(), 'zorvik-fbo-labels-'))
  ask = deviceAsk(standIn.host.backend, 'u-oleg')
})
afterAll(async () => {
  await standIn.close()
  rmSync(dir, { recursive: true, force: true })
})

/** Pages, page size in mm and the text of the PDF behind a link. */
async function readPdf(link: string) {
  const res = await fetch(link)
  expect(res.status).toBe(200)
  expect(res.headers.get('content-type')).toBe('application/pdf')
  const file = join(dir, `${Math.random().toString(36).slice(2)}.pdf`)
  writeFileSync(file, Buffer.from(await res.arrayBuffer()))
  const info = (await run('pdfinfo', [file])).stdout
  const size = /Page size:\s+([\d.]+) x ([\d.]+) pts/.exec(info)!
  return {
    pages: Number(/Pages:\s+(\d+)/.exec(info)![1]),
    widthMm: Math.round(Number(size[1]) / MM),
    heightMm: Math.round(Number(size[2]) / MM),
    text: (await run('pdftotext', [file, '-'])).stdout,
  }
}

describe('the stand-in\'s Ozon FBO label files and control routes', () => {
  it('cargo labels: one 75 × 120 mm page per place; product labels: one 58 × 40 mm page per row', async () => {
    const supply = fboState(standIn.host.backend, 'acc-master').supplies.find((x) => x.stage === 'ready')!
    const cargo = await readPdf(ask('ozonSupplyLabel', { supplyId: supply.supplyId }).labelUrl as string)
    expect(cargo).toMatchObject({ pages: supply.cargoes.length, widthMm: 75, heightMm: 120 })
    expect(cargo.text).toContain(`Поставка № ${supply.orderNumber}`)
    expect(cargo.text).toContain(`2/${supply.cargoes.length}`)
    const products = await readPdf(ask('ozonSupplyProductLabels', { supplyId: supply.supplyId, bundleId: supply.bundleId }).labelUrl as string)
    expect(products).toMatchObject({ pages: supply.items.length, widthMm: 58, heightMm: 40 })
    expect(products.text).toContain(supply.items[0]!.offerId)
  })

  it('the control routes: a new supply, cargo labels not ready for a number of requests, a refused answer', async () => {
    const { supply } = await standIn.control<{ supply: { supplyId: string } }>('POST', '/ozon/fbo/supply', { accountId: 'acc-master', orderNumber: '2000-TEST' })
    const state = await standIn.control<{ supplies: Array<{ supplyId: string; orderNumber: string }> }>('GET', '/ozon/fbo/state?accountId=acc-master')
    expect(state.supplies[0]).toMatchObject({ supplyId: supply.supplyId, orderNumber: '2000-TEST' })
    const ready = fboState(standIn.host.backend, 'acc-master').supplies.find((x) => x.stage === 'ready')!
    await standIn.control('POST', '/ozon/fbo/label-delay', { accountId: 'acc-master', supplyId: ready.supplyId, times: 1 })
    expect(ask('ozonSupplyLabel', { supplyId: ready.supplyId })).toMatchObject({ errorCode: 'label-not-ready' })
    expect(ask('ozonSupplyLabel', { supplyId: ready.supplyId })).toHaveProperty('labelUrl')
    await standIn.control('POST', '/ozon/fbo/fault', { accountId: 'acc-master', command: 'ozonSupplyItems', answer: { errorCode: 'ozon-error' } })
    expect(ask('ozonSupplyItems', { supplyId: ready.supplyId, bundleId: ready.bundleId })).toEqual({ errorCode: 'ozon-error' })
    await expect(standIn.control('POST', '/ozon/fbo/label-delay', { accountId: 'acc-master', supplyId: '1' })).rejects.toThrow('no supply 1')
  })

  it('a supply without places has no cargo labels', async () => {
    const bare = fboState(standIn.host.backend, 'acc-master').supplies.find((x) => x.cargoes.length === 0)!
    expect((await fetch(`${standIn.url}/labels/ozon/fbo/cargo-${bare.supplyId}.pdf`)).status).toBe(404)
    expect((await fetch(`${standIn.url}/labels/ozon/fbo/cargo-1.pdf`)).status).toBe(404)
  })
})
