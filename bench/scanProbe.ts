/**
 * Scan → feedback in the desktop app, as the picking figures measure it: a
 * probe in the page notes when each scan's first key and Enter arrived (the
 * events' own time stamps) and when the outcome it produced was painted (the
 * frame after the message changed). The scanner's listener runs first and the
 * page may already have drawn the outcome when ours sees Enter, so the times
 * are read once the frame is painted, not when the message changes.
 */
import type { Session } from '../tests/e2e/harness/webdriver'
import { waitFor } from '../tests/e2e/harness/wait'

export const FRAME_MS = 1000 / 60

export interface ScanResult {
  fromEnter: number
  fromFirst: number
  text: string
  /** when it was painted, in the page's clock (performance.timeOrigin + now) */
  at: number
}

const PROBE = `
  const probe = (window.__pickBench = { first: 0, enter: 0, results: [] })
  window.addEventListener('keydown', (e) => {
    if (e.key === 'Enter') probe.enter = e.timeStamp
    else if (!probe.first) probe.first = e.timeStamp
  }, true)
  const box = document.querySelector('[data-test="scan-message"]')
  new MutationObserver(() => {
    if (box.dataset.flash === '0') return // the message cleared, not a scan's outcome
    // requestAnimationFrame runs just before the frame is painted; the task after it runs once it is.
    requestAnimationFrame(() => setTimeout(() => {
      const painted = performance.now()
      const first = probe.first, enter = probe.enter
      probe.first = 0
      probe.enter = 0
      if (!enter) return
      probe.results.push({ fromEnter: painted - enter, fromFirst: painted - first, text: box.textContent.trim(), at: performance.timeOrigin + painted })
    }, 0))
  }).observe(box, { attributes: true, attributeFilter: ['data-flash'] })
`

/** Puts the probe into the picking screen that is open. */
export function installScanProbe(session: Session): Promise<unknown> {
  return session.execute(PROBE)
}

export function clearScanResults(session: Session): Promise<unknown> {
  return session.execute('window.__pickBench.results = []')
}

/** Types a code as a wedge scanner does (keys 8 ms apart and Enter, in one burst) and waits for its outcome. */
export async function scanAndWait(session: Session, code: string): Promise<void> {
  const before = await session.execute<number>('return window.__pickBench.results.length')
  await session.keys([...code, '\uE007'], 8)
  await waitFor('the outcome', () => session.execute<boolean>('return window.__pickBench.results.length > arguments[0]', before), 10_000)
}

export function scanResults(session: Session): Promise<ScanResult[]> {
  return session.execute<ScanResult[]>('return window.__pickBench.results')
}

/** The median frame interval of the idle page (ms), to read the figures against. */
export function idleFrameInterval(session: Session): Promise<number> {
  return session.executeAsync<number>(`const done = arguments[0]; const t = []; let last = 0
    const step = (now) => { if (last) t.push(now - last); last = now; if (t.length < 120) requestAnimationFrame(step); else { t.sort((a, b) => a - b); done(t[60]) } }
    requestAnimationFrame(step)`)
}

export const quantile = (sorted: readonly number[], q: number) => sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))]!
export const frames = (ms: number) => `${(ms / FRAME_MS).toFixed(2)} frames (${ms.toFixed(1)} ms)`
