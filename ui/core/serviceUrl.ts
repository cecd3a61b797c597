/**
 * Where the service host is. The bundle carries the address of its flavour
 * (`__ZORVIK_SERVICE_URL__`); an empty value means the page's own origin (a
 * page served by the service host itself). Local builds also accept an
 * override in "zv_service_url" so tests and demonstrations can use a
 * stand-in on another port.
 */
import { readLocal } from './localStore'

declare const __ZORVIK_SERVICE_URL__: string

export const SERVICE_URL_KEY = 'zv_service_url'

let override: string | undefined

/** Replaces the service host's address for this page (tests); undefined restores the default. */
export function setServerBaseUrl(url: string | undefined): void {
  override = url ? url.replace(/\/+$/, '') : undefined
}

function pageOrigin(): string {
  return typeof location !== 'undefined' && /^https?:$/.test(location.protocol) ? location.origin : ''
}

/** Origin of the service host. */
export function serverBaseUrl(): string {
  if (override) return override
  if (__ZORVIK_FLAVOUR__ === 'local') {
    const stored = readLocal<unknown>(SERVICE_URL_KEY)
    if (typeof stored === 'string' && /^https?:\/\//.test(stored)) return stored.replace(/\/+$/, '')
  }
  return __ZORVIK_SERVICE_URL__.replace(/\/+$/, '') || pageOrigin()
}
