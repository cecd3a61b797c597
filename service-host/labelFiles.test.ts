// @vitest-environment node
import { afterAll, beforeAll, describe, expect, it } from 'vitest'
import { StandIn } from '../ui/core/testing/standIn'

let standIn: StandIn
beforeAll(async () => {
  standIn = await StandIn.start()
})
afterAll(() => standIn.close())

describe('the stand-in label file host', () => {
  it('answers a label PDF of the size in its name', async () => {
    const res = await fetch(`${standIn.url}/labels/sample-100x150.pdf`)
    expect(res.status).toBe(200)
    expect(res.headers.get('content-type')).toBe('application/pdf')
    const text = Buffer.from(await res.arrayBuffer()).toString('latin1')
    expect(text.startsWith('%PDF-1.4\n')).toBe(true)
    expect(text).toContain('/MediaBox [0 0 283.46 425.20]')
    // Every cross-reference offset points at its object.
    const xref = Number(/startxref\n(\d+)/.exec(text)![1])
    const offsets = text.slice(xref).split('\n').slice(3, 8).map((l) => Number(l.slice(0, 10)))
    offsets.forEach((o, i) => expect(text.slice(o, o + 8)).toBe(`${i + 1} 0 obj\n`))
  })

  it.each(['/labels/sample-5x40.pdf', '/labels/sample-58x401.pdf', '/labels/other.pdf'])('%s is not found', async (path) => {
    expect((await fetch(`${standIn.url}${path}`)).status).toBe(404)
  })
})
