/**
 * A string-keyed map split over many small maps. A single map of a hundred
 * thousand keys rehashes all of them at once when it grows, and that stalls
 * the page for tens of milliseconds in the middle of a synchronisation; small
 * shards grow a little at a time.
 */
const SHARDS = 64

function shardOf(key: string): number {
  // FNV-1a over the key: barcodes and ids differ mostly in their last digits, which all take part.
  let h = 0x811c9dc5
  for (let i = 0; i < key.length; i++) h = Math.imul(h ^ key.charCodeAt(i), 0x01000193)
  return (h >>> 0) & (SHARDS - 1)
}

export class ShardedMap<V> {
  private readonly shards: Map<string, V>[] = Array.from({ length: SHARDS }, () => new Map<string, V>())
  private total = 0

  get size(): number {
    return this.total
  }

  get(key: string): V | undefined {
    return this.shards[shardOf(key)]!.get(key)
  }

  set(key: string, value: V): void {
    const shard = this.shards[shardOf(key)]!
    const before = shard.size
    shard.set(key, value)
    this.total += shard.size - before
  }

  delete(key: string): boolean {
    const gone = this.shards[shardOf(key)]!.delete(key)
    if (gone) this.total -= 1
    return gone
  }

  clear(): void {
    for (const shard of this.shards) shard.clear()
    this.total = 0
  }
}
