// @vitest-environment node
import { execFile } from 'node:child_process'
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs'
import { tmpdir } from 'node:os'
import { join } from 'node:path'
import { promisify } from 'node:util'
import { afterAll, beforeAll, describe, expect, it } from 'vitest'
import { StandIn } from '../ui/core/testing/standIn'
import { addOzonPosting } from '../ui/demo'

const run = promisify(execFile)
const MM = 72 / 25.4

let standIn: StandIn
let dir: string
beforeAll(async () => {
  standIn = await StandIn.start()
  dir = mkdtempSync(join(tmpdir(), 'zorvik-ozon-labels-'))
})
afterAll(async () => {
  await standIn.close()
  rmSync(dir, { recursive: true, force: true })
})

/** Pages and size in millimetres of the PDF behind a link on the file host. */
async function fetchLabel(path: string): Promise<{ pages: number; widthMm: number; heightMm: number }> {
  const res = await fetch(`${standIn.url}${path}`)
  expect(res.status).toBe(200)
  expect(res.headers.get('content-type')).toBe('application/pdf')
  const file = join(dir, `label-${Math.random().toString(36).slice(2)}.pdf`)
  writeFileSync(file, Buffer.from(await res.arrayBuffer()))
  const info = (await run('pdfinfo', [file])).stdout
  const size = /Page size:\s+([\d.]+) x ([\d.]+) pts/.exec(info)!
  return { pages: Number(/Pages:\s+(\d+)/.exec(info)![1]), widthMm: Number(size[1]) / MM, heightMm: Number(size[2]) / MM }
}

describe('the Ozon labels of the stand-in file host', () => {
  it('a posting label is one 75 × 120 mm page, a product label one 58 × 40 mm page; unknown ones are 404', async () => {
    const posting = addOzonPosting(standIn.host.backend, 'acc-master')
    const label = await fetchLabel(`/labels/ozon/posting-${posting.postingNumber}.pdf`)
    expect(label.pages).toBe(1)
    expect(label.widthMm).toBeCloseTo(75, 1)
    expect(label.heightMm).toBeCloseTo(120, 1)
    const product = await fetchLabel('/labels/ozon/product-4601234567893.pdf?name=Кружка')
    expect([product.pages, Math.round(product.widthMm), Math.round(product.heightMm)]).toEqual([1, 58, 40])
    expect((await fetch(`${standIn.url}/labels/ozon/posting-99999999-0001-1.pdf`)).status).toBe(404)
    expect((await fetch(`${standIn.url}/labels/ozon/product-4601234567890.pdf`)).status).toBe(404)
  })
})
