import { describe, expect, it } from 'vitest'
import { ShardedMap } from './shardedMap'

describe('ShardedMap', () => {
  it('counts each key once through overwrites and deletes', () => {
    const m = new ShardedMap<number>()
    const keys = Array.from({ length: 5_000 }, (_, i) => String(4_600_000_000_000 + i))
    keys.forEach((k, i) => m.set(k, i))
    keys.forEach((k, i) => m.set(k, i + 1))
    expect(m.size).toBe(keys.length)
    expect(keys.every((k, i) => m.get(k) === i + 1)).toBe(true)
    expect(m.delete(keys[0]!)).toBe(true)
    expect(m.delete(keys[0]!)).toBe(false)
    expect(m.delete('no such key')).toBe(false)
    expect(m.size).toBe(keys.length - 1)
    expect(m.get(keys[0]!)).toBeUndefined()
    m.clear()
    expect(m.size).toBe(0)
    expect(m.get(keys[1]!)).toBeUndefined()
  })
})
