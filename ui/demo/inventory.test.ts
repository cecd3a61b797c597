import * as XLSX from '@e965/xlsx'
import { unzipSync } from 'fflate'
import { afterEach, describe, expect, it, vi } from 'vitest'
import type { Payload } from '../core/envelope'
import { createBackend, type MemoryBackend } from './backend'
import { lookUpRegister } from './inventory'
import { acceptInventoryPhoto, inventoryDownload } from './inventoryFiles'
import { inventoryState } from './inventoryModel'
import { partsStoreOf } from './partsstore'
import { demoSigner } from './tokens'

interface Device {
  ask(c: string, p?: Payload): Payload | undefined
  pushes: Array<{ c: string; p: Payload }>
}

/** A device of `userId`'s account on the backend. */
function device(b: MemoryBackend, userId = 'u-oleg'): Device {
  const identity = b.authenticate(b.openSession(userId).token)
  if ('error' in identity) throw new Error(identity.error)
  const pushes: Array<{ c: string; p: Payload }> = []
  const conn = b.attach(identity, (c, p) => pushes.push({ c, p }))
  return { pushes, ask: (c, p = {}) => b.handle(conn, c, p).map((r) => r.p)[0] }
}

let n = 0
const uid = () => `00000000-0000-4000-8000-${(++n).toString(16).padStart(12, '0')}`
const scan = (code: string, extra: Payload = {}): Payload => ({ scanUid: uid(), code, scannedAt: new Date(Date.UTC(2026, 11, 11, 9, 0, n)).toISOString(), source: 'scanner', qty: 1, note: '', cellId: null, ...extra })

/** A backend whose account u-oleg belongs to has an open session. */
function opened(userId = 'u-oleg') {
  const b = createBackend({ sign: demoSigner })
  const a = device(b, userId)
  const session = a.ask('inventorySessionStart', { name: 'Склад', comment: '' })!
  return { b, a, sessionId: session.id as number }
}

const held = (b: MemoryBackend, sessionId: number) => inventoryState(b).sessions.get(sessionId)!.scans

afterEach(() => vi.useRealTimers())

describe('inventory scans from several devices', () => {
  it('takes every scan uid once: a batch sent again after a lost answer, or a scan another device already sent, is a duplicate', () => {
    const { b, a, sessionId } = opened()
    const other = device(b)
    const [s1, s2, s3] = [scan('4600000000015'), scan('4600000000022'), scan('4600000000039')]
    expect(a.ask('inventoryScanAdd', { sessionId, scans: [s1, s2] })).toMatchObject({ accepted: [s1!.scanUid, s2!.scanUid], duplicates: [], rejected: [] })
    // The answer was lost: the same batch comes again, and another device sends one of it with a new scan.
    const again = a.ask('inventoryScanAdd', { sessionId, scans: [s1, s2] })!
    expect(again).toMatchObject({ accepted: [], duplicates: [s1!.scanUid, s2!.scanUid] })
    expect((again.scans as Payload[]).map((x) => x.id)).toHaveLength(2)
    expect(other.ask('inventoryScanAdd', { sessionId, scans: [s2, s3] })).toMatchObject({ accepted: [s3!.scanUid], duplicates: [s2!.scanUid] })

    expect(held(b, sessionId).map((x) => x.scanUid)).toEqual([s1!.scanUid, s2!.scanUid, s3!.scanUid])
    expect(a.ask('inventorySessionGet', { sessionId })!.counters).toMatchObject({ scans: 3, units: 3, codes: 3, repeats: 0 })
    // Each device pulls what the other sent, oldest first after the last id it shows.
    const first = held(b, sessionId)[0]!.id
    const pulled = other.ask('inventoryScanList', { sessionId, afterId: first, limit: 200 })!
    expect((pulled.scans as Payload[]).map((x) => x.scanUid)).toEqual([s2!.scanUid, s3!.scanUid])
    expect(new Set(held(b, sessionId).map((x) => x.deviceId)).size).toBe(2)
  })

  it('counts repeats, units (quantity 0 read as 1) and names from the store and the catalogue', () => {
    const { b, a, sessionId } = opened()
    const boltCode = [...partsStoreOf(b, 'acc-master').products.values()].find((p) => p.name === 'Болт М6×20')!.internalBarcode
    a.ask('inventoryScanAdd', { sessionId, scans: [scan(boltCode, { qty: 3 }), scan(boltCode, { qty: 0 }), scan('UNKNOWN-1')] })
    expect(a.ask('inventorySessionGet', {})!.counters).toMatchObject({ scans: 3, units: 5, codes: 2, repeats: 1, named: 2, unnamed: 1 })
    const repeats = a.ask('inventoryScanList', { sessionId, filter: 'repeats' })!.scans as Payload[]
    expect(repeats.map((x) => x.qty)).toEqual([1, 3])
    expect(repeats[0]!.match).toMatchObject({ kind: 'product', name: 'Болт М6×20' })
    expect((a.ask('inventoryScanList', { sessionId, filter: 'unnamed' })!.scans as Payload[]).map((x) => x.code)).toEqual(['UNKNOWN-1'])
  })
})

