/**
 * Loading an opened document's positions: what is there is shown at once
 * (positions in memory, the device cache) and fresh contents are fetched
 * beside it; the fresh list replaces the shown one with the counts made so
 * far put back on it. What the screen says when the fetch fails is decided
 * by `failedFetchView`; the loader only does the fetching and the order.
 */
import type { DocumentRecord, PositionRecord } from '../records'

export const CONTENTS_TEXTS = {
  loadingBanner: (time: string) => `Обновляем данные… показаны от ${time}`,
  failedBanner: (time: string) => `Обновить не удалось — показаны данные от ${time}`,
  noPositions: 'В документе нет позиций',
  checkModeFailed:
    'Состав не загрузился. Проверка начинается со свежих данных — проверьте связь и откройте документ еще раз.',
} as const

/** Where the positions of a document come from (the device cache and the server). */
export interface ContentsSource {
  /** the cached positions and when they were cached, or null */
  cached(documentId: string): { positions: PositionRecord[]; cachedAt: number } | null
  /** fresh positions; rejects when they did not come */
  fetch(documentId: string, type: string): Promise<PositionRecord[]>
  /** the text to show for a failed fetch, or null when it is not for the picker's eyes */
  failureText(err: unknown): string | null
}

/** "hh:mm" today, else "dd.mm hh:mm". */
export function shortTime(at: number, now: number): string {
  const d = new Date(at)
  const n = new Date(now)
  const two = (x: number) => String(x).padStart(2, '0')
  const time = `${two(d.getHours())}:${two(d.getMinutes())}`
  return d.toDateString() === n.toDateString() ? time : `${two(d.getDate())}.${two(d.getMonth() + 1)} ${time}`
}

/**
 * A fetch failed: positions already shown stay with a banner saying how old
 * they are; otherwise the empty list says why. In check mode nothing older
 * may stand in for fresh contents, so the list stays empty.
 */
export function failedFetchView(o: {
  checkMode: boolean
  /** positions are already shown (from the cache) */
  shown: boolean
  /** the source's text for the failure, or null */
  text: string | null
  /** when the shown positions were cached */
  cachedAt?: number
  now: number
}): { banner: string } | { emptyText: string } {
  if (o.checkMode) return { emptyText: o.text ?? CONTENTS_TEXTS.checkModeFailed }
  if (o.shown) return { banner: o.text ?? CONTENTS_TEXTS.failedBanner(shortTime(o.cachedAt ?? o.now, o.now)) }
  return { emptyText: o.text ?? CONTENTS_TEXTS.noPositions }
}

/** The part of the screen state loading writes. */
export interface ContentsState {
  documentId: string
  type: string
  loading: boolean
  fromCache: boolean
  shown: boolean
  banner: string
  emptyText: string
}

/** What the loader needs of the session: the counted state lives there. */
export interface ContentsHost {
  contents: ContentsSource
  state: ContentsState
  doc(): DocumentRecord | null
  demo(): boolean
  checkMode(): boolean
  now(): number
  log(line: string, ...rest: unknown[]): void
  /** new positions replace the shown ones; true when counts of vanished positions were dropped */
  install(list: PositionRecord[]): boolean
  /** the counts put back on the positions shown; true when counts of vanished positions were dropped */
  reapply(): boolean
  /** positions became visible for the first time: index, draft */
  firstShown(): void
  restoreDraft(): void
  saveDraft(): void
  /** the index built again from the positions shown */
  reindex(): void
}

export interface ContentsLoader {
  /** Shows the current document's positions; resolves when the fresh ones are in or failed. */
  load(): Promise<void>
  /** An answer still on its way is dropped (the screen left, or another document opened). */
  cancel(): void
}

export function createContentsLoader(host: ContentsHost): ContentsLoader {
  const { state } = host
  let serial = 0

  async function fetchFresh(mine: number, o: { cachedAt?: number; checkMode?: boolean }) {
    state.loading = true
    let list: PositionRecord[]
    try {
      list = await host.contents.fetch(state.documentId, state.type)
    } catch (err) {
      if (mine !== serial) return
      state.loading = false
      const view = failedFetchView({
        checkMode: o.checkMode === true,
        shown: state.shown,
        text: host.contents.failureText(err),
        cachedAt: o.cachedAt,
        now: host.now(),
      })
      if ('banner' in view) {
        host.log('[DocumentWork] нет связи, работаем по кэшу:', err)
        state.banner = view.banner
        return
      }
      state.emptyText = view.emptyText
      state.shown = true
      host.reindex()
      return
    }
    if (mine !== serial) return
    state.loading = false
    const d = host.doc()
    if (!d) return
    // The two-person check compares with the order: a fresh line without one takes its quantity.
    if (o.checkMode) for (const p of list) if (p.orderedQuantity === undefined) p.orderedQuantity = p.required
    const wasShown = state.shown
    state.shown = true
    state.fromCache = false
    state.banner = ''
    const dropped = list !== d.products ? host.install(list) : host.reapply()
    if (!wasShown) host.restoreDraft()
    else if (dropped) host.saveDraft()
    if (list.length === 0) state.emptyText = CONTENTS_TEXTS.noPositions
  }

  return {
    async load() {
      const mine = ++serial
      const d = host.doc()
      if (!d) return
      if (host.checkMode()) {
        // Check mode starts from fresh contents only: nothing in memory or in the cache is shown.
        d.products = []
        await fetchFresh(mine, { checkMode: true })
        return
      }
      if (d.products.length > 0) {
        host.firstShown()
        return
      }
      if (!host.demo()) {
        const cached = host.contents.cached(d.id)
        if (cached && cached.positions.length > 0) {
          host.install(cached.positions)
          state.fromCache = true
          state.banner = CONTENTS_TEXTS.loadingBanner(shortTime(cached.cachedAt, host.now()))
          host.firstShown()
          await fetchFresh(mine, { cachedAt: cached.cachedAt })
          return
        }
      }
      await fetchFresh(mine, {})
    },
    cancel() {
      serial++
    },
  }
}
