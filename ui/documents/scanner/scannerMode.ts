/** How scans reach a screen on this device; the work setting `scannerMode`. */

export type ScannerMode = 'wedge' | 'camera' | 'manual'
export type CameraCaptureMode = 'auto' | 'manual'

export interface DeviceTraits {
  insideHost: boolean
  userAgent: string
  maxTouchPoints: number
  innerWidth: number
}

const TOUCH_AGENT = /Mobi|Android|iPad|Tablet|iPhone/i

/** A phone, tablet or terminal: by its user agent, or several touch points on a narrow window. */
export function isTouchDevice(d: Pick<DeviceTraits, 'userAgent' | 'maxTouchPoints' | 'innerWidth'>): boolean {
  return TOUCH_AGENT.test(d.userAgent) || (d.maxTouchPoints > 1 && d.innerWidth < 1200)
}

/** "wedge" inside the desktop host, "camera" on touch devices, "manual" otherwise. */
export function defaultScannerMode(d: DeviceTraits): ScannerMode {
  if (d.insideHost) return 'wedge'
  return isTouchDevice(d) ? 'camera' : 'manual'
}

/** The traits of the running page. */
export function currentDeviceTraits(insideHost: boolean): DeviceTraits {
  return {
    insideHost,
    userAgent: typeof navigator === 'undefined' ? '' : navigator.userAgent,
    maxTouchPoints: typeof navigator === 'undefined' ? 0 : navigator.maxTouchPoints ?? 0,
    innerWidth: typeof window === 'undefined' ? 0 : window.innerWidth,
  }
}

export function normalizeScannerMode(value: unknown, fallback: ScannerMode): ScannerMode {
  return value === 'wedge' || value === 'camera' || value === 'manual' ? value : fallback
}

export function normalizeCaptureMode(value: unknown): CameraCaptureMode {
  return value === 'manual' ? 'manual' : 'auto'
}