describe('a batch with a bad scan', () => {
  it.each([
    ['an empty code', '   ', 'Код не может быть пустым'],
    ['a code of 256 characters', 'A'.repeat(256), 'Код длиннее 255 символов'],
    ['a code the service refuses', 'REFUSED-1', 'Сервер не принял скан'],
  ])('%s comes back rejected with its reason; the rest of the batch is taken', (_n, bad, reason) => {
    const { b, a, sessionId } = opened()
    inventoryState(b).faults.rejectCodes.add('REFUSED-1')
    const batch = [scan('A'.repeat(255)), scan(bad), scan('OK-2')]
    const r = a.ask('inventoryScanAdd', { sessionId, scans: batch })!
    expect(r.accepted).toEqual([batch[0]!.scanUid, batch[2]!.scanUid])
    expect(r.rejected).toEqual([{ scanUid: batch[1]!.scanUid, error: reason }])
    expect(held(b, sessionId).map((x) => x.code.length)).toEqual([255, 4])
  })

  it('a scan uid that is not a version-4 UUID is rejected', () => {
    const { a, sessionId } = opened()
    expect(a.ask('inventoryScanAdd', { sessionId, scans: [scan('X', { scanUid: 'not-a-uuid' })] })).toMatchObject({ accepted: [], rejected: [{ scanUid: 'not-a-uuid' }] })
  })

  it.each([
    ['unnamed', false, undefined],
    ['named', true, [{ code: 'POISON' }]],
  ])('a poisoned batch is refused whole (culprits %s) and nothing of it is kept; without the culprit it goes in', (_n, named, wrong) => {
    const { b, a, sessionId } = opened()
    Object.assign(inventoryState(b).faults, { poisonCodes: new Set(['POISON']), namePoisoned: named })
    const batch = [scan('GOOD-1'), scan('POISON'), scan('GOOD-2')]
    const r = a.ask('inventoryScanAdd', { sessionId, scans: batch })!
    expect(r).toMatchObject({ errorCode: 'bad-request', error: 'Не получилось прочитать скан — проверьте код' })
    if (wrong) expect(r.wrong).toMatchObject(wrong)
    else expect(r.wrong).toBeUndefined()
    expect(held(b, sessionId)).toEqual([])
    expect(a.ask('inventoryScanAdd', { sessionId, scans: [batch[0], batch[2]] })!.accepted).toHaveLength(2)
  })

  it.each([
    ['no list', { scans: 'x' }, 'bad-request'],
    ['a scan without uid', { scans: [{ code: 'A' }] }, 'bad-request'],
    ['more than 100', { scans: Array.from({ length: 101 }, () => scan('A')) }, 'bad-request'],
    ['an unknown session', { sessionId: 999, scans: [] }, 'session-not-found'],
  ])('%s: the batch is refused', (_n, p, code) => {
    const { a, sessionId } = opened()
    expect(a.ask('inventoryScanAdd', { sessionId, ...p })).toMatchObject({ errorCode: code })
  })

  it('past the scan limit of a session the batch is refused with limit-scans', () => {
    const { b, a, sessionId } = opened()
    inventoryState(b).faults.scanLimit = 2
    expect(a.ask('inventoryScanAdd', { sessionId, scans: [scan('A'), scan('B'), scan('C')] })).toMatchObject({ errorCode: 'limit-scans' })
    expect(a.ask('inventoryScanAdd', { sessionId, scans: [scan('A'), scan('B')] })!.accepted).toHaveLength(2)
  })
})

