import { describe, expect, it } from 'vitest'
import type { WaitingPhoto } from './photoQueue'
import { createPhotoUploads, readPhotoReply, type PhotoKeep, type PhotoUploadDeps } from './photoUpload'

/** Uploads through the page's own request to a fake service that reads the form as a server would. */
function rig(answer: (form: FormData) => Response | Promise<Response>, o: { kept?: Map<string, WaitingPhoto>; unitWaiting?: (uid: string) => boolean } = {}) {
  const forms: FormData[] = []
  const idCalls: number[] = []
  const clock = { now: 1_000_000 }
  const kept = o.kept ?? new Map<string, WaitingPhoto>()
  const keep: PhotoKeep = {
    put: async (p) => void kept.set(p.key, structuredClone(p)),
    remove: async (k) => void kept.delete(k),
    all: async (a) => [...kept.values()].filter((p) => p.accountId === a).map((p) => structuredClone(p)),
  }
  let next = 1
  let keys = 0
  const deps: PhotoUploadDeps = {
    inHost: () => false,
    invokePlugin: async () => { throw new Error('no host') },
    fetch: async (_url, init) => {
      const form = await new Response(init!.body as BodyInit, { headers: init!.headers as HeadersInit }).formData()
      forms.push(form)
      return answer(form)
    },
    log: () => {},
    base: () => 'http://127.0.0.1:1',
    now: () => clock.now,
    uid: () => `k${++keys}`,
  }
  const commands = {
    photoIds: async (count: number) => {
      idCalls.push(count)
      return { ids: [`p${next++}`, `p${next++}`], uploadUrl: '/inventory/photos', maxSizeBytes: 0, allowedTypes: [], expiresAt: undefined }
    },
  }
  const uploads = createPhotoUploads({ commands, failureText: (e) => String(e), deps, keep: async () => keep, unitWaiting: o.unitWaiting })
  return { uploads, forms, idCalls, clock, kept }
}

const jpeg = () => new File([new Uint8Array([0xff, 0xd8, 0xff, 0xd9])], 'a.jpg', { type: 'image/jpeg' })
const ok = () => Response.json({ ok: true, uploadId: 'x', size: 4 })

const where = { accountId: 'acc', sessionId: 5 }

describe('unit photos', () => {
  it('go as a form with the file, one id of the batch and the unit; a sixth photo of a unit is refused', async () => {
    const { uploads, forms, idCalls, kept } = rig(ok)
    expect(await uploads.attach('unit-1', 3, jpeg(), where)).toEqual({ kind: 'sent' })
    expect(await uploads.attach('unit-1', 3, jpeg(), where)).toEqual({ kind: 'sent' })
    expect(await uploads.attach('unit-1', 3, jpeg(), where)).toEqual({ kind: 'refused', text: 'К этой единице уже 5 фото' })
    expect(forms.map((f) => [(f.get('file') as File).name, f.get('fileId'), f.get('fileRef')])).toEqual([
      ['p1.jpg', 'p1', 'unit-1'],
      ['p2.jpg', 'p2', 'unit-1'],
    ])
    expect(idCalls).toEqual([100])
    expect(uploads.countFor('unit-1', 0)).toBe(5)
    expect(kept.size).toBe(0)
  })

  it('a photo that cannot go waits in the device database, counts for its unit and goes after a restart', async () => {
    let reachable = false
    const first = rig(() => {
      if (!reachable) throw new TypeError('network')
      return ok()
    })
    expect(await first.uploads.attach('u', 0, jpeg(), where)).toEqual({ kind: 'waiting', durable: true })
    expect(first.uploads.countFor('u', 0)).toBe(1)
    expect([...first.kept.values()].map((p) => [p.scanUid, p.attempts, p.bytes.length])).toEqual([['u', 1, 4]])
    // Not again before its back-off.
    await first.uploads.pump()
    expect(first.forms).toHaveLength(1)

    // Started again with what the database kept; the service is back.
    reachable = true
    const second = rig(ok, { kept: first.kept })
    await second.uploads.load('acc')
    expect(second.uploads.state.waiting).toHaveLength(1)
    second.clock.now += 1000
    await second.uploads.pump()
    expect(second.forms.map((f) => f.get('fileRef'))).toEqual(['u'])
    expect([second.kept.size, second.uploads.state.waiting.length, second.uploads.countFor('u', 0)]).toEqual([0, 0, 1])
  })

  it('a photo refused for good keeps its reason on the device, is not sent again and can be dropped', async () => {
    const { uploads, forms, kept, clock } = rig(() => Response.json({ ok: false, error: 'На аккаунте достигнут предел снимков — удалите ненужные' }, { status: 409 }))
    expect(await uploads.attach('u', 0, jpeg(), where)).toEqual({ kind: 'refused', text: 'На аккаунте достигнут предел снимков — удалите ненужные' })
    expect([...kept.values()].map((p) => p.refused)).toEqual(['На аккаунте достигнут предел снимков — удалите ненужные'])
    expect(uploads.countFor('u', 0)).toBe(0)
    clock.now += 120_000
    await uploads.pump()
    expect(forms).toHaveLength(1)
    await uploads.drop([...kept.keys()][0]!)
    expect([kept.size, uploads.state.waiting.length]).toEqual([0, 0])
  })

  it('a photo of a unit still waiting on the device waits for it', async () => {
    let unitWaits = true
    const { uploads, forms } = rig(ok, { unitWaiting: () => unitWaits })
    expect(await uploads.attach('u', 0, jpeg(), where)).toEqual({ kind: 'waiting', durable: true })
    await uploads.pump()
    expect(forms).toHaveLength(0)
    unitWaits = false
    await uploads.pump()
    expect(forms).toHaveLength(1)
  })

  it.each([
    [200, '{"ok":true,"uploadId":"u1","size":9}', null],
    [500, 'oops', 'Сервер не принял фото'],
    [400, '{"ok":false}', 'Сервер не принял фото'],
    [413, '{"error":"Снимок слишком большой"}', 'Снимок слишком большой'],
  ])('a reply %i %s', (status, body, error) => {
    let got: string | null = null
    try {
      readPhotoReply(status, body)
    } catch (e) {
      got = (e as Error).message
    }
    expect(got).toBe(error)
  })
})
