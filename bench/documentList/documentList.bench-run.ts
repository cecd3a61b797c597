/**
 * The document list in the desktop app with 1,000 shipments in memory: the
 * "Все" tab drawn from the data already there, then scrolled end to end,
 * with the virtual card grid and, as the reference in the same run, with
 * every card drawn ("grid=all"). Prints figures; asserts nothing.
 *
 * Memory: WebKitGTK gives a page no figure of its JavaScript heap, so the
 * growth of the web content process's resident memory (where that heap and
 * the page's DOM live) while drawing and scrolling stands in for it, beside
 * the count of elements in the page.
 */
import { it } from 'vitest'
import { accountDocuments } from '../../ui/demo'
import { StandIn } from '../../ui/core/testing/standIn'
import { startDisplay } from '../../tests/e2e/harness/display'
import { Profile } from '../../tests/e2e/harness/desktopApp'
import { Session } from '../../tests/e2e/harness/webdriver'
import { waitFor } from '../../tests/e2e/harness/wait'
import { webProcessRssKiB } from '../webProcess'

const ROUNDS = Number(process.env.BENCH_ROUNDS ?? (process.env.BENCH_SMOKE ? 1 : 3))

interface Pass {
  renderMs: number
  scrollMs: number
  frames: number
  cards: number
  elements: number
}

// Runs in the page: from the "Собраны" tab, draw "Все", wait two frames, then scroll to the end a screen per frame.
const PASS = `
const done = arguments[arguments.length - 1]
const frame = () => new Promise((r) => requestAnimationFrame(() => r()))
;(async () => {
  const tab = document.querySelector('[data-test="tab-all"]')
  const t0 = performance.now()
  tab.click()
  while (!document.querySelector('[data-test="doc-card"]')) await frame()
  await frame(); await frame()
  const renderMs = performance.now() - t0
  const grid = document.querySelector('[data-test="doc-grid"]')
  const t1 = performance.now()
  let frames = 0
  while (grid.scrollTop + grid.clientHeight < grid.scrollHeight - 1) {
    grid.scrollTop = Math.min(grid.scrollTop + grid.clientHeight, grid.scrollHeight)
    await frame()
    frames++
  }
  await frame()
  const scrollMs = performance.now() - t1
  done({ renderMs, scrollMs, frames, cards: document.querySelectorAll('[data-test="doc-card"]').length, elements: document.getElementsByTagName('*').length })
})().catch((e) => done({ error: String(e) }))`

const median = (xs: number[]) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)]!

