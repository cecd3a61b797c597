// The benchmark runner (scripts/bench) over a folder of small stand-in areas: an area that stops
// running fails the run, in the smoke runs `make test` makes and in a full `make bench`.
// @vitest-environment node
import { spawnSync } from 'node:child_process'
import { chmodSync, mkdirSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs'
import { tmpdir } from 'node:os'
import { join } from 'node:path'
import { afterEach, describe, expect, it, vi } from 'vitest'

const runner = join(__dirname, 'bench')

/** Area scripts: each prints what a real area prints, or breaks in one way. */
const AREAS: Record<string, string> = {
  // Runs, and in a smoke run says it was asked for the short iteration.
  working: `echo "working: one figure"
echo "  smoke: \${BENCH_SMOKE:-no}"
echo "  figure: working ratio = 0.50 (goal <= 0.70)"
echo "  noise line: the reference against itself, ratio 1.02"`,
  // Runs and misses its goal: a figure, not a failure.
  slow: `echo "  figure: slow ratio = 1.30× (goal <= 1.00×)"
echo "  noise line: 0.97"`,
  // Broken on purpose: the program fails.
  broken: `echo "broken: the app did not start" >&2
exit 3`,
  // Broken on purpose: ends well but measured nothing (a filter that found no figure lines).
  silent: 'echo "silent: the benchmark printed nothing to read"',
  // Runs past the time limit.
  hanging: 'echo "hanging"; sleep 30',
}

// Each case runs bash scripts, slowly on a busy machine.
vi.setConfig({ testTimeout: 60_000 })

let dir = ''
afterEach(() => {
  if (dir) rmSync(dir, { recursive: true, force: true })
  dir = ''
})

function bench(areas: string[], args: string[], env: Record<string, string> = {}) {
  dir = mkdtempSync(join(tmpdir(), 'zorvik-bench-runner-'))
  for (const area of areas) {
    mkdirSync(join(dir, area))
    writeFileSync(join(dir, area, 'run'), `#!/usr/bin/env bash\n${AREAS[area]}\n`)
    chmodSync(join(dir, area, 'run'), 0o755)
  }
  const run = spawnSync(runner, args, { env: { ...process.env, BENCH_DIR: dir, ...env }, encoding: 'utf8', timeout: 60_000 })
  return { status: run.status, out: run.stdout + run.stderr }
}

describe('smoke runs', () => {
  it('pass when every area runs, and ask each for its short iteration', () => {
    const { status, out } = bench(['working', 'slow'], ['--smoke'])
    expect(out).toContain('smoke: 1')
    expect(out).toContain('== every area ran')
    expect(out).not.toContain('goals met') // no figure judged
    expect(status).toBe(0)
  })

  it.each([
    ['broken', 'broken (exit 3)'],
    ['silent', 'silent (no noise line: it did not measure)'],
  ])('fail when one area is %s, and name it', (area, named) => {
    const { status, out } = bench(['working', area, 'slow'], ['--smoke'])
    expect(out).toContain(`== areas that did not run: ${named}`)
    // The areas after the broken one still run.
    expect(out).toContain('== slow:')
    expect(status).toBe(1)
  })

  it('end an area that runs past the limit, and fail', () => {
    const { status, out } = bench(['working', 'hanging'], ['--smoke'], { BENCH_AREA_TIMEOUT: '2' })
    expect(out).toContain('hanging ran longer than 2 s and was ended')
    expect(out).toContain('== areas that did not run: hanging (exit 124)')
    expect(status).toBe(1)
  })
})

describe('full runs', () => {
  it('end with the table of figures and goals and the count of goals met', () => {
    const { status, out } = bench(['working', 'slow'], [])
    expect(out).toMatch(/working\s+working ratio\s+0\.50\s+<= 0\.70\s+met/)
    expect(out).toMatch(/slow\s+slow ratio\s+1\.30\s+<= 1\.00\s+MISSED/)
    expect(out).toContain('working: noise line: the reference against itself, ratio 1.02')
    expect(out).toContain('== goals met: 1 of 2')
    expect(out).not.toContain('smoke: 1')
    expect(status).toBe(0) // a missed goal is a figure, not a failure
  })

  it('exit non-zero when an area did not run, after the table', () => {
    const { status, out } = bench(['broken', 'working'], [])
    expect(out).toContain('== goals met: 1 of 1')
    expect(out).toContain('== areas that did not run: broken (exit 3)')
    expect(status).toBe(1)
  })
})
