/** Addresses in the maker's download folder: version files and the installer. */
import { APP_HOST_ORIGIN } from '../core/labelFetch'
import { serverBaseUrl } from '../core/serviceUrl'

/** "https://{application host}/docs/download/desktop"; local builds use the stand-in they talk to. */
export function downloadFolder(): string {
  const origin = __ZORVIK_FLAVOUR__ === 'local' ? serverBaseUrl() || APP_HOST_ORIGIN : APP_HOST_ORIGIN
  return `${origin}/docs/download/desktop`
}

/** `url` with `name`=`value` added to its query. */
export function withQuery(url: string, name: string, value: string): string {
  return `${url}${url.includes('?') ? '&' : '?'}${name}=${encodeURIComponent(value)}`
}

/** The version files to try, in order, each with the time as `t` so no cache answers. */
export function versionFileUrls(platform: string, now: number, folder = downloadFolder()): string[] {
  return [`${folder}/version-${platform}.txt`, `${folder}/version.txt`].map((u) => withQuery(u, 't', String(now)))
}

/** The installer for manual download, with the offered version as `v` when one is known. */
export function installerUrl(platform: string, version: string | null, folder = downloadFolder()): string {
  const file =
    platform === 'windows' ? 'zorvik-mobile-latest-windows-x64.exe' : `zorvik-mobile-latest-${platform}-x64.tar.gz`
  const url = `${folder}/${file}`
  return version ? withQuery(url, 'v', version) : url
}

/** The platform name the host reports ("linux", "windows"); "windows" outside the host. */
export function currentPlatform(): string {
  const facts = typeof window === 'undefined' ? undefined : (window as { __ZORVIK_OS__?: { platform?: unknown } }).__ZORVIK_OS__
  return typeof facts?.platform === 'string' && facts.platform ? facts.platform : 'windows'
}
