/**
 * The camera reader decoding generated barcodes in the two engines the page
 * runs in. Headless Chromium gets them through its fake camera, fed with a
 * Y4M clip. The desktop app (WebKitGTK under Xvfb) has no camera, so its page
 * gets, through getUserMedia, a stream captured from a canvas showing the
 * same frames: everything from the stream on (video element, frame grabbing,
 * the WebAssembly decoder loaded from the page's own server) is the real path.
 */
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs'
import { tmpdir } from 'node:os'
import { join } from 'node:path'
import { afterAll, beforeAll, describe, expect, it } from 'vitest'
import { dataMatrixGrid, ean13Grid, renderGrid } from '../../ui/documents/scanner/camera/testBarcodes'
import { ChromiumDriver } from './camera/chromium'
import { buildPage, removePage, servePage, y4m, type PageServer } from './camera/pageServer'
import { desktopSuite } from './harness/suite'
import { Session } from './harness/webdriver'
import { waitFor } from './harness/wait'

const EAN = '4600439931256'
const MARK = '0104600439931256215Nsk2)!\x1d93dGVz'
const frames = {
  ean13: renderGrid(ean13Grid(EAN, 60), 1280, 720, 5, 5),
  datamatrix: renderGrid(dataMatrixGrid('(01)04600439931256(21)5Nsk2)!(93)dGVz', true), 1280, 720, 12),
}

let pageDir: string
let server: PageServer
let clips: string

beforeAll(async () => {
  pageDir = await buildPage()
  server = await servePage(pageDir, frames)
  clips = mkdtempSync(join(tmpdir(), 'zorvik-camera-clips-'))
  for (const [name, frame] of Object.entries(frames)) writeFileSync(join(clips, `${name}.y4m`), y4m(frame))
}, 120_000)

afterAll(async () => {
  await server?.close()
  if (pageDir) removePage(pageDir)
  if (clips) rmSync(clips, { recursive: true, force: true })
})

interface Driven {
  execute<T>(script: string, ...args: unknown[]): Promise<T>
  executeAsync<T>(script: string, ...args: unknown[]): Promise<T>
}

const scans = (s: Driven) => s.execute<string[]>('return window.__scans || []')
const decoderOf = (s: Driven) =>
  s.execute<string>('return document.querySelector("[data-test=camera-reader]").dataset.decoder')
const soundDurations = (s: Driven) =>
  s.executeAsync<Record<string, number>>(
    'const done = arguments[arguments.length - 1]; window.__soundDurations().then(done, (e) => done({ error: String(e) }))',
  )

function expectFourShortSounds(d: Record<string, number>) {
  expect(Object.keys(d).sort()).toEqual(['checkedSound', 'errorSound', 'successSound', 'tooMuchSound'])
  for (const seconds of Object.values(d)) {
    expect(seconds).toBeGreaterThan(0.05)
    expect(seconds).toBeLessThan(1)
  }
}

const wasmServed = () => server.requested.some((p) => /^\/assets\/zxing_reader-[\w-]+\.wasm$/.test(p))
// Frames are decoded in a worker, off the page's thread.
const workerServed = () => server.requested.some((p) => /^\/assets\/decodeWorker-[\w-]+\.js$/.test(p))

describe('headless Chromium with a fake camera', () => {
  let driver: ChromiumDriver
  beforeAll(async () => {
    driver = await ChromiumDriver.start()
  })
  afterAll(async () => {
    await driver?.stop()
  })

  it.each([
    ['ean13', EAN],
    ['datamatrix', MARK],
  ])('reads the %s clip', async (name, expected) => {
    const session = await driver.session([
      '--use-fake-device-for-media-stream',
      '--use-fake-ui-for-media-stream',
      `--use-file-for-fake-video-capture=${join(clips, `${name}.y4m`)}`,
    ])
    try {
      await session.navigate(`${server.origin}/index.html`)
      const got = await waitFor('a scan', async () => ((await scans(session)).length ? scans(session) : undefined), 30_000)
      expect(got[0]).toBe(expected)
      expect(await decoderOf(session)).toBe('wasm')
      expect(wasmServed()).toBe(true)
      expect(workerServed()).toBe(true)
      if (name === 'ean13') expectFourShortSounds(await soundDurations(session))
    } finally {
      await session.close()
    }
  }, 60_000)
})

describe('the desktop app (WebKitGTK)', () => {
  const suite = desktopSuite()
  const fresh = suite.fresh

  it('reads an EAN-13 and then a Data Matrix from a canvas stream handed over as the camera', async () => {
    const session = await Session.start(fresh(), suite.display().name)
    try {
      await session.navigate(`${server.origin}/index.html?feed=canvas&frame=ean13`)
      await waitFor('the EAN-13', async () => (await scans(session)).includes(EAN), 30_000)
      expect(await decoderOf(session)).toBe('wasm')
      expect(workerServed()).toBe(true)
      await session.executeAsync('const done = arguments[arguments.length - 1]; window.__showFrame("datamatrix").then(done)')
      await waitFor('the Data Matrix', async () => (await scans(session)).includes(MARK), 30_000)
      expect((await scans(session)).slice(0, 1)).toEqual([EAN])
      expectFourShortSounds(await soundDurations(session))
    } finally {
      await session.close()
    }
  }, 90_000)

  it("serves the four scan sounds from the app's own assets, and they decode", async () => {
    const session = await Session.start(fresh(), suite.display().name)
    try {
      const got = await session.executeAsync<{ origin: string; sounds: Record<string, { type: string; seconds: number }> }>(
        `const done = arguments[arguments.length - 1];
         (async () => {
           const ctx = new AudioContext()
           const sounds = {}
           for (const name of ['successSound', 'checkedSound', 'errorSound', 'tooMuchSound']) {
             const res = await fetch('/assets/sounds/' + name + '.mp3')
             sounds[name] = { type: res.headers.get('content-type'), seconds: (await ctx.decodeAudioData(await res.arrayBuffer())).duration }
           }
           return { origin: location.origin, sounds }
         })().then(done, (e) => done({ error: String(e) }))`,
      )
      expect(got.origin).toBe('zorvik-app://localhost')
      expectFourShortSounds(Object.fromEntries(Object.entries(got.sounds).map(([k, v]) => [k, v.seconds])))
      for (const v of Object.values(got.sounds)) expect(v.type).toBe('audio/mpeg')
    } finally {
      await session.close()
    }
  }, 60_000)

  it('without a camera the reader says so', async () => {
    const session = await Session.start(fresh(), suite.display().name)
    try {
      await session.navigate(`${server.origin}/index.html`)
      const text = await session.waitForText('[data-test=camera-error]', () => true, 30_000)
      expect(text).toBe('Камера не найдена')
    } finally {
      await session.close()
    }
  }, 60_000)
})
