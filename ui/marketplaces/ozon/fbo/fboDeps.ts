/**
 * What the FBO part reaches outside itself: the server channel with each
 * request's time limit, the Ozon store's rate-limit pause, the Ozon label
 * road and the clock. Tests replace parts through `useFboDeps`.
 */
import type { Payload } from '../../../core/envelope'
import { marketplaceRequest } from '../../channel'
import type { PrintResult } from '../ozonCore'
import { ozonDeps } from '../ozonDeps'
import { useOzonStore } from '../ozonStore'

export const FBO_TIMEOUTS_MS: Readonly<Record<string, number>> = {
  ozonFboSupplies: 30_000,
  ozonFboSupply: 60_000,
  ozonSupplyItems: 30_000,
  ozonSupplyLabel: 60_000,
  ozonSupplyProductLabels: 60_000,
  ozonSupplyContent: 60_000,
  ozonCargoesCreate: 60_000,
}

export interface FboPause {
  paused(): boolean
  /** seconds left */
  left(): number
  /** starts (or lengthens) the pause an answer asks for; its seconds */
  start(p: Payload): number
}

export interface FboDeps {
  ask(name: string, payload: Payload): Promise<Payload>
  pause: FboPause
  /** prints a supply's label link (one copy) on the Ozon label road */
  print(link: string, answer: Payload, show: (text: string) => void): Promise<PrintResult>
  now(): number
  failureText(err: unknown): string
}

function realDeps(): FboDeps {
  const core = () => useOzonStore().core
  return {
    ask: (name, payload) => marketplaceRequest(name, payload, FBO_TIMEOUTS_MS[name]),
    pause: { paused: () => core().paused(), left: () => core().pauseLeft(), start: (p) => core().startPause(p) },
    // A supply label stands for no posting or document: no relay by document, printed once.
    print: (link, answer, show) => ozonDeps().print({ postingNumber: '', status: '', labelUrl: link }, answer, undefined, show),
    now: () => ozonDeps().now(),
    failureText: (err) => ozonDeps().failureText(err),
  }
}

let overrides: Partial<FboDeps> = {}

/** Tests (and nothing else) replace parts; no argument restores them. */
export function useFboDeps(patch: Partial<FboDeps> = {}): void {
  overrides = patch
}

export function fboDeps(): FboDeps {
  return { ...realDeps(), ...overrides }
}
