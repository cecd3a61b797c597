// @vitest-environment node
// The stand-in's update files over HTTP: the manifest and version files name the newest signed bundle,
// and the control route breaks the bundle's signature, cuts its download or leaves out its length.
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs'
import http from 'node:http'
import { tmpdir } from 'node:os'
import { join } from 'node:path'
import { afterAll, beforeAll, describe, expect, it } from 'vitest'
import { StandIn } from '../ui/core/testing/standIn'

let standIn: StandIn
let dir: string
const BUNDLE = Buffer.alloc(300_000, 7)

beforeAll(async () => {
  standIn = await StandIn.start()
  dir = mkdtempSync(join(tmpdir(), 'zorvik-releases-'))
  for (const v of ['0.66.2', '0.70.0', '0.69.9']) {
    writeFileSync(join(dir, `zorvik-${v}-linux-x86_64.tar.gz`), v === '0.70.0' ? BUNDLE : Buffer.from(v))
    writeFileSync(join(dir, `zorvik-${v}-linux-x86_64.tar.gz.minisig`), `signature of ${v}\n`)
  }
  // Without a signature a bundle is not offered.
  writeFileSync(join(dir, 'zorvik-0.99.0-linux-x86_64.tar.gz'), 'unsigned')
  await standIn.control('POST', '/update-files', { reset: true, dir })
})
afterAll(async () => {
  await standIn.close()
  rmSync(dir, { recursive: true, force: true })
})

/** A raw GET: status, headers and as many body bytes as arrived before the end or a drop. */
function get(path: string) {
  return new Promise<{ status: number; headers: http.IncomingHttpHeaders; body: Buffer; complete: boolean }>((resolve) => {
    http.get(`${standIn.url}${path}`, (res) => {
      const parts: Buffer[] = []
      res.on('data', (c: Buffer) => parts.push(c))
      const done = (complete: boolean) => resolve({ status: res.statusCode ?? 0, headers: res.headers, body: Buffer.concat(parts), complete })
      res.on('end', () => done(res.complete))
      res.on('error', () => done(false))
      res.on('aborted', () => done(false))
    })
  })
}

describe('update files', () => {
  it('offer the newest signed bundle in the manifest and the version files', async () => {
    const manifest = await get('/docs/download/desktop/latest-linux-x86_64.json')
    const body = JSON.parse(manifest.body.toString())
    expect(body.version).toBe('0.70.0')
    const platform = body.platforms['linux-x86_64']
    expect(platform.url).toMatch(/\/docs\/download\/desktop\/zorvik-0\.70\.0-linux-x86_64\.tar\.gz$/)
    expect(Buffer.from(platform.signature, 'base64').toString()).toBe('signature of 0.70.0\n')
    expect((await get('/docs/download/desktop/latest-windows-x86_64.json')).status).toBe(404)
    for (const file of ['version-linux.txt', 'version.txt']) {
      expect((await get(`/docs/download/desktop/${file}?t=1`)).body.toString()).toBe('0.70.0\n')
    }
    const bundle = await get('/docs/download/desktop/zorvik-0.70.0-linux-x86_64.tar.gz')
    expect(bundle.headers['content-length']).toBe(String(BUNDLE.length))
    expect(bundle.body.equals(BUNDLE)).toBe(true)
  })

  it.each([
    ['brokenSignature', (r: Awaited<ReturnType<typeof get>>) => {
      expect(r.complete).toBe(true)
      expect(r.body.length).toBe(BUNDLE.length)
      expect(r.body.equals(BUNDLE)).toBe(false)
    }],
    ['cutDownload', (r: Awaited<ReturnType<typeof get>>) => {
      expect(r.headers['content-length']).toBe(String(BUNDLE.length))
      expect(r.body.length).toBeLessThan(BUNDLE.length)
    }],
    ['noContentLength', (r: Awaited<ReturnType<typeof get>>) => {
      expect(r.headers['content-length']).toBeUndefined()
      expect(r.body.equals(BUNDLE)).toBe(true)
    }],
  ] as const)('%s', async (flag, check) => {
    await standIn.control('POST', '/update-files', { [flag]: true })
    try {
      check(await get('/docs/download/desktop/zorvik-0.70.0-linux-x86_64.tar.gz'))
    } finally {
      await standIn.control('POST', '/update-files', { [flag]: false })
    }
  })

  it('serves a set version file text and the installer link', async () => {
    await standIn.control('POST', '/update-files', { versionFile: 'v0.71.0' })
    try {
      expect((await get('/docs/download/desktop/version-windows.txt')).body.toString()).toBe('v0.71.0\n')
    } finally {
      await standIn.control('POST', '/update-files', { versionFile: null })
    }
    const installer = await get('/docs/download/desktop/zorvik-mobile-latest-linux-x64.tar.gz?v=0.70.0')
    expect(installer.body.equals(BUNDLE)).toBe(true)
  })
})
