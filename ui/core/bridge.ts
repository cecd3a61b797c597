/**
 * The one module that touches the host's injected bridge object. Everything
 * else calls the host through `invoke` and the typed helpers built on it.
 */

export type HostArgs = Record<string, unknown>

interface HostBridge {
  invoke(cmd: string, args?: HostArgs, options?: unknown): Promise<unknown>
  registerCallback(fn: (message: unknown) => void): number
  unregisterCallback(id: number): void
}

declare global {
  interface Window {
    __ZORVIK__?: HostBridge
    __ZORVIK_DESKTOP__?: boolean
    __ZORVIK_NO_PAGE_SHOW__?: boolean
  }
}

/** Build-time flavour of this bundle. */
export const BUILD_TARGET = __ZORVIK_TARGET__
export const BUILD_TARGET_LABEL =
  BUILD_TARGET === 'desktop' ? 'десктопная версия' : BUILD_TARGET === 'mobile' ? 'мобильная версия' : 'веб-версия'

function bridge(): HostBridge | undefined {
  return typeof window === 'undefined' ? undefined : window.__ZORVIK__
}

/** True when the page runs inside the desktop host (its bridge object is present). */
export function isDesktopHost(): boolean {
  return bridge() !== undefined
}

/** The flag the host's injected script sets; deep links and fetch routing use it. */
export function hostFlagSet(): boolean {
  return typeof window !== 'undefined' && window.__ZORVIK_DESKTOP__ === true
}

/** Calls a host command; rejects with the host's error text. */
export function invoke<T = unknown>(cmd: string, args: HostArgs = {}, options?: unknown): Promise<T> {
  const b = bridge()
  if (!b) return Promise.reject(new Error(`host bridge unavailable: ${cmd}`))
  return b.invoke(cmd, args, options) as Promise<T>
}

/** Registers a page function the host can call by id (events); answers the id. */
export function registerCallback(fn: (message: unknown) => void): number {
  const b = bridge()
  if (!b) throw new Error('host bridge unavailable')
  return b.registerCallback(fn)
}

export function unregisterCallback(id: number): void {
  bridge()?.unregisterCallback(id)
}

/** "plugin:<service>|<command>" */
export function pluginCommand(service: string, command: string): string {
  return `plugin:${service}|${command}`
}

export function invokePlugin<T = unknown>(service: string, command: string, args: HostArgs = {}): Promise<T> {
  return invoke<T>(pluginCommand(service, command), args)
}

/** The text an error shows to the user: the message of an Error, the value as text otherwise. */
export function errorText(err: unknown): string {
  if (err instanceof Error) return err.message
  return String(err)
}

/** True when the host answered that it has no command of this name (an older host). */
export function isCommandNotFound(err: unknown, command: string): boolean {
  return errorText(err).toLowerCase() === `command ${command} not found`.toLowerCase()
}
