/**
 * Scan → feedback painted while the reference copy synchronises, in the
 * desktop app: blocks of wedge scans in a document of 5,000 positions before a
 * first fill of 100,000 products, during it, and after it (the copy full), in
 * one page. The figure is the during block's p95 against the mean of the two
 * blocks around it, whose difference is the noise. Prints; asserts nothing.
 */
import { it } from 'vitest'
import { largeDocumentBarcode } from '../../ui/demo'
import { copyCount } from '../../tests/e2e/harness/referenceCopy'
import { restartAsDevice, useStandInRig } from '../../tests/e2e/harness/standInApp'
import { waitFor } from '../../tests/e2e/harness/wait'
import { clearScanResults, frames, idleFrameInterval, installScanProbe, quantile, scanAndWait, scanResults, type ScanResult } from '../scanProbe'

const SMOKE = Boolean(process.env.BENCH_SMOKE)
const PRODUCTS = Number(process.env.BENCH_PRODUCTS ?? (SMOKE ? 3_000 : 100_000))
const SCANS = Number(process.env.BENCH_SCANS ?? (SMOKE ? 2 : 100))
const POSITIONS = 5_000

const rig = useStandInRig()

it('reference: scan → painted while a synchronisation runs', async () => {
  const { standIn } = rig
  await standIn.control('POST', '/seed-catalogue', { accountId: 'acc-master', size: PRODUCTS, sample: 0 })
  const doc = await standIn.control<{ documentId: string }>('POST', '/seed-document', { accountId: 'acc-master', size: POSITIONS })
  const device = await standIn.mint('u-oleg')
  // The run that starts with the sign-in fails at once: the copy stays empty until the run the benchmark starts.
  await standIn.nextReply('assortmentSync', 'fail', { payload: { error: 'не сейчас', errorCode: 'bench' } })
  const { session } = await rig.open()
  try {
    await restartAsDevice(session, standIn, device.token)
    await waitFor('the failed first run', async () => (await standIn.messages('assortmentSync')).length > 0 || undefined, 60_000)
    await session.execute('location.hash = arguments[0]', `#/documents/${encodeURIComponent(doc.documentId)}?type=shipment`)
    await session.waitForText('[data-test="tab-list"]', (t) => t.includes(`(${POSITIONS})`), 60_000)
    await installScanProbe(session)
    const idle = await idleFrameInterval(session)
    let next = 0
    // Spread over the document so that the list jumps far on most scans.
    const scanNext = () => scanAndWait(session, largeDocumentBarcode(1 + ((next++ * 2_011) % POSITIONS)))
    const block = async (more: () => Promise<boolean>): Promise<ScanResult[]> => {
      await clearScanResults(session)
      while (await more()) await scanNext()
      return scanResults(session)
    }

    let done = 0
    const before = await block(async () => done++ < SCANS)
    // A dropped connection: the page connects again, checks its identity and, the copy being empty, starts a run.
    const started = Date.now()
    const asked = async () => (await standIn.messages('assortmentSync')).filter((m) => m.at >= started).length
    await standIn.control('POST', '/disconnect', {})
    await waitFor('the run to start', async () => (await asked()) > 0 || undefined, 60_000)
    const pages = Math.ceil(PRODUCTS / 1000)
    // Scans go on until the run has asked for its last page; the page's own writes and index updates follow.
    // At least one scan, however quickly a short run ends.
    let duringScans = 0
    const during = await block(async () => duringScans++ === 0 || (await asked()) < pages)
    await waitFor('the copy to be full', async () => ((await copyCount(session)) >= PRODUCTS ? true : undefined), 600_000, 1_000)
    done = 0
    const after = await block(async () => done++ < SCANS)

    const stats = (r: ScanResult[]) => {
      const t = r.map((x) => x.fromEnter).sort((a, b) => a - b)
      return { n: t.length, counted: r.filter((x) => x.text.startsWith('✅')).length, median: quantile(t, 0.5), p95: quantile(t, 0.95) }
    }
    const [b, d, a] = [before, during, after].map(stats) as [ReturnType<typeof stats>, ReturnType<typeof stats>, ReturnType<typeof stats>]
    const line = (name: string, s: typeof b) => `  ${name}: ${s.counted} of ${s.n} counted, Enter → painted median ${frames(s.median)}, p95 ${frames(s.p95)}`
    console.log(`reference: scan → painted in a document of ${POSITIONS} positions while ${PRODUCTS} products synchronise (desktop app; idle frame ${idle.toFixed(1)} ms)`)
    console.log(line('before the run', b))
    console.log(line('during the run', d))
    console.log(line('after it, the copy full', a))
    // Against the two blocks around it: the machine's drift over the run shows as their difference.
    const around = (b.p95 + a.p95) / 2
    console.log(`  during a synchronisation: p95 ${(d.p95 / around).toFixed(2)}× the same scans without one, the mean of before and after (${d.p95.toFixed(1)} ms vs ${around.toFixed(1)} ms) (goal: unchanged, ≈ 1.0×)`)
    console.log(`  noise line: before and after the run, which differ only in the copy being there, differ by ${(Math.max(b.p95, a.p95) / Math.min(b.p95, a.p95)).toFixed(2)}× at p95`)
  } finally {
    await session.close()
  }
})
