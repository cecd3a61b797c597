/**
 * The common part of the unit tests' stand-ins of the desktop host: every
 * call kept in order, commands made to fail with the host's text (or never
 * answer), and installing the stand-in as the page's bridge object.
 */
import { installFakeBridge, removeFakeBridge } from './fakeBridge'

export abstract class FakeHost {
  readonly calls: Array<{ cmd: string; args: Record<string, unknown> }> = []
  /** command → the text it fails with, thrown as the host's string refusal; null: it never answers */
  readonly failing = new Map<string, string | null>()

  count(cmd: string): number {
    return this.calls.filter((c) => c.cmd === cmd).length
  }

  /** Puts this host in place of the page's bridge object. */
  install(): this {
    installFakeBridge((cmd, args) => this.invoke(cmd, args))
    return this
  }

  static uninstall(): void {
    removeFakeBridge()
  }

  async invoke(cmd: string, args: Record<string, unknown>): Promise<unknown> {
    this.calls.push({ cmd, args })
    if (this.failing.has(cmd)) {
      const text = this.failing.get(cmd)
      if (text === null) return new Promise(() => {})
      throw text
    }
    return this.answer(cmd, args)
  }

  /** The host's answer to a command that does not fail. */
  protected abstract answer(cmd: string, args: Record<string, unknown>): unknown
}
