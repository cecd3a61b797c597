/**
 * A small W3C WebDriver client for WebKitWebDriver driving the real desktop
 * window (the app started with --automation). Only what the tests use.
 */
import { spawn, type ChildProcess } from 'node:child_process'
import { readdirSync, readFileSync } from 'node:fs'
import { createServer } from 'node:net'
import { EXECUTABLE, type Profile } from './desktopApp'
import { waitFor } from './wait'

// An element reference is an object with one key (the W3C element identifier).
const elementId = (ref: Record<string, string>): string => Object.values(ref)[0]!

/** A loopback port free at the moment of asking. */
export async function freePort(): Promise<number> {
  return new Promise((resolve, reject) => {
    const srv = createServer()
    srv.once('error', reject)
    srv.listen(0, '127.0.0.1', () => {
      const port = (srv.address() as { port: number }).port
      srv.close(() => resolve(port))
    })
  })
}

export class WebDriverError extends Error {}

/** Live processes whose parent is `pid` (the app a driver started). */
function childrenOf(pid: number): number[] {
  const out: number[] = []
  for (const entry of readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue
    const stat = procStat(Number(entry))
    if (stat && stat.ppid === pid && stat.state !== 'Z') out.push(Number(entry))
  }
  return out
}

function procStat(pid: number): { state: string; ppid: number } | undefined {
  try {
    const text = readFileSync(`/proc/${pid}/stat`, 'utf8')
    const [state, ppid] = text.slice(text.lastIndexOf(')') + 2).split(' ')
    return { state: state!, ppid: Number(ppid) }
  } catch {
    return undefined
  }
}

const gone = (pid: number) => {
  const stat = procStat(pid)
  return !stat || stat.state === 'Z'
}

const REQUEST_TIMEOUT_MS = 75_000

export class Session {
  private constructor(
    private readonly driver: ChildProcess,
    private readonly base: string,
    readonly id: string,
  ) {}

  /** Starts WebKitWebDriver with the profile's environment and opens the app (`binary`) in a session. */
  static async start(profile: Profile, display: string, extraArgs: string[] = [], binary = EXECUTABLE): Promise<Session> {
    const port = await freePort()
    const driver = spawn('WebKitWebDriver', [`--port=${port}`, '--host=127.0.0.1'], {
      env: profile.env(display),
      stdio: ['ignore', 'ignore', 'pipe'],
    })
    const base = `http://127.0.0.1:${port}`
    await waitFor('WebKitWebDriver to listen', async () => {
      try {
        return (await fetch(`${base}/status`)).ok
      } catch {
        return false
      }
    }, 15_000)
    const created = await request(base, 'POST', '/session', {
      capabilities: {
        alwaysMatch: {
          'webkitgtk:browserOptions': { binary, args: ['--automation', ...extraArgs] },
        },
      },
    })
    const id = (created as { sessionId: string }).sessionId
    return new Session(driver, base, id)
  }

  private cmd(method: string, path: string, body?: unknown) {
    return request(this.base, method, `/session/${this.id}${path}`, body)
  }

  execute<T>(script: string, ...args: unknown[]): Promise<T> {
    return this.cmd('POST', '/execute/sync', { script, args }) as Promise<T>
  }

  /** Runs `script` with its last argument a callback that ends it. */
  executeAsync<T>(script: string, ...args: unknown[]): Promise<T> {
    return this.cmd('POST', '/execute/async', { script, args }) as Promise<T>
  }

  /** Calls a host command from the page; answers {ok, value} or {ok: false, error}. */
  invokeFromPage(name: string, args: unknown = {}): Promise<{ ok: boolean; value?: unknown; error?: string; bytes?: number[] }> {
    return this.executeAsync(
      `const done = arguments[arguments.length - 1];
       window.__ZORVIK__.invoke(arguments[0], arguments[1]).then(
         (v) => done(v instanceof ArrayBuffer ? { ok: true, bytes: Array.from(new Uint8Array(v)) } : { ok: true, value: v }),
         (e) => done({ ok: false, error: String(e) }))`,
      name,
      args,
    )
  }

