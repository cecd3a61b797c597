/** A private X display (Xvfb) for desktop tests. */
import { spawn, type ChildProcess } from 'node:child_process'
import { execFile } from 'node:child_process'
import { promisify } from 'node:util'

const run = promisify(execFile)

export interface Display {
  name: string
  stop(): Promise<void>
}

/** Starts Xvfb on a free display number, chosen by the server itself (-displayfd). */
export async function startDisplay(): Promise<Display> {
  const proc: ChildProcess = spawn(
    'Xvfb',
    ['-displayfd', '3', '-screen', '0', '1280x1024x24', '-nolisten', 'tcp', '-noreset'],
    { stdio: ['ignore', 'ignore', 'pipe', 'pipe'] },
  )
  const number = await new Promise<string>((resolve, reject) => {
    let text = ''
    const fd3 = proc.stdio[3] as NodeJS.ReadableStream
    fd3.on('data', (chunk) => {
      text += chunk.toString()
      if (text.includes('\n')) resolve(text.trim())
    })
    proc.on('exit', (code) => reject(new Error(`Xvfb exited with ${code}`)))
    setTimeout(() => reject(new Error('Xvfb did not start')), 15_000)
  })
  return {
    name: `:${number}`,
    async stop() {
      if (proc.exitCode !== null) return
      const gone = new Promise((r) => proc.once('exit', r))
      proc.kill('SIGTERM')
      await gone
    },
  }
}

export interface WindowInfo {
  id: string
  viewable: boolean
  width: number
  height: number
}

/** Top-level windows with this exact title on the display. */
export async function findWindows(display: string, title: string): Promise<WindowInfo[]> {
  const env = { ...process.env, DISPLAY: display }
  // A window that goes away while the tree is walked fails the whole query
  // ("Bad Window"): ask again, the next walk no longer meets it.
  let stdout = ''
  for (let attempt = 1; ; attempt++) {
    try {
      stdout = (await run('xwininfo', ['-root', '-tree'], { env })).stdout
      break
    } catch (err) {
      if (attempt >= 5) throw err
    }
  }
  const ids = stdout
    .split('\n')
    .filter((line) => line.includes(`"${title}"`))
    .map((line) => line.trim().split(/\s+/)[0]!)
  const out: WindowInfo[] = []
  for (const id of ids) {
    // A window gone since the walk is no longer there to report.
    const info = await run('xwininfo', ['-id', id], { env }).catch(() => undefined)
    if (!info) continue
    const get = (key: string) => new RegExp(`${key}:\\s*(.*)`).exec(info.stdout)?.[1]?.trim() ?? ''
    out.push({
      id,
      viewable: get('Map State') === 'IsViewable',
      width: Number(get('Width')),
      height: Number(get('Height')),
    })
  }
  return out
}
