/**
 * Debian's Chromium, headless, driven through chromedriver with a few W3C
 * WebDriver calls. Nothing is downloaded: both come from the system packages.
 */
import { spawn, type ChildProcess } from 'node:child_process'
import { createServer } from 'node:net'
import { waitFor } from '../harness/wait'

export const CHROMIUM = '/usr/bin/chromium'
export const CHROMEDRIVER = '/usr/bin/chromedriver'

async function freePort(): Promise<number> {
  return new Promise((resolve, reject) => {
    const srv = createServer()
    srv.once('error', reject)
    srv.listen(0, '127.0.0.1', () => {
      const port = (srv.address() as { port: number }).port
      srv.close(() => resolve(port))
    })
  })
}

async function call(base: string, method: string, path: string, body?: unknown): Promise<unknown> {
  const res = await fetch(base + path, {
    method,
    headers: body === undefined ? undefined : { 'Content-Type': 'application/json' },
    body: body === undefined ? undefined : JSON.stringify(body),
  })
  const json = (await res.json()) as { value: unknown }
  if (!res.ok) throw new Error(`${method} ${path}: ${JSON.stringify(json.value).slice(0, 500)}`)
  return json.value
}

export class ChromiumDriver {
  private constructor(private readonly proc: ChildProcess, private readonly base: string) {}

  static async start(): Promise<ChromiumDriver> {
    const port = await freePort()
    const proc = spawn(CHROMEDRIVER, [`--port=${port}`], { stdio: 'ignore' })
    const base = `http://127.0.0.1:${port}`
    await waitFor('chromedriver to listen', async () => {
      try {
        return (await fetch(`${base}/status`)).ok
      } catch {
        return false
      }
    }, 15_000)
    return new ChromiumDriver(proc, base)
  }

  /** A headless browser with these extra command-line switches. */
  async session(args: string[]): Promise<ChromiumSession> {
    const created = (await call(this.base, 'POST', '/session', {
      capabilities: {
        alwaysMatch: {
          'goog:chromeOptions': {
            binary: CHROMIUM,
            args: ['--headless=new', '--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage', '--no-first-run', ...args],
          },
        },
      },
    })) as { sessionId: string }
    return new ChromiumSession(this.base, created.sessionId)
  }

  async stop(): Promise<void> {
    const gone = new Promise((r) => this.proc.once('exit', r))
    this.proc.kill('SIGTERM')
    await gone
  }
}

export class ChromiumSession {
  constructor(private readonly base: string, readonly id: string) {}

  private cmd(method: string, path: string, body?: unknown) {
    return call(this.base, method, `/session/${this.id}${path}`, body)
  }

  async navigate(url: string) {
    await this.cmd('POST', '/url', { url })
  }

  execute<T>(script: string, ...args: unknown[]): Promise<T> {
    return this.cmd('POST', '/execute/sync', { script, args }) as Promise<T>
  }

  executeAsync<T>(script: string, ...args: unknown[]): Promise<T> {
    return this.cmd('POST', '/execute/async', { script, args }) as Promise<T>
  }

  async close() {
    await this.cmd('DELETE', '').catch(() => {})
  }
}