  url(): Promise<string> {
    return this.cmd('GET', '/url') as Promise<string>
  }

  async navigate(url: string): Promise<void> {
    await this.cmd('POST', '/url', { url })
  }

  async find(css: string): Promise<string> {
    const el = (await this.cmd('POST', '/element', { using: 'css selector', value: css })) as Record<string, string>
    return elementId(el)
  }

  async findAll(css: string): Promise<string[]> {
    const els = (await this.cmd('POST', '/elements', { using: 'css selector', value: css })) as Array<Record<string, string>>
    return els.map(elementId)
  }

  async text(element: string): Promise<string> {
    return (await this.cmd('GET', `/element/${element}/text`)) as string
  }

  async click(element: string): Promise<void> {
    await this.cmd('POST', `/element/${element}/click`, {})
  }

  async type(element: string, text: string): Promise<void> {
    await this.cmd('POST', `/element/${element}/value`, { text })
  }

  /**
   * Presses keys one after another on whatever has the focus, `pauseMs` apart, as a keyboard (or a wedge
   * scanner) does. A key is a character or a WebDriver key code (Enter is "\uE007", Tab "\uE004"); an array
   * is a chord, held together (["\uE009", "]"] is Ctrl+]).
   */
  async keys(sequence: Array<string | string[]>, pauseMs = 0): Promise<void> {
    const actions: Array<Record<string, unknown>> = []
    for (const key of sequence) {
      const chord = Array.isArray(key) ? key : [key]
      for (const k of chord) actions.push({ type: 'keyDown', value: k })
      for (const k of [...chord].reverse()) actions.push({ type: 'keyUp', value: k })
      if (pauseMs > 0) actions.push({ type: 'pause', duration: pauseMs })
    }
    await this.cmd('POST', '/actions', { actions: [{ type: 'key', id: 'keyboard', actions }] })
    await this.cmd('DELETE', '/actions')
  }

  async screenshot(): Promise<Buffer> {
    return Buffer.from((await this.cmd('GET', '/screenshot')) as string, 'base64')
  }

  /** Waits until `css` matches an element whose text satisfies `match` (any text when omitted). */
  waitForText(css: string, match: (t: string) => boolean = () => true, timeoutMs = 20_000): Promise<string> {
    return waitFor(`text in ${css}`, async () => {
      const els = await this.findAll(css).catch(() => [])
      for (const el of els) {
        const t = await this.text(el).catch(() => undefined)
        if (t !== undefined && match(t)) return t
      }
      return undefined
    }, timeoutMs)
  }

  /** Ends the session and waits for the app to be gone, so the next start on the profile is a first launch. */
  async close(): Promise<void> {
    const apps = this.driver.pid ? childrenOf(this.driver.pid) : []
    await request(this.base, 'DELETE', `/session/${this.id}`).catch(() => {})
    const exited = new Promise((r) => this.driver.once('exit', r))
    this.driver.kill('SIGTERM')
    await exited
    const left = await waitFor('the app to exit', () => apps.every(gone), 20_000).then(
      () => [],
      () => apps.filter((pid) => !gone(pid)),
    )
    for (const pid of left) process.kill(pid, 'SIGKILL')
  }
}

async function request(base: string, method: string, path: string, body?: unknown): Promise<unknown> {
  // A driver that never answers fails the test with its request named, instead of hanging it.
  const res = await fetch(base + path, {
    signal: AbortSignal.timeout(REQUEST_TIMEOUT_MS),
    method,
    headers: body === undefined ? undefined : { 'Content-Type': 'application/json' },
    body: body === undefined ? undefined : JSON.stringify(body),
  })
  const json = (await res.json()) as { value: unknown }
  if (!res.ok) {
    const v = json.value as { error?: string; message?: string }
    throw new WebDriverError(`${method} ${path}: ${v?.error ?? res.status} ${v?.message ?? ''}`)
  }
  return json.value
}