describe('session rules', () => {
  it('one open session per account; closing tells the other devices; late scans are refused, a second close too', () => {
    const { b, a, sessionId } = opened()
    const other = device(b)
    const stranger = device(b, 'u-sveta')
    expect(other.ask('inventorySessionStart', { name: 'Еще', comment: '' })).toMatchObject({ errorCode: 'session-open', error: 'Инвентаризация уже идет — сначала закончите ее' })
    const closed = a.ask('inventorySessionClose', { sessionId })!
    expect(closed).toMatchObject({ id: sessionId, status: 'closed' })
    expect(other.pushes).toEqual([{ c: 'inventorySessionClosed', p: { sessionId, closedAt: closed.closedAt } }])
    expect(a.pushes).toEqual([])
    expect(stranger.pushes).toEqual([])
    expect(other.ask('inventoryScanAdd', { sessionId, scans: [scan('A')] })).toMatchObject({ errorCode: 'session-closed' })
    expect(a.ask('inventorySessionClose', { sessionId })).toMatchObject({ errorCode: 'already-closed' })
    expect(a.ask('inventorySessionGet', {})).toEqual({})
    expect(stranger.ask('inventorySessionGet', { sessionId })).toEqual({})
    expect(a.ask('inventorySessionStart', { name: '', comment: '' })).toMatchObject({ name: `Инвентаризация ${sessionId + 1}`, status: 'open' })
  })

  it('while the register looks codes up, closing waits for force', () => {
    vi.useFakeTimers()
    const { a, sessionId } = opened()
    a.ask('inventoryScanAdd', { sessionId, scans: [scan('010460700123456221abc')] })
    expect(a.ask('inventoryRegistryRequest', { sessionId, all: false })).toEqual({ queued: 1, skipped: 0, alreadyQueued: 0 })
    expect(a.ask('inventorySessionClose', { sessionId })).toMatchObject({ errorCode: 'registry-pending', pending: 1 })
    expect(a.ask('inventorySessionClose', { sessionId, force: true })).toMatchObject({ status: 'closed' })
  })

  it('lists sessions newest first in pages', () => {
    const { b, a, sessionId } = opened()
    a.ask('inventorySessionClose', { sessionId })
    a.ask('inventorySessionStart', { name: 'Вторая', comment: '' })
    const page = a.ask('inventorySessionList', { limit: 2 })!
    expect((page.sessions as Payload[]).map((s) => s.name)).toEqual(['Вторая', 'Склад'])
    expect(page.hasMore).toBe(true) // the sample session of the account
    const rest = a.ask('inventorySessionList', { limit: 2, beforeId: sessionId })!
    expect(rest).toMatchObject({ hasMore: false, sessions: [{ name: 'Инвентаризация перед маркировкой', status: 'closed' }] })
    expect(inventoryState(b).sessions.size).toBe(3)
  })
})

describe('edits', () => {
  it('updates and deletes a scan; a deleted scan sent again stays deleted', () => {
    const { b, a, sessionId } = opened()
    const s = scan('OLD')
    const id = ((a.ask('inventoryScanAdd', { sessionId, scans: [s] })!.scans as Payload[])[0]!.id) as number
    expect(a.ask('inventoryScanUpdate', { sessionId, id, code: 'NEW', qty: 4, note: ' с полки ' })!.scan).toMatchObject({ code: 'NEW', qty: 4, note: 'с полки' })
    expect(a.ask('inventoryScanUpdate', { sessionId, id, qty: 0 })).toMatchObject({ errorCode: 'bad-request' })
    expect(a.ask('inventoryScanDelete', { sessionId, id })).toEqual({ id, deleted: true, photosDeleted: 0 })
    expect(a.ask('inventoryScanAdd', { sessionId, scans: [s] })).toMatchObject({ accepted: [], duplicates: [s.scanUid] })
    expect(held(b, sessionId)).toEqual([])
    expect(a.ask('inventoryScanDelete', { sessionId, id })).toMatchObject({ errorCode: 'not_found' })
  })
})

