/**
 * A private CUPS scheduler for desktop tests (tests/fixtures/cups): the test
 * queues, a capture folder that keeps every job as it arrived, and a profile
 * whose app talks to this scheduler only.
 */
import { spawn, execFile, type ChildProcess } from 'node:child_process'
import { mkdtempSync, readdirSync, readFileSync, rmSync } from 'node:fs'
import { join } from 'node:path'
import { promisify } from 'node:util'
import { StandIn } from '../../../ui/core/testing/standIn'
import { Profile, ROOT } from './desktopApp'
import { startDisplay, type Display } from './display'
import { pointAt } from './standInApp'
import { waitFor } from './wait'
import { Session } from './webdriver'

const run = promisify(execFile)
const SCRIPT = join(ROOT, 'tests/fixtures/cups/private-cupsd')
export const MM = 72 / 25.4

/** The scheduler of tests/fixtures/cups, a child of this process with the test queues. */
export class PrivateCupsd {
  private constructor(
    readonly dir: string,
    private readonly proc: ChildProcess,
  ) {}

  get socket() {
    return join(this.dir, 'cups.sock')
  }

  static async start(): Promise<PrivateCupsd> {
    // Short and outside $TMPDIR: the socket path has a length limit.
    const dir = mkdtempSync('/tmp/zorvik-e2e-cupsd-')
    await run(SCRIPT, ['prepare', dir])
    const proc = spawn('cupsd', ['-f', '-c', join(dir, 'cupsd.conf'), '-s', join(dir, 'cups-files.conf')], { stdio: 'ignore' })
    const cupsd = new PrivateCupsd(dir, proc)
    const env = { ...process.env, CUPS_SERVER: cupsd.socket }
    await waitFor('the private cupsd to answer', () => run('lpstat', ['-r'], { env }).then(() => true, () => false), 15_000, 100)
    await run(SCRIPT, ['add-queues', dir], { env })
    return cupsd
  }

  /** Finished jobs of the capture queue: id, its options line and the document. */
  jobs(): Array<{ id: number; meta: string; pdf: string }> {
    const capture = join(this.dir, 'capture')
    return readdirSync(capture)
      .filter((n) => /^job-\d+\.txt$/.test(n))
      .map((n) => {
        const id = Number(n.slice(4, -4))
        return { id, meta: readFileSync(join(capture, n), 'utf8'), pdf: join(capture, `job-${id}.pdf`) }
      })
      .sort((a, b) => a.id - b.id)
  }

  async stop(): Promise<void> {
    if (this.proc.exitCode === null && this.proc.signalCode === null) {
      const gone = new Promise((r) => this.proc.once('exit', r))
      this.proc.kill('SIGTERM')
      await gone
    }
    rmSync(this.dir, { recursive: true, force: true })
  }
}

/** A profile whose app talks to the private scheduler only. */
export class PrintProfile extends Profile {
  constructor(private readonly cupsServer: string) {
    super()
  }
  override env(display: string): NodeJS.ProcessEnv {
    return { ...super.env(display), CUPS_SERVER: this.cupsServer }
  }
}

/** Pages and their sizes in points, as pdfinfo reads the received document. */
export async function pdfPages(file: string): Promise<{ pages: number; width: number; height: number }> {
  const { stdout } = await run('pdfinfo', [file])
  const size = /Page size:\s+([\d.]+) x ([\d.]+) pts/.exec(stdout)!
  return { pages: Number(/Pages:\s+(\d+)/.exec(stdout)![1]), width: Number(size[1]), height: Number(size[2]) }
}


/** The app on a test display against the stand-in, printing to a private cupsd. */
export interface PrintRig {
  display: Display
  standIn: StandIn
  cupsd: PrivateCupsd
  profile: PrintProfile
  session: Session
  stop(): Promise<void>
}

/** Starts a display, the stand-in, a private cupsd and the app pointed at the stand-in. */
export async function startPrintRig(): Promise<PrintRig> {
  const parts: Partial<PrintRig> = {}
  const stop = async () => {
    await parts.session?.close()
    await parts.cupsd?.stop()
    await parts.standIn?.close()
    await parts.display?.stop()
    parts.profile?.remove()
  }
  try {
    parts.display = await startDisplay()
    parts.standIn = await StandIn.start()
    parts.cupsd = await PrivateCupsd.start()
    parts.profile = new PrintProfile(parts.cupsd.socket)
    parts.session = await Session.start(parts.profile, parts.display.name)
    await pointAt(parts.session, parts.standIn.url)
  } catch (err) {
    await stop()
    throw err
  }
  return { ...(parts as Omit<PrintRig, 'stop'>), stop }
}
