import { eventually } from '../../../ui/core/testing/eventually'

/**
 * The tests' polling wait with the harness's patience: the desktop app and
 * WebKit start slowly under Xvfb, so the default deadline is 20 s.
 */
export function waitFor<T>(
  what: string,
  probe: () => T | undefined | false | Promise<T | undefined | false>,
  timeoutMs = 20_000,
  everyMs = 50,
): Promise<T> {
  return eventually(what, probe, timeoutMs, everyMs)
}

export const delay = (ms: number) => new Promise<void>((r) => setTimeout(r, ms))