it('document list', async () => {
  const display = await startDisplay()
  const standIn = await StandIn.start()
  const profile = new Profile()
  const session = await Session.start(profile, display.name)
  try {
    // An account without roles: its list holds every shipment, with no role to choose first.
    const device = await standIn.mint('u-oleg')
    const shipments = accountDocuments(standIn.host.backend, 'acc-master')!.byType.get('shipment')!.filter((d) => d.inFilter).length
    const ok = await session.executeAsync<string>(
      `const [url, token, finish] = arguments
       const invoke = window.__ZORVIK__.invoke
       localStorage.setItem('zv_service_url', JSON.stringify(url))
       invoke('plugin:store|load', { path: 'credentials.dat', options: { defaults: {} } })
         .then((rid) => invoke('plugin:store|set', { rid, key: 'device_jwt', value: token }).then(() => invoke('plugin:store|save', { rid })))
         .then(() => finish('ok'), (e) => finish(String(e)))`,
      standIn.url,
      device.token,
    )
    if (ok !== 'ok') throw new Error(ok)
    // A budget of 1,000: one load brings 1,000 of the sample shipments.
    await session.executeAsync(
      `const finish = arguments[arguments.length - 1]
       const invoke = window.__ZORVIK__.invoke
       invoke('plugin:store|load', { path: '.settings.dat', options: { defaults: {} } })
         .then((rid) => invoke('plugin:store|set', { rid, key: 'work', value: { listAutoLoad: 1000 } }).then(() => invoke('plugin:store|save', { rid })))
         .then(() => finish('ok'), (e) => finish(String(e)))`,
    )

    const runs: Record<'virtual' | 'plain', Pass[]> = { virtual: [], plain: [] }
    const grown: Record<'virtual' | 'plain', number> = { virtual: 0, plain: 0 }
    // Each kind in a freshly started page, so that neither inherits the other's memory.
    for (const kind of ['plain', 'virtual'] as const) {
      const known = new Set((await standIn.connections()).map((c) => c.id))
      await session.execute('location.reload()')
      await waitFor('the device to connect', async () => (await standIn.connections()).some((c) => c.kind === 'device' && !known.has(c.id)), 30_000)
      await new Promise((r) => setTimeout(r, 500))
      await session.execute(`location.hash = "#/documents?type=shipment${kind === 'plain' ? '&grid=all' : ''}"`)
      await session.waitForText('[data-test="load-more"]', (t) => t === `Загрузить еще ${shipments - 1000}`, 60_000)
      for (let i = 0; i < ROUNDS; i++) {
        await session.click(await session.find('[data-test="tab-completed"]'))
        await waitFor('the done tab', async () => (await session.findAll('[data-test="doc-card"]')).length < 200 || undefined)
        await new Promise((r) => setTimeout(r, 1_000))
        const before = webProcessRssKiB(profile)
        const pass = await session.executeAsync<Pass & { error?: string }>(PASS)
        if (pass.error) throw new Error(pass.error)
        if (i === 0) grown[kind] = webProcessRssKiB(profile) - before
        runs[kind].push(pass)
      }
    }
    const v = runs.virtual
    const p = runs.plain
    const ratio = (a: number, b: number) => (b > 0 ? (a / b).toFixed(2) : 'n/a')
    const spread = (xs: number[]) => (xs.length > 1 ? ratio(Math.max(...xs), Math.min(...xs)) : 'n/a (one round)')
    const render = [median(v.map((r) => r.renderMs)), median(p.map((r) => r.renderMs))]
    const scroll = [median(v.map((r) => r.scrollMs)), median(p.map((r) => r.scrollMs))]
    console.log(
      [
        `documentList: 1,000 shipments in memory, "Все" tab (${p[0]!.cards} cards), reference = the same cards drawn without virtualisation (median of ${ROUNDS}; each kind in a freshly started page)`,
        `  draw after the data arrived: virtual ${render[0]!.toFixed(1)} ms, reference ${render[1]!.toFixed(1)} ms, ratio ${ratio(render[0]!, render[1]!)}`,
        `  scroll end to end: virtual ${scroll[0]!.toFixed(1)} ms (${v[0]!.frames} frames), reference ${scroll[1]!.toFixed(1)} ms (${p[0]!.frames} frames)`,
        `  figure: scroll end to end, virtual / every card drawn = ${ratio(scroll[0]!, scroll[1]!)} (goal <= 1.00)`,
        `  noise line: the reference's slowest scroll against its fastest, same page: ${spread(p.map((r) => r.scrollMs))}; the virtual grid's: ${spread(v.map((r) => r.scrollMs))}`,
        `  draw + scroll: ratio ${ratio(render[0]! + scroll[0]!, render[1]! + scroll[1]!)}`,
        `  cards in the page: virtual ${v[0]!.cards}, reference ${p[0]!.cards}; elements: virtual ${v[0]!.elements}, reference ${p[0]!.elements}, ratio ${ratio(v[0]!.elements, p[0]!.elements)}`,
        `  web process memory growth (stands in for the JS heap): virtual ${grown.virtual} KiB, reference ${grown.plain} KiB, ratio ${ratio(Math.max(grown.virtual, 1), Math.max(grown.plain, 1))}`,
        `  web process resident memory at the end: ${webProcessRssKiB(profile)} KiB`,
      ].join('\n'),
    )
  } finally {
    await session.close()
    await standIn.close()
    await display.stop()
    profile.remove()
  }
})
