/**
 * Product reference copy figures. Prints them; asserts nothing.
 *  - A full synchronisation of 100,000 products in the desktop app ("⬇️
 *    Загрузить заново" pressed until the status line says the copy is fresh:
 *    100 pages over the channel, each written in one transaction and put into
 *    the index), against a bare Dexie bulkPut of the same records over the same
 *    number of records, in the same page; and the web process's memory growth.
 *  - The lookup of a scan against 100,000 products against a bare Map lookup of
 *    the same codes, in this process.
 */
import { readFileSync } from 'node:fs'
import { createRequire } from 'node:module'
import { afterAll, beforeAll, it } from 'vitest'
import { generatedBarcode } from '../../ui/demo'
import { StandIn } from '../../ui/core/testing/standIn'
import { LookupIndex } from '../../ui/reference/lookupIndex'
import type { AssortmentItem } from '../../ui/reference/syncAnswer'
import { Profile } from '../../tests/e2e/harness/desktopApp'
import { startDisplay, type Display } from '../../tests/e2e/harness/display'
import { storeDeviceToken, waitForStartup } from '../../tests/e2e/harness/standInApp'
import { waitFor } from '../../tests/e2e/harness/wait'
import { Session } from '../../tests/e2e/harness/webdriver'
import { webProcessMemory } from '../webProcess'

const PRODUCTS = Number(process.env.BENCH_PRODUCTS ?? 100_000)
const quantile = (sorted: number[], q: number) => sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))]!

let display: Display | undefined
let standIn: StandIn | undefined
let profile: Profile | undefined

beforeAll(async () => {
  display = await startDisplay()
  standIn = await StandIn.start()
})
afterAll(async () => {
  await standIn?.close()
  await display?.stop()
  profile?.remove()
})

/** The number of products in the page's copy (raw IndexedDB, beside the app's own connection). */
const COUNT = `const done = arguments[0]
  const open = indexedDB.open('zorvik_assortment')
  // Not there yet: leave it to the app to make (a database made here would have no stores).
    open.onupgradeneeded = () => open.transaction.abort()
    open.onerror = () => done(0)
  open.onsuccess = () => {
    const db = open.result
    if (!db.objectStoreNames.contains('items')) { db.close(); return done(0) }
    const c = db.transaction('items').objectStore('items').count()
    c.onsuccess = () => { db.close(); done(c.result) }
    c.onerror = () => { db.close(); done(-1) }
  }`

// Times a press of "⬇️ Загрузить заново" until the status line shows a fresh copy, in the page.
const PROBE = `
  const probe = (window.__refBench = { pressed: 0, done: 0 })
  document.querySelector('[data-test="reference-full"]').addEventListener('click', (e) => { probe.pressed = e.timeStamp }, true)
  const line = document.querySelector('[data-test="reference-status"]')
  new MutationObserver(() => {
    if (probe.pressed && !probe.done && /обновлен только что$/.test(line.textContent) && !document.querySelector('[data-test="reference-full"]').disabled)
      probe.done = performance.now()
  }).observe(line, { subtree: true, childList: true, characterData: true })
`

// The same records written by a bare Dexie bulkPut, into a table of the same layout filled with them once.
const BARE = `const [done] = arguments
  const read = indexedDB.open('zorvik_assortment')
  read.onsuccess = () => {
    const src = read.result
    const all = src.transaction('items').objectStore('items').getAll()
    all.onsuccess = async () => {
      src.close()
      const items = all.result
      const db = new self.Dexie('zorvik_bench_bare')
      db.version(1).stores({ items: 'assortmentId, syncedAt' })
      await db.open()
      await db.items.clear()
      const t0 = performance.now()
      await db.items.bulkPut(items)
      const fill = performance.now() - t0
      const t1 = performance.now()
      await db.items.bulkPut(items)
      const again = performance.now() - t1
      db.close()
      done({ count: items.length, fill, again })
    }
  }`

