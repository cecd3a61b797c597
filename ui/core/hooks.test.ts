import { describe, expect, it } from 'vitest'
import { createHooks } from './hooks'

describe('createHooks', () => {
  it('runs every listener with the arguments, in the order they were added', () => {
    const hooks = createHooks<[number, string]>('t')
    const seen: string[] = []
    hooks.add((n, s) => seen.push(`a${n}${s}`))
    hooks.add((n, s) => seen.push(`b${n}${s}`))
    hooks.run(1, 'x')
    expect(seen).toEqual(['a1x', 'b1x'])
  })

  it('keeps going when a listener throws and reports the fault with the list name', () => {
    const reported: Array<[string, unknown]> = []
    const hooks = createHooks<[]>('queue', (name, err) => reported.push([name, err]))
    const seen: string[] = []
    hooks.add(() => {
      throw new Error('boom')
    })
    hooks.add(() => seen.push('after'))
    hooks.run()
    expect(seen).toEqual(['after'])
    expect(reported).toHaveLength(1)
    expect(reported[0]![0]).toBe('queue')
  })

  it('removes exactly the listener whose removal is called, even a function added twice', () => {
    const hooks = createHooks<[]>('t')
    let calls = 0
    const hook = () => calls++
    const first = hooks.add(hook)
    hooks.add(hook)
    first()
    first()
    hooks.run()
    expect(calls).toBe(1)
    expect(hooks.size).toBe(1)
  })

  it('a listener removing itself during a run does not skip the next one', () => {
    const hooks = createHooks<[]>('t')
    const seen: string[] = []
    const off = hooks.add(() => {
      seen.push('once')
      off()
    })
    hooks.add(() => seen.push('always'))
    hooks.run()
    hooks.run()
    expect(seen).toEqual(['once', 'always', 'always'])
  })
})
