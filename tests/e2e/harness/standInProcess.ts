/**
 * The local service host as its own process (test mode), so that a test can
 * stop it as a restart of the server does and start it again on the same
 * ports. Tokens are signed with one key per instance chain, so a started
 * again stand-in accepts the tokens of the stopped one.
 */
import { spawn, type ChildProcess } from 'node:child_process'
import { randomBytes } from 'node:crypto'
import { join } from 'node:path'
import { ROOT } from './desktopApp'
import { controlRequest } from '../../../ui/core/testing/standIn'
import { waitFor } from './wait'
import { freePort } from './webdriver'

export interface StandInPorts {
  port: number
  controlPort: number
  secret: string
}

export class StandInProcess {
  private output = ''
  private readonly exit: Promise<number | null>

  private constructor(
    private readonly proc: ChildProcess,
    readonly ports: StandInPorts,
  ) {
    proc.stdout!.on('data', (c) => (this.output += c))
    proc.stderr!.on('data', (c) => (this.output += c))
    this.exit = new Promise((resolve) => proc.once('exit', (code) => resolve(code)))
  }

  /** Starts a stand-in; with `ports` where a stopped one was, with its key. */
  static async start(ports?: StandInPorts): Promise<StandInProcess> {
    const p = ports ?? { port: await freePort(), controlPort: await freePort(), secret: randomBytes(24).toString('base64url') }
    const proc = spawn(process.execPath, [join(ROOT, 'service-host', 'server.mjs')], {
      env: {
        ...process.env,
        PORT: String(p.port),
        CONTROL_PORT: String(p.controlPort),
        SERVICE_HOST_TEST: '1',
        SERVICE_HOST_SECRET: p.secret,
      },
      stdio: ['ignore', 'pipe', 'pipe'],
    })
    const standIn = new StandInProcess(proc, p)
    await waitFor('the stand-in to listen', () => standIn.output.includes('control: http://') || proc.exitCode !== null, 20_000)
    if (proc.exitCode !== null) throw new Error(`the stand-in did not start: ${standIn.output}`)
    return standIn
  }

  get url(): string {
    return `http://127.0.0.1:${this.ports.port}`
  }

  control<T = Record<string, unknown>>(method: 'GET' | 'POST', path: string, body?: unknown): Promise<T> {
    return controlRequest<T>(`http://127.0.0.1:${this.ports.controlPort}`, method, path, body)
  }

  async connections(): Promise<Array<{ id: string; kind: string; token: string }>> {
    return (await this.control<{ connections: Array<{ id: string; kind: string; token: string }> }>('GET', '/connections')).connections
  }

  /** Stops the process as a service stop does (SIGTERM: it closes every connection itself) and waits for it. */
  async stop(): Promise<void> {
    if (this.proc.exitCode === null && this.proc.signalCode === null) this.proc.kill('SIGTERM')
    await this.exit
  }
}