describe('the register', () => {
  it('queues unnamed codes with a GTIN, skips the rest, and tells every device of the account what it found', () => {
    vi.useFakeTimers()
    const { b, a, sessionId } = opened()
    const other = device(b)
    const known = scan('010460700123456221AbC\u001d93xy')
    const unknown = scan('0104600000000008215zzz')
    a.ask('inventoryScanAdd', { sessionId, scans: [known, unknown, scan('NO-GTIN')] })
    expect(a.ask('inventoryRegistryRequest', { sessionId, all: false })).toEqual({ queued: 2, skipped: 1, alreadyQueued: 0 })
    expect(a.ask('inventoryRegistryRequest', { sessionId, all: false })).toEqual({ queued: 0, skipped: 1, alreadyQueued: 2 })
    vi.runAllTimers()
    const push = { c: 'inventoryRegistryUpdated', p: { sessionId, updates: [
      { scanUid: known.scanUid, id: expect.any(Number), state: 'named', gtin: '04607001234562', name: 'Кроссовки мужские беговые', brand: 'Stride' },
      { scanUid: unknown.scanUid, id: expect.any(Number), state: 'not_found', gtin: '04600000000008' },
    ] } }
    expect(a.pushes).toEqual([push])
    expect(other.pushes).toEqual([push])
    expect(a.ask('inventorySessionGet', { sessionId })!.counters).toMatchObject({ named: 1, unnamed: 2, registry: { named: 1, notFound: 1, queued: 0 } })
    lookUpRegister(b, inventoryState(b).sessions.get(sessionId)!)
    expect(a.pushes).toHaveLength(1)
  })

  it.each([
    [{ registryConfigured: false }, 'registry-not-configured'],
    [{ registryQueueLimit: 0 }, 'queue-full'],
  ])('%o refuses the request with %s', (fault, code) => {
    const { b, a, sessionId } = opened()
    Object.assign(inventoryState(b).faults, fault)
    a.ask('inventoryScanAdd', { sessionId, scans: [scan('04607001234562')] })
    expect(a.ask('inventoryRegistryRequest', { sessionId, all: true })).toMatchObject({ errorCode: code })
  })
})

describe('outages of the inventory commands', () => {
  const start = (mode: string) => {
    const { b, a, sessionId } = opened()
    inventoryState(b).faults.outage = { mode: mode as 'fail', until: Infinity, commands: null, refusal: { errorCode: 'storage-busy', error: 'занят' }, ms: 50 }
    return { b, a, sessionId, batch: [scan('A'), scan('B')] }
  }
  it.each([
    ['fail', { errorCode: 'storage-busy', error: 'занят' }, 0],
    ['hang', undefined, 0],
    ['lost-reply', undefined, 2],
  ])('%s: answer %o, scans kept %i', (mode, answer, kept) => {
    const { b, a, sessionId, batch } = start(mode)
    expect(a.ask('inventoryScanAdd', { sessionId, scans: batch })).toEqual(answer)
    expect(held(b, sessionId)).toHaveLength(kept)
  })
  it('slow: the answer comes later, as a message of its own', () => {
    vi.useFakeTimers()
    const { a, sessionId, batch } = start('slow')
    expect(a.ask('inventoryScanAdd', { sessionId, scans: batch })).toBeUndefined()
    vi.advanceTimersByTime(50)
    expect(a.pushes).toMatchObject([{ c: 'inventoryScanAdd.result', p: { accepted: [batch[0]!.scanUid, batch[1]!.scanUid] } }])
  })
  it('ends by itself when its time is up', () => {
    const { b, a, sessionId, batch } = start('fail')
    inventoryState(b).faults.outage!.until = b.now() - 1
    expect(a.ask('inventoryScanAdd', { sessionId, scans: batch })!.accepted).toHaveLength(2)
  })
})

