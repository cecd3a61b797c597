/** The host's persistent key-value files (".device.dat", "credentials.dat", ".settings.dat"). */
import { invokePlugin } from './bridge'

export class HostStore {
  private constructor(
    readonly path: string,
    private readonly rid: number,
  ) {}

  static async load(path: string, defaults: Record<string, unknown> = {}): Promise<HostStore> {
    const rid = await invokePlugin<number>('store', 'load', { path, options: { defaults } })
    return new HostStore(path, rid)
  }

  async get<T>(key: string): Promise<T | undefined> {
    const r = await invokePlugin<{ value: T; exists: boolean }>('store', 'get', { rid: this.rid, key })
    return r.exists ? r.value : undefined
  }
  set(key: string, value: unknown): Promise<void> {
    return invokePlugin('store', 'set', { rid: this.rid, key, value })
  }
  has(key: string): Promise<boolean> {
    return invokePlugin('store', 'has', { rid: this.rid, key })
  }
  delete(key: string): Promise<boolean> {
    return invokePlugin('store', 'delete', { rid: this.rid, key })
  }
  clear(): Promise<void> {
    return invokePlugin('store', 'clear', { rid: this.rid })
  }
  reset(): Promise<void> {
    return invokePlugin('store', 'reset', { rid: this.rid })
  }
  keys(): Promise<string[]> {
    return invokePlugin('store', 'keys', { rid: this.rid })
  }
  values(): Promise<unknown[]> {
    return invokePlugin('store', 'values', { rid: this.rid })
  }
  entries(): Promise<Array<[string, unknown]>> {
    return invokePlugin('store', 'entries', { rid: this.rid })
  }
  length(): Promise<number> {
    return invokePlugin('store', 'length', { rid: this.rid })
  }
  reload(): Promise<void> {
    return invokePlugin('store', 'reload', { rid: this.rid })
  }
  save(): Promise<void> {
    return invokePlugin('store', 'save', { rid: this.rid })
  }
  close(): Promise<void> {
    return invokePlugin('resources', 'close', { rid: this.rid })
  }
}
