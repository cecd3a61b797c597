import { describe, expect, it } from 'vitest'
import { createPhotoUploads, NO_LINK, readPhotoReply, type PhotoUploadDeps } from './photoUpload'

/** Uploads through the page's own request to a fake service that reads the form as a server would. */
function rig(answer: (form: FormData) => Response | Promise<Response>) {
  const forms: FormData[] = []
  const waits: number[] = []
  const idCalls: number[] = []
  let next = 1
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
    wait: async (ms) => void waits.push(ms),
  }
  const commands = {
    photoIds: async (count: number) => {
      idCalls.push(count)
      return { ids: [`p${next++}`, `p${next++}`], uploadUrl: '/inventory/photos', maxSizeBytes: 0, allowedTypes: [], expiresAt: undefined }
    },
  }
  const uploads = createPhotoUploads({ commands, failureText: (e) => String(e), deps })
  return { uploads, forms, waits, idCalls }
}

const jpeg = () => new File([new Uint8Array([0xff, 0xd8, 0xff, 0xd9])], 'a.jpg', { type: 'image/jpeg' })
const ok = () => Response.json({ ok: true, uploadId: 'x', size: 4 })

describe('unit photos', () => {
  it('go as a form with the file, one id of the batch and the unit; a sixth photo of a unit is refused', async () => {
    const { uploads, forms, idCalls } = rig(ok)
    expect(await uploads.attach('unit-1', 3, jpeg())).toBe('')
    expect(await uploads.attach('unit-1', 3, jpeg())).toBe('')
    expect(await uploads.attach('unit-1', 3, jpeg())).toBe('К этой единице уже 5 фото')
    expect(forms.map((f) => [(f.get('file') as File).name, f.get('fileId'), f.get('fileRef')])).toEqual([
      ['p1.jpg', 'p1', 'unit-1'],
      ['p2.jpg', 'p2', 'unit-1'],
    ])
    expect(idCalls).toEqual([100])
    expect(uploads.countFor('unit-1', 0)).toBe(5)
  })

  it('a service that cannot be reached is tried again with the back-off; a refusal is not', async () => {
    let fails = 2
    const { uploads, forms, waits } = rig(() => {
      if (fails-- > 0) throw new TypeError('network')
      return ok()
    })
    expect(await uploads.attach('u', 0, jpeg())).toBe('')
    expect(waits).toEqual([1000, 2000])
    expect(forms).toHaveLength(3)

    const refused = rig(() => Response.json({ ok: false, error: 'На аккаунте достигнут предел снимков — удалите ненужные' }, { status: 409 }))
    expect(await refused.uploads.attach('u', 0, jpeg())).toBe('На аккаунте достигнут предел снимков — удалите ненужные')
    expect(refused.waits).toEqual([])

    const down = rig(() => { throw new TypeError('network') })
    expect(await down.uploads.attach('u', 0, jpeg())).toBe(NO_LINK)
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
