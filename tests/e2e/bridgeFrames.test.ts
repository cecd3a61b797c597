/**
 * Only the app's own top-level page may call the host. Frames inside it (of
 * another origin, sandboxed, or data:) try every way they have to make the
 * host save a file; none gets through, while the page itself still can,
 * also after a reload.
 */
import { createServer, type Server } from 'node:http'
import { type AddressInfo } from 'node:net'
import { existsSync, readdirSync } from 'node:fs'
import { join } from 'node:path'
import { afterAll, beforeAll, describe, expect, it } from 'vitest'
import { desktopSuite } from './harness/suite'
import { Session } from './harness/webdriver'
import { waitFor } from './harness/wait'

const suite = desktopSuite()

/** What each frame runs: reach the bridge object, then post to the IPC scheme without and with CORS. */
function frameScript(name: string): string {
  return `(async () => {
  const body = JSON.stringify({ name: 'from-${name}.txt', data: [120] });
  const url = 'zorvik-ipc://localhost/save_download';
  const out = {};
  try { out.parentBridge = typeof parent.__ZORVIK__; } catch (e) { out.parentBridge = 'blocked'; }
  try { out.ownBridge = typeof window.__ZORVIK__; } catch (e) { out.ownBridge = 'blocked'; }
  try {
    await fetch(url, { method: 'POST', mode: 'no-cors', body, headers: { 'X-Zorvik-Bridge': 'guess' } });
    out.noCors = 'sent';
  } catch (e) { out.noCors = 'failed'; }
  try {
    const r = await fetch(url, { method: 'POST', body, headers: { 'Content-Type': 'text/plain', 'X-Zorvik-Bridge': 'guess' } });
    out.cors = 'status ' + r.status;
  } catch (e) { out.cors = 'failed'; }
  try {
    const r = await fetch(url, { method: 'POST', body, headers: { 'Content-Type': 'text/plain' } });
    out.simple = 'status ' + r.status;
  } catch (e) { out.simple = 'failed'; }
  parent.postMessage({ frame: '${name}', out }, '*');
})();`
}

let server: Server
let crossOrigin = ''

beforeAll(async () => {
  server = createServer((req, res) => {
    res.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8' })
    res.end(`<!doctype html><script>${frameScript('cross-origin')}</script>`)
  })
  await new Promise<void>((r) => server.listen(0, '127.0.0.1', r))
  crossOrigin = `http://127.0.0.1:${(server.address() as AddressInfo).port}/frame.html`
})

afterAll(async () => {
  await new Promise<void>((r) => server.close(() => r()))
})

interface FrameReport {
  frame: string
  out: Record<string, string>
}

describe('calls from frames inside the page', () => {
  it('a cross-origin, a sandboxed and a data: frame cannot save a file; the page can, also after a reload', async () => {
    const profile = suite.fresh()
    const downloads = join(profile.root, 'Downloads')
    const session = await Session.start(profile, suite.display().name)
    try {
      await waitFor('the bridge in the page', () => session.execute<boolean>('return !!window.__ZORVIK__'))
      const reports = await session.executeAsync<FrameReport[]>(
        `const done = arguments[arguments.length - 1];
         const [crossOrigin, sandboxed, data] = arguments;
         const reports = [];
         window.addEventListener('message', (e) => {
           if (!e.data || !e.data.frame) return;
           reports.push(e.data);
           if (reports.length === 3) done(reports);
         });
         const add = (set) => { const f = document.createElement('iframe'); set(f); document.body.appendChild(f); };
         add((f) => { f.src = crossOrigin; });
         add((f) => { f.setAttribute('sandbox', 'allow-scripts'); f.srcdoc = '<script>' + sandboxed + '<\\/script>'; });
         add((f) => { f.src = 'data:text/html,' + encodeURIComponent('<script>' + data + '<\\/script>'); });
         setTimeout(() => done(reports), 20000);`,
        crossOrigin,
        frameScript('sandboxed'),
        frameScript('data'),
      )
      const byFrame = Object.fromEntries(reports.map((r) => [r.frame, r.out]))
      expect(Object.keys(byFrame).sort()).toEqual(['cross-origin', 'data', 'sandboxed'])
      for (const [frame, out] of Object.entries(byFrame)) {
        // No frame reaches the top page's bridge object, nor gets one of its own.
        expect(out.parentBridge, frame).toBe('blocked')
        expect(out.ownBridge, frame).toBe('undefined')
        // A CORS request is stopped by the host's refusal; no answer is readable.
        expect(out.cors, frame).toBe('failed')
        expect(out.simple, frame).toBe('failed')
      }
      // Whatever the frames sent was refused: nothing was saved.
      const saved = () => (existsSync(downloads) ? readdirSync(downloads) : [])
      expect(saved().filter((n) => n.startsWith('from-'))).toEqual([])

      const own = await session.invokeFromPage('save_download', { name: 'from-page.txt', data: [111, 107] })
      expect(own).toEqual({ ok: true, value: join(downloads, 'from-page.txt') })

      // A reload gets the bridge again, and the page's calls still work.
      await session.execute('location.reload()')
      await waitFor('the bridge after the reload', () =>
        session.execute<boolean>('return !!window.__ZORVIK__ && document.readyState === "complete"'),
      )
      const again = await session.invokeFromPage('save_download', { name: 'from-page.txt', data: [111, 107] })
      expect(again).toEqual({ ok: true, value: join(downloads, 'from-page (2).txt') })
      expect(saved().sort()).toEqual(['from-page (2).txt', 'from-page.txt'])
    } finally {
      await session.close()
    }
  })
})