describe('photos', () => {
  const jpeg = (size = 10) => ({ type: 'image/jpeg', bytes: new Uint8Array(size).fill(0xff) })
  const tokenOf = (url: unknown) => String(url).split('/').pop()!

  it('are posted to the batch address with the unit\'s scan uid, five at most; the archive has a folder per unit', async () => {
    const { b, a, sessionId } = opened()
    const s = scan('=SUM(A1)') as { scanUid: string }
    a.ask('inventoryScanAdd', { sessionId, scans: [s] })
    const batch = a.ask('inventoryPhotoIds', { count: 7 })!
    expect(batch).toMatchObject({ maxSizeBytes: 30 * 1024 * 1024, allowedTypes: expect.arrayContaining(['image/jpeg', 'image/heic']) })
    const ids = batch.ids as string[]
    const token = tokenOf(batch.uploadUrl)
    for (const fileId of ids.slice(0, 5)) expect(acceptInventoryPhoto(b, token, { fileId, fileRef: s.scanUid, ...jpeg() }).status).toBe(200)
    expect(acceptInventoryPhoto(b, token, { fileId: ids[5]!, fileRef: s.scanUid, ...jpeg() })).toEqual({ status: 409, body: { ok: false, error: 'К этой единице уже 5 фото' } })
    // The answer to the first one was lost: sent again, it is the same photo.
    expect(acceptInventoryPhoto(b, token, { fileId: ids[0]!, fileRef: s.scanUid, ...jpeg() })).toEqual({ status: 200, body: { ok: true, uploadId: ids[0], size: 10 } })
    const listed = a.ask('inventoryPhotoList', { sessionId, scanUid: s.scanUid })!.photos as Payload[]
    expect(listed.map((p) => p.id)).toEqual(ids.slice(0, 5))
    expect(listed[0]!.url).toBe(`/inventory/photos/${ids[0]}`)
    expect(a.ask('inventorySessionGet', { sessionId })!.counters).toMatchObject({ photos: 5 })

    const archive = a.ask('inventoryPhotoArchive', { sessionId })!
    expect(archive).toMatchObject({ fileName: 'foto-inventarizacii.zip', files: 5, units: 1, photosMissing: 0 })
    const zip = unzipSync((await inventoryDownload(b, String(archive.url)))!.bytes)
    expect(Object.keys(zip).sort()).toEqual(ids.slice(0, 5).map((id) => `000001-SUMA1/${id}.jpg`).sort())
    expect(a.ask('inventoryPhotoDelete', { photoId: ids[1] })).toEqual({ id: ids[1], deleted: true })
    expect(a.ask('inventoryPhotoMove', { photoId: ids[6], scanUid: s.scanUid })).toMatchObject({ errorCode: 'not_found' })
  })

  it.each([
    ['another type', { type: 'application/pdf', bytes: new Uint8Array(3) }, 415, 'Это не фотография — выберите снимок с камеры или из галереи'],
    ['too large', { type: 'image/png', bytes: new Uint8Array(30 * 1024 * 1024 + 1) }, 413, 'Снимок слишком большой — попробуйте другой'],
    ['empty', { type: 'image/png', bytes: new Uint8Array(0) }, 400, 'Фото пустое'],
  ])('a photo of %s is refused', (_n, file, status, error) => {
    const { b, a } = opened()
    const batch = a.ask('inventoryPhotoIds', { count: 1 })!
    expect(acceptInventoryPhoto(b, tokenOf(batch.uploadUrl), { fileId: (batch.ids as string[])[0]!, fileRef: '', ...file })).toEqual({ status, body: { ok: false, error } })
  })

  it('an id outside the batch, an unknown batch and switched-off uploads are refused', () => {
    const { b, a } = opened()
    const batch = a.ask('inventoryPhotoIds', { count: 1 })!
    const token = tokenOf(batch.uploadUrl)
    expect(acceptInventoryPhoto(b, token, { fileId: 'ph-x', fileRef: '', ...jpeg() }).status).toBe(400)
    expect(acceptInventoryPhoto(b, 'nope', { fileId: 'ph-x', fileRef: '', ...jpeg() }).status).toBe(410)
    inventoryState(b).faults.uploadDisabled = true
    expect(a.ask('inventoryPhotoIds', { count: 1 })).toMatchObject({ errorCode: 'upload-disabled' })
  })

  it('a photo without a unit is moved onto one, but not as a sixth', () => {
    const { b, a, sessionId } = opened()
    const s = scan('UNIT') as { scanUid: string }
    a.ask('inventoryScanAdd', { sessionId, scans: [s] })
    const batch = a.ask('inventoryPhotoIds', { count: 6 })!
    const ids = batch.ids as string[]
    for (const fileId of ids) acceptInventoryPhoto(b, tokenOf(batch.uploadUrl), { fileId, fileRef: '', ...jpeg() })
    for (const photoId of ids.slice(0, 5)) expect(a.ask('inventoryPhotoMove', { photoId, scanUid: s.scanUid })).toEqual({ id: photoId, scanUid: s.scanUid })
    expect(a.ask('inventoryPhotoMove', { photoId: ids[5], scanUid: s.scanUid })).toMatchObject({ errorCode: 'photo-limit' })
    expect(a.ask('inventoryPhotoArchive', { sessionId, unitNo: '2' })).toMatchObject({ errorCode: 'empty' })
  })
})