it('reference: full synchronisation in the desktop app', async () => {
  profile = new Profile()
  const device = await standIn!.mint('u-oleg')
  await standIn!.control('POST', '/seed-catalogue', { accountId: 'acc-master', size: PRODUCTS, sample: 0 })
  const session = await Session.start(profile, display!.name)
  try {
    await waitForStartup(session)
    await storeDeviceToken(session, standIn!.url, device.token)
    await session.execute('window.__zvOldPage = true; location.reload()')
    await waitForStartup(session)
    // Signed in, the copy fills by itself; the figures are of a full run over it.
    const total = await waitFor('the first fill', async () => {
      const n = await session.executeAsync<number>(COUNT)
      return n >= PRODUCTS ? n : undefined
    }, 600_000)
    await session.execute('location.hash = "#/settings?section=reference"')
    await session.waitForText('[data-test="reference-status"]', (t) => /обновлен/.test(t), 60_000)
    await session.execute(PROBE)
    await new Promise((r) => setTimeout(r, 2_000))
    const before = webProcessMemory(profile)
    await session.click(await session.find('[data-test="reference-full"]'))
    await waitFor('the run to end', () => session.execute<boolean>('return window.__refBench.done > 0'), 600_000)
    const { pressed, done } = await session.execute<{ pressed: number; done: number }>('return window.__refBench')
    const run = done - pressed
    await new Promise((r) => setTimeout(r, 3_000))
    const after = webProcessMemory(profile)

    const dexie = readFileSync(createRequire(import.meta.url).resolve('dexie/dist/dexie.min.js'), 'utf8')
    await session.execute(`${dexie}\n;self.Dexie = self.Dexie || Dexie`)
    const bareBefore = webProcessMemory(profile)
    const bare = await session.executeAsync<{ count: number; fill: number; again: number }>(BARE)
    await new Promise((r) => setTimeout(r, 3_000))
    const bareAfter = webProcessMemory(profile)

    console.log(`reference: full synchronisation of ${total} products in the desktop app (${Math.ceil(total / 1000)} pages over the channel)`)
    console.log(`  ${(run / bare.again).toFixed(2)}× a bare Dexie bulkPut of the same ${bare.count} records over the same records (${run.toFixed(0)} ms vs ${bare.again.toFixed(0)} ms) (goal <= 1.5×)`)
    console.log(`  the bare bulkPut into an empty table: ${bare.fill.toFixed(0)} ms`)
    console.log(`  web process growth over the run: RSS ${after.rss - before.rss} KiB, private ${after.private - before.private} KiB; over the bare bulkPuts: RSS ${bareAfter.rss - bareBefore.rss} KiB, private ${bareAfter.private - bareBefore.private} KiB`)
  } finally {
    await session.close()
  }
})

it('reference: lookup of a scan against 100,000 products', () => {
  const items: AssortmentItem[] = Array.from({ length: PRODUCTS }, (_, k) => {
    const n = k + 1
    return { assortmentId: `gen-${n}`, name: `Товар №${n}`, code: String(500_000 + n), article: `GEN-${n}`, barcodes: [generatedBarcode(n)], markable: false, updatedAt: '', syncedAt: 1 }
  })
  const index = new LookupIndex()
  index.put(items)
  const bare = new Map(items.map((i) => [i.barcodes[0]!, i]))
  // Scans as they come: most with the stored form, every fifth without a leading zero or with one more, some unknown.
  const scans = Array.from({ length: 20_000 }, (_, k) => {
    const code = generatedBarcode(1 + ((k * 7_919) % PRODUCTS))
    return k % 5 === 1 ? `0${code}` : k % 17 === 0 ? `2${code.slice(1)}` : code
  })
  const time = (find: (code: string) => unknown) => {
    for (const s of scans) find(s)
    const t: number[] = []
    for (const s of scans) {
      const t0 = performance.now()
      find(s)
      t.push(performance.now() - t0)
    }
    return t.sort((a, b) => a - b)
  }
  // Alternate the two so neither gets a warmer machine.
  const r1 = time((c) => bare.get(c))
  const o1 = time((c) => index.find(c))
  const r2 = time((c) => bare.get(c))
  const o2 = time((c) => index.find(c))
  const pick = (a: number[], b: number[], q: number) => Math.min(quantile(a, q), quantile(b, q))
  const us = (ms: number) => `${(ms * 1000).toFixed(2)} µs`
  console.log(`reference: lookup of ${scans.length} scans against ${PRODUCTS} products (this process)`)
  console.log(`  median ${us(pick(o1, o2, 0.5))}, p95 ${us(pick(o1, o2, 0.95))} (goal p95 < 1 ms); a bare Map lookup: median ${us(pick(r1, r2, 0.5))}, p95 ${us(pick(r1, r2, 0.95))}`)
})
