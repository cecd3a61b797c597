/**
 * Which camera to open, and how to name the lenses on their buttons. Phones
 * list several cameras; the back one is the one that reads labels. Virtual
 * "dual"/"triple" cameras switch lenses by themselves and focus badly up close.
 */
import { readLocal, writeLocal } from '@ui/core/localStore'

export const CAMERA_DEVICE_KEY = 'zv_camera_device'

export interface CameraDevice {
  deviceId: string
  label: string
}

const BACK = /back|rear|environment|задн|тыл/i
const FRONT = /front|user|self|передн|фронт|селфи/i
const MULTI_LENS = /dual|triple|двойн|тройн/i
const ULTRA_WIDE = /ultra|0[.,]5|сверхшир/i
const TELE = /tele|телефото|\b2x\b|2×/i

export const isFrontCamera = (label: string) => FRONT.test(label)
export const isBackCamera = (label: string) => BACK.test(label) && !FRONT.test(label)
export const isMultiLens = (label: string) => MULTI_LENS.test(label)

/** The cameras worth offering: video inputs without the virtual multi-lens ones. */
export function usableCameras(devices: readonly MediaDeviceInfo[] | readonly (CameraDevice & { kind?: string })[]): CameraDevice[] {
  return devices
    .filter((d) => (d as { kind?: string }).kind === undefined || (d as { kind?: string }).kind === 'videoinput')
    .filter((d) => !isMultiLens(d.label))
    .map((d) => ({ deviceId: d.deviceId, label: d.label }))
}

/** The remembered camera if it is still there, else the first back camera, else none (let the browser choose). */
export function pickCamera(cameras: readonly CameraDevice[], remembered?: string): CameraDevice | undefined {
  return cameras.find((c) => c.deviceId === remembered && remembered) ?? cameras.find((c) => isBackCamera(c.label))
}

/** The button text for a camera: "0,5×", "1×", "2×", "Фронтальная", or its label cut to 14 characters. */
export function lensLabel(camera: CameraDevice, index: number): string {
  const label = camera.label.trim()
  if (!label) return `Камера ${index + 1}`
  if (isFrontCamera(label)) return 'Фронтальная'
  if (isBackCamera(label) || ULTRA_WIDE.test(label) || TELE.test(label)) {
    if (ULTRA_WIDE.test(label)) return '0,5×'
    if (TELE.test(label)) return '2×'
    return '1×'
  }
  return label.slice(0, 14)
}

export function rememberedCamera(): string | undefined {
  const v = readLocal<unknown>(CAMERA_DEVICE_KEY)
  return typeof v === 'string' && v ? v : undefined
}

export function rememberCamera(deviceId: string): void {
  writeLocal(CAMERA_DEVICE_KEY, deviceId)
}
