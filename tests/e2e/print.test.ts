// The print settings in the desktop app against a private CUPS scheduler:
// choose a label printer, write the label size into it, preview and print the
// test page, print a label by link from the stand-in's file host, and refuse a
// job for an offline printer. The capture queue shows exactly what arrived.
import { existsSync, readFileSync, writeFileSync } from 'node:fs'
import { join } from 'node:path'
import { inflateSync } from 'node:zlib'
import { afterAll, beforeAll, describe, expect, it } from 'vitest'
import type { StandIn } from '../../ui/core/testing/standIn'
import { MM, pdfPages, startPrintRig, type PrintRig } from './harness/cupsd'
import type { Profile } from './harness/desktopApp'
import { waitFor } from './harness/wait'
import type { Session } from './harness/webdriver'

/** Decodes an 8-bit RGB or RGBA PNG (what WebDriver screenshots are) into RGBA pixels. */
function decodePng(png: Buffer): { width: number; height: number; rgba: Uint8Array } {
  let at = 8
  let width = 0, height = 0, channels = 4
  const data: Buffer[] = []
  while (at < png.length) {
    const length = png.readUInt32BE(at)
    const type = png.toString('latin1', at + 4, at + 8)
    const body = png.subarray(at + 8, at + 8 + length)
    if (type === 'IHDR') {
      width = body.readUInt32BE(0)
      height = body.readUInt32BE(4)
      if (body[8] !== 8 || (body[9] !== 2 && body[9] !== 6) || body[12] !== 0) throw new Error('unexpected PNG format')
      channels = body[9] === 6 ? 4 : 3
    } else if (type === 'IDAT') data.push(body)
    at += 12 + length
  }
  const raw = inflateSync(Buffer.concat(data))
  const stride = width * channels
  const out = new Uint8Array(stride * height)
  for (let y = 0; y < height; y++) {
    const filter = raw[y * (stride + 1)]!
    for (let x = 0; x < stride; x++) {
      const v = raw[y * (stride + 1) + 1 + x]!
      const a = x >= channels ? out[y * stride + x - channels]! : 0
      const b = y > 0 ? out[(y - 1) * stride + x]! : 0
      const c = x >= channels && y > 0 ? out[(y - 1) * stride + x - channels]! : 0
      const p = a + b - c
      const paeth = Math.abs(p - a) <= Math.abs(p - b) && Math.abs(p - a) <= Math.abs(p - c) ? a : Math.abs(p - b) <= Math.abs(p - c) ? b : c
      out[y * stride + x] = (v + [0, a, b, (a + b) >> 1, paeth][filter]!) & 255
    }
  }
  const rgba = new Uint8Array(width * height * 4)
  for (let i = 0; i < width * height; i++) {
    rgba.set(out.subarray(i * channels, i * channels + 3), i * 4)
    rgba[i * 4 + 3] = channels === 4 ? out[i * channels + 3]! : 255
  }
  return { width, height, rgba }
}

/** Shares of dark and light pixels of a screenshot inside a rectangle (CSS pixels at density 1). */
function inkIn(png: Buffer, r: { x: number; y: number; width: number; height: number }) {
  const { width, rgba } = decodePng(png)
  let dark = 0, light = 0, total = 0
  for (let y = Math.ceil(r.y) + 2; y < Math.floor(r.y + r.height) - 2; y++)
    for (let x = Math.ceil(r.x) + 2; x < Math.floor(r.x + r.width) - 2; x++) {
      const i = (y * width + x) * 4
      const v = (rgba[i]! + rgba[i + 1]! + rgba[i + 2]!) / 3
      total++
      if (v < 100) dark++
      else if (v > 200) light++
    }
  return { dark: dark / total, light: light / total }
}

let standIn: StandIn
let cupsd: PrintRig['cupsd']
let profile: Profile
let session: Session

const option = (name: string) => `[data-test="printer-option"][data-name="${name}"]`
async function click(css: string) {
  await session.click(await session.find(css))
}

let rig: PrintRig | undefined

beforeAll(async () => {
  rig = await startPrintRig()
  ;({ standIn, cupsd, profile, session } = rig)
  await session.execute('location.hash = "#/settings?section=print"')
  await session.waitForText(option('custom'))
})

afterAll(() => rig?.stop())

