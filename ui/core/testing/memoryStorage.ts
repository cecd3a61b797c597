/** A Storage kept in memory, for tests that run without a DOM; `quotaLeft` makes writes fail once it is used up. */
export class MemoryStorage implements Storage {
  private readonly map = new Map<string, string>()
  /** characters that may still be written; Infinity by default */
  quotaLeft = Infinity

  get length(): number {
    return this.map.size
  }
  clear(): void {
    this.map.clear()
  }
  getItem(key: string): string | null {
    return this.map.get(key) ?? null
  }
  key(index: number): string | null {
    return [...this.map.keys()][index] ?? null
  }
  removeItem(key: string): void {
    this.map.delete(key)
  }
  setItem(key: string, value: string): void {
    const grow = value.length - (this.map.get(key)?.length ?? 0)
    if (grow > this.quotaLeft) throw new DOMException('quota exceeded', 'QuotaExceededError')
    this.quotaLeft -= Math.max(0, grow)
    this.map.set(key, String(value))
  }
}

/** Puts a fresh MemoryStorage in place of the global localStorage; answers it. */
export function installMemoryStorage(): MemoryStorage {
  const storage = new MemoryStorage()
  Object.defineProperty(globalThis, 'localStorage', { value: storage, configurable: true, writable: true })
  return storage
}
