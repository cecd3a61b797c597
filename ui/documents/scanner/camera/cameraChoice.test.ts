import { describe, expect, it } from 'vitest'
import { lensLabel, pickCamera, usableCameras, type CameraDevice } from './cameraChoice'
import { createReadGate } from './readGate'

const cam = (deviceId: string, label: string): CameraDevice & { kind: string } => ({ deviceId, label, kind: 'videoinput' })

describe('camera choice', () => {
  const phone = [
    cam('f', 'camera2 1, facing front'),
    cam('dual', 'Back Dual Wide Camera'),
    cam('b', 'camera2 0, facing back'),
    cam('t', 'Back Telephoto Camera'),
    { deviceId: 'mic', label: 'Microphone', kind: 'audioinput' },
  ]

  it('offers video inputs without virtual multi-lens cameras and picks a back one', () => {
    const usable = usableCameras(phone)
    expect(usable.map((c) => c.deviceId)).toEqual(['f', 'b', 't'])
    expect(pickCamera(usable)?.deviceId).toBe('b')
    expect(pickCamera(usable, 't')?.deviceId).toBe('t')
    expect(pickCamera(usable, 'gone')?.deviceId).toBe('b')
    expect(pickCamera([cam('x', 'USB2.0 HD UVC WebCam')])).toBeUndefined()
    expect(pickCamera([cam('x', 'Задняя камера'), cam('y', 'Фронтальная камера')])?.deviceId).toBe('x')
  })

  it.each([
    ['camera2 1, facing front', 'Фронтальная'],
    ['Selfie camera', 'Фронтальная'],
    ['Back Ultra Wide Camera', '0,5×'],
    ['Back Telephoto Camera', '2×'],
    ['camera2 0, facing back', '1×'],
    ['USB2.0 HD UVC WebCam: USB2.0 HD', 'USB2.0 HD UVC '],
    ['', 'Камера 3'],
  ])('the button for "%s" reads "%s"', (label, text) => {
    expect(lensLabel({ deviceId: 'x', label }, 2)).toBe(text)
  })
})

describe('after a code is read', () => {
  function run(mode: { stayOpen: boolean; compact: boolean }, reads: Array<[number, string]>) {
    let now = 0
    const gate = createReadGate(mode, () => now)
    return reads.filter(([at, code]) => {
      now = at
      return gate.pass(code)
    }).map(([at, code]) => `${code}@${at}`)
  }

  it.each([
    ['full camera: every read ignored for 1 800 ms, then the same code again', { stayOpen: false, compact: false },
      [[0, 'A'], [1000, 'B'], [1799, 'A'], [1800, 'A']], ['A@0', 'A@1800']],
    ['stay-open: 600 ms for another code, 3 000 ms for the same', { stayOpen: true, compact: false },
      [[0, 'A'], [599, 'B'], [600, 'B'], [1300, 'B'], [3599, 'B'], [3600, 'B'], [4300, 'A']], ['A@0', 'B@600', 'B@3600', 'A@4300']],
    ['compact: 1 800 ms for any, 3 000 ms for the same', { stayOpen: false, compact: true },
      [[0, 'A'], [1800, 'A'], [2000, 'B'], [3000, 'A']], ['A@0', 'B@2000']],
  ] as const)('%s', (_what, mode, reads, passed) => {
    expect(run(mode, reads.map(([a, c]) => [a, c]))).toEqual(passed)
  })
})