describe('printing from the desktop app', () => {
  it('a label printer set to 58 × 40: the size written into it, the test page previewed and printed', async () => {
    expect(await session.text(await session.find(option('raw')))).toContain('системный по умолчанию')
    expect(await session.text(await session.find(option('rejecting')))).toContain('не в сети')

    await click(option('custom'))
    await session.waitForText('[data-test="page-size-verdict"]', (t) => t.startsWith('В принтере задано 102 × 152 мм, а этикетка 58 × 40 мм.'))
    await click('[data-test="size-preset"]')
    expect(await session.text(await session.find('[data-test="current-size"]'))).toBe('Сейчас: 58 × 40 мм')
    await click('[data-test="page-size-apply"]')
    await session.waitForText('[data-test="page-size-verdict"]', (t) => t === 'В принтере задано 58 × 40 мм — совпадает')
    expect(readFileSync(join(profile.root, '.cups/lpoptions'), 'utf8')).toMatch(/custom.*58x40mm/)

    // The preview is drawn in the page: on the screen, where the canvas is, a label-shaped white page with ink on it.
    await click('[data-test="preview-open"]')
    expect(await session.waitForText('[data-test="test-page-preview"] h2')).toBe('Тестовая страница 58 × 40 мм')
    await session.waitForText('.preview__page--drawn')
    const rect = await session.execute<{ x: number; y: number; width: number; height: number }>(
      'const r = document.querySelector(\'[data-test="preview-canvas"]\').getBoundingClientRect(); return { x: r.x, y: r.y, width: r.width, height: r.height }',
    )
    expect(rect.width).toBeGreaterThan(200)
    expect(rect.width / rect.height).toBeCloseTo(58 / 40, 1)
    const shot = await waitFor('the page on the screen', async () => {
      const png = await session.screenshot()
      const ink = inkIn(png, rect)
      return ink.dark > 0.005 && ink.light > 0.5 ? png : undefined
    })
    writeFileSync(join(profile.root, 'preview.png'), shot)
    await click('[data-test="preview-close"]')
    await waitFor('the preview to close', async () => (await session.findAll('[data-test="test-page-preview"]')).length === 0)

    const before = cupsd.jobs().length
    await click('[data-test="test-print"]')
    expect(await session.waitForText('[data-test="test-print-result"]')).toBe('Отправлено на печать')
    const jobs = await waitFor('the test page in the queue', () => (cupsd.jobs().length > before ? cupsd.jobs() : undefined))
    expect(jobs).toHaveLength(before + 1)
    const job = jobs.at(-1)!
    expect(job.meta).toContain('media=Custom.58x40mm')
    const received = await pdfPages(job.pdf)
    expect(received.pages).toBe(1)
    expect(received.width).toBeCloseTo(58 * MM, 0)
    expect(received.height).toBeCloseTo(40 * MM, 0)
  })

  it('a label by link from the file host is fitted to 58 × 40 and printed', async () => {
    const before = cupsd.jobs().length
    await session.type(await session.find('[data-test="link-input"]'), `${standIn.url}/labels/sample-100x150.pdf`)
    await click('[data-test="link-print"]')
    expect(await session.waitForText('[data-test="link-print-result"]', () => true, 40_000)).toBe('Отправлено на печать')
    const jobs = await waitFor('the label in the queue', () => (cupsd.jobs().length > before ? cupsd.jobs() : undefined))
    expect(jobs).toHaveLength(before + 1)
    const received = await pdfPages(jobs.at(-1)!.pdf)
    expect(received).toMatchObject({ pages: 1 })
    expect(received.width).toBeCloseTo(58 * MM, 0)
    expect(received.height).toBeCloseTo(40 * MM, 0)
  })

  it('an offline chosen printer: the readiness text and the way to the print settings, no job', async () => {
    const before = cupsd.jobs().length
    await click(option('rejecting'))
    await click('[data-test="test-print"]')
    expect(await session.waitForText('[data-test="test-print-failure"] p')).toBe(
      'Принтер «rejecting» не в сети. Включите его или выберите другой в Настройки → Печать',
    )
    expect(await session.text(await session.find('[data-test="open-print-settings"]'))).toBe('Открыть Настройки → Печать')
    await click('[data-test="open-print-settings"]')
    expect(await session.url()).toMatch(/#\/settings\?section=print$/)
    expect(existsSync(join(cupsd.dir, 'capture'))).toBe(true)
    expect(cupsd.jobs()).toHaveLength(before)
  })
})
