// @vitest-environment node
import { afterAll, beforeAll, describe, expect, it } from 'vitest'
import * as XLSX from '@e965/xlsx'
import { channelClient, type ChannelClient } from '../ui/core/testing/channelClient'
import { StandIn } from '../ui/core/testing/standIn'
import { writeTable } from '../ui/partsstore/csvTable'
import { partsLabelsPdf } from './partsLabels.mjs'
import { pdfPageCount } from './partsstoreControl.mjs'

let standIn: StandIn
let device: ChannelClient

const next = (c: string) => device.next(c)
const ask = (c: string, p: Record<string, unknown> = {}) => device.ask(c, p)

beforeAll(async () => {
  standIn = await StandIn.start()
  const { token } = await standIn.mint('u-oleg')
  device = await channelClient(standIn.url, token)
})
afterAll(async () => {
  device.close()
  await standIn.close()
})

describe('the parts store over HTTP', () => {
  it('takes an upload by multipart POST, previews it and imports; the export is a workbook of the same rows', async () => {
    const { token } = await ask('radioImportUploadToken')
    const rows = [
      ['Зона', 'Ячейка (путь через короба)', 'Штрихкод ячейки', 'Название товара', 'Штрихкод товара', 'Количество', 'Цена за штуку', 'Комментарий'],
      ['Цех', 'Шкаф 1/Ящик 2', 'DRAWER-2', 'Сверло 6 мм', '2000000000015', '7', '120', ''],
    ]
    const form = new FormData()
    form.append('file', new Blob([writeTable(rows)]), 'цех.csv')
    const preview = next('radioImportPreview')
    const res = await fetch(`${standIn.url}/upload/${token}`, { method: 'POST', body: form })
    const body = (await res.json()) as Record<string, unknown>
    expect(body).toMatchObject({ ok: true, kind: 'csv' })
    const p = await preview
    expect(p).toMatchObject({ uploadId: body.uploadId, headers: rows[0] })
    const result = await ask('radioImportRun', { uploadId: p.uploadId, mapping: p.suggestedMapping, pathSeparator: '/', barcodeAsChildCell: true })
    expect(result).toMatchObject({ createdZones: 1, createdCells: 2, createdProducts: 1, updatedPlacements: 1, errors: [] })

    const again = await fetch(`${standIn.url}/upload/${token}`, { method: 'POST', body: form })
    expect(again.status).toBe(400)

    const exported = await ask('radioExport')
    const file = await fetch(`${standIn.url}${exported.url}`)
    const book = XLSX.read(new Uint8Array(await file.arrayBuffer()), { type: 'array' })
    const sheet = XLSX.utils.sheet_to_json<unknown[]>(book.Sheets[book.SheetNames[0]!]!, { header: 1 })
    expect(sheet).toContainEqual(['Цех', 'Шкаф 1/Ящик 2', 'DRAWER-2', 'Сверло 6 мм', '2000000000015', 7, 120, ''])
    expect(exported.rows).toBe(sheet.length - 1)
  })

  it('makes one label page per label and copy', async () => {
    const pdf = await partsLabelsPdf({ size: '58x40', copies: 2, labels: [{ code: 'C-000001', title: 'Стеллаж 1', subtitle: 'Основной склад' }, { code: 'P-000002', title: 'Болт', subtitle: '' }] })
    expect(pdf.subarray(0, 5).toString()).toBe('%PDF-')
    expect(pdfPageCount(pdf)).toBe(4)
  })

  it('prints labels on the registered desktop through the relay: one PDF fetched, its result answers', async () => {
    const { token } = await standIn.mint('u-oleg')
    const { socket: desk } = await channelClient(standIn.url, token)
    try {
      const registered = new Promise<Record<string, unknown>>((resolve) =>
        desk.on('a', (m: { c: string; p: Record<string, unknown> }) => m.c === 'printerRegister.result' && resolve(m.p)),
      )
      desk.emit('a', { c: 'printerRegister', r: 1, p: { name: 'raw', comment: 'у верстака', format: { widthMm: 58, heightMm: 40, rotate: 0 }, deviceId: 'dev-desk', deviceName: 'мастерская-1', purpose: 'label' } })
      const { printerId } = await registered
      const fetched: number[] = []
      desk.on('a', async (m: { c: string; p: Record<string, any> }) => {
        if (m.c !== 'printLabel.push') return
        const pdf = Buffer.from(await (await fetch(m.p.labelUrl)).arrayBuffer())
        fetched.push(pdfPageCount(pdf))
        desk.emit('a', { c: 'printLabel.result', r: 1, p: { jobId: m.p.jobId, printerId, documentId: m.p.documentId, ok: true, error: null, errorCode: null } })
      })
      const { products } = await ask('radioProductList', { limit: 3 })
      const ids = (products as Array<{ id: number }>).map((x) => x.id)
      expect(await ask('radioLabelsPrint', { kind: 'product', ids, size: '58x40', copies: 2 })).toEqual({
        printed: true, printedCount: 3, copies: 2, skippedIds: [], printedOn: 'raw — у верстака',
      })
      expect(fetched).toEqual([6])
    } finally {
      desk.close()
    }
  })

  it('prints labels to the captured printer', async () => {
    await standIn.control('POST', '/partsstore/label-capture', { printedOn: 'Этикетки' })
    const { products } = await ask('radioProductList', { limit: 3 })
    const ids = (products as Array<{ id: number }>).map((x) => x.id)
    expect(await ask('radioLabelsPrint', { kind: 'product', ids, size: '42x24', copies: 1 })).toEqual({ printed: true, printedCount: 3, copies: 1, skippedIds: [], printedOn: 'Этикетки' })
    const { jobs } = await standIn.control<{ jobs: Array<{ pages: number }> }>('GET', '/partsstore/labels')
    expect(jobs.map((j) => j.pages)).toEqual([3])
  })
})
