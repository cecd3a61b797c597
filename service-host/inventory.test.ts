// @vitest-environment node
import { afterAll, beforeAll, describe, expect, it } from 'vitest'
import * as XLSX from '@e965/xlsx'
import { unzipSync } from 'fflate'
import { channelClient, type ChannelClient } from '../ui/core/testing/channelClient'
import { StandIn } from '../ui/core/testing/standIn'

let standIn: StandIn
let device: ChannelClient
const uid = (n: number) => `11111111-2222-4333-8444-${String(n).padStart(12, '0')}`

const next = (c: string) => device.next(c)
const ask = (c: string, p: Record<string, unknown> = {}) => device.ask(c, p)

interface Held { sessions: Array<{ id: number; scanCount: number; distinctScanUids: number; scans: Array<{ scanUid: string; deviceId: string }> }>; photos: Array<{ id: string; scanUid: string; size: number }> }

beforeAll(async () => {
  standIn = await StandIn.start()
  const { token } = await standIn.mint('u-oleg')
  device = await channelClient(standIn.url, token)
})
afterAll(async () => {
  device.close()
  await standIn.close()
})

describe('inventory on the stand-in', () => {
  it('gathers the scans of two devices once each, takes a photo by multipart POST and serves the export and the archive', async () => {
    const session = await ask('inventorySessionStart', { name: 'Стенд', comment: '' })
    const sessionId = session.id as number
    const scans = [1, 2].map((n) => ({ scanUid: uid(n), code: `CODE-${n}`, scannedAt: new Date().toISOString(), source: 'scanner', qty: 1, note: '', cellId: null }))
    await ask('inventoryScanAdd', { sessionId, scans })
    await ask('inventoryScanAdd', { sessionId, scans })
    const other = await standIn.control<{ reply: Record<string, unknown> }>('POST', '/inventory/command', { userId: 'u-oleg', sessionId, codes: ['CODE-3'] })
    expect(other.reply.accepted).toHaveLength(1)

    const held = await standIn.control<Held>('GET', `/inventory-sessions?accountId=acc-master&sessionId=${sessionId}`)
    expect(held.sessions).toMatchObject([{ id: sessionId, scanCount: 3, distinctScanUids: 3 }])
    expect(new Set(held.sessions[0]!.scans.map((s) => s.deviceId)).size).toBe(2)

    const batch = await ask('inventoryPhotoIds', { count: 2 })
    const form = new FormData()
    form.append('file', new Blob([new Uint8Array([0xff, 0xd8, 0xff, 0xe0])], { type: 'image/jpeg' }), `${(batch.ids as string[])[0]}.jpg`)
    form.append('fileId', (batch.ids as string[])[0]!)
    form.append('fileRef', uid(1))
    const res = await fetch(`${standIn.url}${batch.uploadUrl}`, { method: 'POST', body: form })
    expect([res.status, await res.json()]).toEqual([200, { ok: true, uploadId: (batch.ids as string[])[0], size: 4 }])
    const photos = (await standIn.control<Held>('GET', '/inventory-sessions?accountId=acc-master')).photos.filter((p) => p.scanUid === uid(1))
    expect(photos).toMatchObject([{ id: (batch.ids as string[])[0], size: 4 }])
    const notForm = await fetch(`${standIn.url}${batch.uploadUrl}`, { method: 'POST', body: 'x' })
    expect(notForm.status).toBe(400)

    const exported = await ask('inventoryExport', { sessionId })
    expect(exported.url).toMatch(new RegExp(`^${standIn.url}/inventory/files/`))
    const file = await fetch(String(exported.url))
    expect(file.headers.get('content-type')).toBe('application/vnd.openxmlformats-officedocument.spreadsheetml.sheet')
    const book = XLSX.read(new Uint8Array(await file.arrayBuffer()), { type: 'array' })
    const rows = XLSX.utils.sheet_to_json<unknown[]>(book.Sheets[book.SheetNames[0]!]!, { header: 1, defval: '' })
    expect(rows.slice(1).map((r) => [r[1], r[13], r[14]])).toEqual([['CODE-1', 1, '000001-CODE-1'], ['CODE-2', 0, ''], ['CODE-3', 0, '']])

    const archive = await ask('inventoryPhotoArchive', { sessionId })
    const zip = unzipSync(new Uint8Array(await (await fetch(String(archive.url))).arrayBuffer()))
    expect(Object.keys(zip)).toEqual([`000001-CODE-1/${(batch.ids as string[])[0]}.jpg`])
    expect((await fetch(`${standIn.url}/inventory/files/nope.zip`)).status).toBe(404)
  })

  it('an outage of the inventory commands refuses them until lifted; a poisoned batch is refused whole', async () => {
    await standIn.control('POST', '/inventory/outage', { mode: 'fail' })
    expect(await ask('inventorySessionGet')).toEqual({ errorCode: 'storage-busy', error: 'Сервер занят — повторите через несколько секунд' })
    await standIn.control('POST', '/inventory/outage', { mode: 'off' })
    const open = await ask('inventorySessionGet')
    await standIn.control('POST', '/inventory/reject', { poison: ['BAD'], named: true })
    const refused = await ask('inventoryScanAdd', { sessionId: open.id, scans: [{ scanUid: uid(9), code: 'BAD' }] })
    expect(refused).toMatchObject({ errorCode: 'bad-request', wrong: [{ scanUid: uid(9), code: 'BAD' }] })
    await standIn.control('POST', '/inventory/reset')
    expect(await ask('inventoryScanAdd', { sessionId: open.id, scans: [{ scanUid: uid(9), code: 'BAD' }] })).toMatchObject({ accepted: [uid(9)] })
    await expect(standIn.control('POST', '/inventory/outage', { mode: 'sometimes' })).rejects.toThrow(/mode/)
  })

  it('closing on another device reaches this one as a push', async () => {
    const open = await ask('inventorySessionGet')
    const pushed = next('inventorySessionClosed')
    await standIn.control('POST', '/inventory/command', { userId: 'u-oleg', c: 'inventorySessionClose', p: { sessionId: open.id } })
    expect(await pushed).toMatchObject({ sessionId: open.id, closedAt: expect.any(String) })
  })
})
