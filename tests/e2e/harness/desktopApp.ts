/** Starts the real desktop executable with a fresh profile on a test display. */
import { spawn, type ChildProcess } from 'node:child_process'
import { mkdtempSync, readFileSync, rmSync, existsSync } from 'node:fs'
import { tmpdir } from 'node:os'
import { join, resolve } from 'node:path'
import { waitFor } from './wait'

export const ROOT = resolve(__dirname, '../../..')
export const EXECUTABLE = join(ROOT, 'build', 'zorvik')
export const APP_ID = 'com.quennix.zorvik-mobile'
export const WINDOW_TITLE = 'Зорвик'

/** A user's folders (XDG data, cache, runtime) in one temporary directory. */
export class Profile {
  readonly root = mkdtempSync(join(tmpdir(), 'zorvik-e2e-'))
  get dataHome() { return join(this.root, 'data') }
  get cacheHome() { return join(this.root, 'cache') }
  get runtimeDir() { return this.root }
  get logFile() { return join(this.dataHome, APP_ID, 'logs', 'startup.log') }

  env(display: string): NodeJS.ProcessEnv {
    return {
      ...process.env,
      DISPLAY: display,
      XDG_DATA_HOME: this.dataHome,
      XDG_CACHE_HOME: this.cacheHome,
      XDG_CONFIG_HOME: join(this.root, 'config'),
      XDG_RUNTIME_DIR: this.runtimeDir,
      HOME: this.root,
      NO_AT_BRIDGE: '1',
    }
  }

  /** Log lines without their time stamps. */
  logLines(): string[] {
    if (!existsSync(this.logFile)) return []
    return readFileSync(this.logFile, 'utf8')
      .split('\n')
      .filter(Boolean)
      .map((line) => line.slice(20))
  }

  remove() {
    // ZORVIK_E2E_KEEP=1 keeps the profiles (logs, stores) of a run for a look afterwards.
    if (process.env.ZORVIK_E2E_KEEP) return void console.log(`profile kept: ${this.root}`)
    rmSync(this.root, { recursive: true, force: true })
  }
}

export interface RunningApp {
  proc: ChildProcess
  output(): string
  exited(): Promise<number | null>
  stop(): Promise<void>
}

export function launch(profile: Profile, display: string, args: string[] = []): RunningApp {
  const proc = spawn(EXECUTABLE, args, { env: profile.env(display), stdio: ['ignore', 'pipe', 'pipe'] })
  let text = ''
  proc.stdout!.on('data', (c) => (text += c))
  proc.stderr!.on('data', (c) => (text += c))
  const exit = new Promise<number | null>((r) => proc.once('exit', (code) => r(code)))
  return {
    proc,
    output: () => text,
    exited: () => exit,
    async stop() {
      if (proc.exitCode === null && proc.signalCode === null) proc.kill('SIGTERM')
      await exit
    },
  }
}

/** Waits until the log holds a line for which `match` is true; returns all lines. */
export function waitForLog(profile: Profile, match: (line: string) => boolean, timeoutMs = 20_000) {
  return waitFor(`a log line in ${profile.logFile}`, () => {
    const lines = profile.logLines()
    return lines.some(match) ? lines : undefined
  }, timeoutMs)
}

/** Runs `zorvik --invoke NAME [JSON]` and collects its result. */
export function invokeCli(profile: Profile, name: string, json?: string) {
  return new Promise<{ code: number | null; stdout: Buffer; stderr: string }>((resolveRun) => {
    const args = ['--invoke', name, ...(json === undefined ? [] : [json])]
    const env = { ...profile.env(''), DISPLAY: '' }
    const proc = spawn(EXECUTABLE, args, { env, stdio: ['ignore', 'pipe', 'pipe'] })
    const out: Buffer[] = []
    let err = ''
    proc.stdout.on('data', (c: Buffer) => out.push(c))
    proc.stderr.on('data', (c) => (err += c))
    proc.on('exit', (code) => resolveRun({ code, stdout: Buffer.concat(out), stderr: err }))
  })
}
