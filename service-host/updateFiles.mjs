// The stand-in's download folder of the desktop app, "/docs/download/desktop/":
// the update manifest "latest-<target>-<arch>.json", the version files
// "version-<platform>.txt" and "version.txt", and the signed bundles
// "zorvik-<version>-<target>-<arch>.tar.gz" (with ".minisig") that
// `make package` writes to build/package/ (or the folder set by the control
// route). The newest bundle there is the offered version. In test mode the
// control routes can break the bundle's signature, cut its download short or
// leave out its length.
import { existsSync, readdirSync, readFileSync, statSync } from 'node:fs'
import { dirname, join, resolve } from 'node:path'
import { fileURLToPath } from 'node:url'
import { compareVersions } from '../ui/update/versions.ts'

const ROOT = resolve(dirname(fileURLToPath(import.meta.url)), '..')
const FOLDER = '/docs/download/desktop/'
const BUNDLE = /^zorvik-(\d+(?:\.\d+)*(?:-[0-9A-Za-z.]+)?)-([a-z]+)-([0-9a-z_]+)\.tar\.gz$/
/** Installer links the app opens in the browser name the newest bundle of their platform. */
const INSTALLER = /^zorvik-mobile-latest-([a-z]+)-x64\.(?:exe|tar\.gz)$/

/**
 * @typedef {object} UpdateFiles
 * @property {string} dir folder of the bundles
 * @property {string | null} notes release notes of the manifest
 * @property {string | null} versionFile text of the version files (null: the newest bundle's version)
 * @property {boolean} brokenSignature the bundle is served with one byte changed
 * @property {boolean} cutDownload the bundle's download stops half-way
 * @property {boolean} noContentLength the bundle is served without its length
 * @property {boolean} noManifest the manifest answers 404
 */

/** @type {WeakMap<object, UpdateFiles>} */
const byBackend = new WeakMap()

/** The update files of one stand-in (keyed by its backend). */
export function updateFilesOf(/** @type {object} */ backend) {
  let files = byBackend.get(backend)
  if (!files) {
    files = defaultUpdateFiles()
    byBackend.set(backend, files)
  }
  return files
}

/** @returns {UpdateFiles} */
export function defaultUpdateFiles() {
  return {
    dir: process.env.SERVICE_HOST_RELEASES || join(ROOT, 'build', 'package'),
    notes: 'Исправления и улучшения',
    versionFile: null,
    brokenSignature: false,
    cutDownload: false,
    noContentLength: false,
    noManifest: false,
  }
}

/** The newest signed bundle in the folder for `target`-`arch`, or null. */
export function newestBundle(/** @type {string} */ dir, /** @type {string} */ target, /** @type {string} */ arch) {
  if (!existsSync(dir)) return null
  /** @type {{version: string, file: string} | null} */
  let best = null
  for (const file of readdirSync(dir)) {
    const m = BUNDLE.exec(file)
    if (!m || m[2] !== target || m[3] !== arch || !existsSync(join(dir, `${file}.minisig`))) continue
    if (!best || compareVersions(m[1], best.version) > 0) best = { version: m[1], file }
  }
  return best
}

/**
 * Answers a GET under the download folder; false when the path is not one.
 * @param {UpdateFiles} files
 * @param {import('node:http').IncomingMessage} req
 * @param {import('node:http').ServerResponse} res
 * @param {URL} url
 */
export function serveUpdateFile(files, req, res, url) {
  if (req.method !== 'GET' || !url.pathname.startsWith(FOLDER)) return false
  const name = url.pathname.slice(FOLDER.length)
  const notFound = () => res.writeHead(404, { 'content-type': 'text/plain' }).end('not found')

  const manifest = /^latest-([a-z]+)-([0-9a-z_]+)\.json$/.exec(name)
  if (manifest) {
    const bundle = files.noManifest ? null : newestBundle(files.dir, manifest[1], manifest[2])
    if (!bundle) return notFound(), true
    const signature = readFileSync(join(files.dir, `${bundle.file}.minisig`)).toString('base64')
    const base = `http://${req.headers.host ?? 'localhost'}${FOLDER}`
    const body = {
      version: bundle.version,
      notes: files.notes,
      pub_date: statSync(join(files.dir, bundle.file)).mtime.toISOString(),
      platforms: { [`${manifest[1]}-${manifest[2]}`]: { url: base + bundle.file, signature } },
    }
    res.writeHead(200, { 'content-type': 'application/json', 'cache-control': 'no-store' }).end(JSON.stringify(body))
    return true
  }

  const versionFile = /^version(?:-([a-z]+))?\.txt$/.exec(name)
  if (versionFile) {
    const text = files.versionFile ?? newestBundle(files.dir, versionFile[1] ?? 'linux', 'x86_64')?.version
    if (text == null) return notFound(), true
    res.writeHead(200, { 'content-type': 'text/plain; charset=utf-8', 'cache-control': 'no-store' }).end(`${text}\n`)
    return true
  }

  const installer = INSTALLER.exec(name)
  const file = installer ? newestBundle(files.dir, installer[1], 'x86_64')?.file : BUNDLE.test(name) || name.endsWith('.minisig') ? name : undefined
  if (!file || file.includes('/') || !existsSync(join(files.dir, file))) return notFound(), true
  sendBundle(files, res, join(files.dir, file), file.endsWith('.tar.gz'))
  return true
}

/**
 * @param {UpdateFiles} files
 * @param {import('node:http').ServerResponse} res
 * @param {string} path
 * @param {boolean} isBundle the control modes apply to bundles only
 */
function sendBundle(files, res, path, isBundle) {
  let bytes = readFileSync(path)
  if (isBundle && files.brokenSignature) {
    bytes = Buffer.from(bytes)
    bytes[bytes.length >> 1] ^= 0x01
  }
  /** @type {Record<string, string>} */
  const head = { 'content-type': 'application/octet-stream', 'cache-control': 'no-store' }
  if (!(isBundle && files.noContentLength)) head['content-length'] = String(bytes.length)
  res.writeHead(200, head)
  if (isBundle && files.cutDownload) {
    // Half the announced bytes, then the connection drops.
    res.write(bytes.subarray(0, bytes.length >> 1), () => res.socket?.destroy())
    return
  }
  // In pieces, so a client sees several chunks arrive.
  const piece = 64 * 1024
  let at = 0
  const next = () => {
    while (at < bytes.length) {
      const more = res.write(bytes.subarray(at, at + piece))
      at += piece
      if (!more) return void res.once('drain', next)
    }
    res.end()
  }
  next()
}