describe('the export', () => {
  const readBook = (bytes: Uint8Array) => {
    const book = XLSX.read(bytes, { type: 'array' })
    return XLSX.utils.sheet_to_json<unknown[]>(book.Sheets[book.SheetNames[0]!]!, { header: 1, defval: '' })
  }

  it('is a workbook of the session\'s scans by id, numbers as numbers and formula-like texts neutralised', async () => {
    const { b, a, sessionId } = opened()
    a.ask('inventoryScanAdd', { sessionId, scans: [
      scan('=HYPERLINK("http://x")', { qty: 2, note: '@note', source: 'camera' }),
      scan('-5', { note: '+7 коробок' }),
      scan('010460700123456221AbC'),
    ] })
    const r = a.ask('inventoryExport', { sessionId })!
    expect(r).toMatchObject({ rows: 3, fileName: expect.stringMatching(/^inventarizaciya-\d\d\.\d\d\.\d{4}\.xlsx$/) })
    const file = (await inventoryDownload(b, String(r.url)))!
    expect(file.fileName).toBe(r.fileName)
    const rows = readBook(file.bytes)
    expect(rows[0]).toEqual(['№', 'Код', 'Код (нормализованный)', 'Время скана', 'Кто сканировал', 'Источник', 'Количество', 'Ячейка',
      'Наименование из каталога', 'GTIN', 'Наименование из Реестра', 'Бренд', 'Заметка', 'Фото', 'Папка фото в архиве'])
    expect(rows.slice(1).map((row) => [row[0], row[1], row[4], row[5], row[6], row[12], row[13]])).toEqual([
      [1, '\'=HYPERLINK("http://x")', 'Олег Орлов', 'Камера', 2, '\'@note', 0],
      [2, '\'-5', 'Олег Орлов', 'Сканер', 1, '\'+7 коробок', 0],
      [3, '010460700123456221AbC', 'Олег Орлов', 'Сканер', 1, '', 0],
    ])
    // A real number stays a number cell.
    const book = XLSX.read(file.bytes, { type: 'array' })
    expect(book.Sheets[book.SheetNames[0]!]!.G2).toMatchObject({ t: 'n', v: 2 })
  })

  it('of all sessions leads each row with its session, start and close', async () => {
    const { b, a, sessionId } = opened()
    a.ask('inventoryScanAdd', { sessionId, scans: [scan('A1')] })
    const r = a.ask('inventoryExportAll', { limit: 100 })!
    expect(r.fileName).toMatch(/^inventarizacii-.*\.xlsx$/)
    const rows = readBook((await inventoryDownload(b, String(r.url)))!.bytes)
    expect(rows[0]!.slice(0, 4)).toEqual(['Инвентаризация', 'Начата', 'Закрыта', '№'])
    expect(rows.slice(1).map((row) => row[0])).toEqual([...Array(r.rows as number - 1).fill('Инвентаризация перед маркировкой'), 'Склад'])
    expect(rows.at(-1)![2]).toBe('')
    expect(String(rows[1]![2])).toMatch(/^\d\d\.\d\d\.\d{4} \d\d:\d\d$/)
  })

  it('an address that expired or never was has no file', async () => {
    const { b, a, sessionId } = opened()
    const r = a.ask('inventoryExport', { sessionId })!
    inventoryState(b).files.forEach((f) => (f.expiresAt = 0))
    expect(await inventoryDownload(b, String(r.url))).toBeNull()
    expect(await inventoryDownload(b, '/inventory/files/nope.xlsx')).toBeNull()
  })
})
