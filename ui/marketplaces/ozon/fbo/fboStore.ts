/**
 * The FBO part of the Ozon state ("ozonFbo"): the supplies list (loaded at
 * most once a minute unless forced), the supply contents loaded so far, the
 * label buttons' busy flags and the last note. Every request shares the
 * Ozon store's rate-limit pause; labels take the Ozon label road. The supply
 * page's requests (load, content, cargo places) go through here too.
 */
import { defineStore } from 'pinia'
import { ref } from 'vue'
import type { Payload } from '../../../core/envelope'
import { isTimeout } from '../../../core/requests'
import { isRateLimited, labelPauseText, listPauseText } from '../ozonLogic'
import { cleanPayload } from '../../payload'
import { cargoesRequest, checkLayout, type CargoLayout, type LayoutContext } from './cargoLayout'
import { contentRequest } from './fboContent'
import { fboDeps } from './fboDeps'
import { orderRows, readContent, readPage, readRows, supplyTitle, text, type FboContent, type FboSupplyPage, type FboSupplyRow } from './fboRecords'
import {
  CONTENT_TEXTS, contentFailureText, isRefusedLabel, LABEL_REQUEST, LABEL_SILENT, labelAskingText, labelSentText, listErrorText, noBundleLabelText,
  noLinkText, PAGE_TEXTS, SAVE_TEXTS, saveErrorText, SERVER_SILENT_LIST, supplyLabelErrorText, type SupplyLabelKind,
} from './fboTexts'

/** the list is asked again on opening only after this */
export const LIST_REST_MS = 60_000

export type ContentState = { status: 'loading' } | { status: 'ready'; content: FboContent } | { status: 'failed'; text: string }
export type SaveOutcome = { ok: true; text: string } | { ok: false; errors: string[] }

/** The words after "отправлена" in the label road's success text ("на принтер «X» этого компьютера"). */
export function whereSent(sentText: string): string {
  const at = sentText.indexOf(' отправлена ')
  return at < 0 ? '' : sentText.slice(at + ' отправлена '.length)
}

export const useOzonFboStore = defineStore('ozonFbo', () => {
  const rows = ref<FboSupplyRow[]>([])
  const loading = ref(false)
  const loaded = ref(false)
  const loadedAt = ref<number | null>(null)
  const error = ref('')
  const contents = ref<Record<string, ContentState>>({})
  const busy = ref<Record<string, boolean>>({})
  const note = ref('')
  const noteOk = ref(true)

  const deps = () => fboDeps()
  const failure = (err: unknown) => deps().failureText(err)

  function say(text: string, ok: boolean) {
    note.value = text
    noteOk.value = ok
  }

  /** The supplies; `force` (the refresh button) skips the one-minute rest. */
  async function loadSupplies(force: boolean): Promise<void> {
    const d = deps()
    if (loading.value) return
    if (!force && loadedAt.value !== null && d.now() - loadedAt.value < LIST_REST_MS) return
    if (d.pause.paused()) {
      error.value = listPauseText(d.pause.left())
      return
    }
    loading.value = true
    try {
      const p = await d.ask('ozonFboSupplies', {})
      if (isRateLimited(p)) {
        error.value = listPauseText(d.pause.start(p))
        return
      }
      if (text(p.error) !== '' || text(p.errorCode) !== '') {
        error.value = listErrorText(p)
        return
      }
      rows.value = p.configured === false ? [] : orderRows(readRows(p.supplies))
      loadedAt.value = d.now()
      error.value = ''
    } catch (err) {
      error.value = isTimeout(err) ? SERVER_SILENT_LIST : failure(err)
    } finally {
      loading.value = false
      loaded.value = true
    }
  }

  /** The content dialog's record: loaded once per supply for the session (again after a failure or a save). */
  async function loadContent(row: FboSupplyRow): Promise<void> {
    const key = row.supplyId
    if (row.bundleId === '') {
      contents.value = { ...contents.value, [key]: { status: 'failed', text: CONTENT_TEXTS.noBundle } }
      return
    }
    const cur = contents.value[key]
    if (cur && cur.status !== 'failed') return
    contents.value = { ...contents.value, [key]: { status: 'loading' } }
    let next: ContentState
    try {
      const p = await deps().ask('ozonSupplyItems', cleanPayload({ supplyId: row.supplyId, bundleId: row.bundleId, clientId: row.clientId }, ['clientId']))
      if (isRateLimited(p)) deps().pause.start(p)
      if (text(p.errorCode) === 'no-items') next = { status: 'ready', content: { items: [], itemsCount: 0, itemsShown: 0, itemsTotal: 0 } }
      else if (text(p.errorCode) !== '' || text(p.error) !== '') next = { status: 'failed', text: text(p.message) || text(p.error) || text(p.errorCode) }
      else next = { status: 'ready', content: readContent(p) }
    } catch (err) {
      next = { status: 'failed', text: contentFailureText(new Error(failure(err)), isTimeout(err)) }
    }
    contents.value = { ...contents.value, [key]: next }
  }

  const busyKey = (kind: SupplyLabelKind, supplyId: string) => `${kind}:${supplyId}`
  const isBusy = (kind: SupplyLabelKind, supplyId: string) => busy.value[busyKey(kind, supplyId)] === true

  /** "🏷 Поставка" / "🏷 Товары": the supply's label link printed once, as every Ozon label. */
  async function printLabels(kind: SupplyLabelKind, s: Pick<FboSupplyRow, 'supplyId' | 'orderNumber' | 'bundleId' | 'clientId'>): Promise<boolean> {
    const title = supplyTitle(s)
    const key = busyKey(kind, s.supplyId)
    if (busy.value[key]) return false
    if (kind === 'products' && s.bundleId === '') {
      say(noBundleLabelText(title), false)
      return false
    }
    const d = deps()
    if (d.pause.paused()) {
      say(labelPauseText(d.pause.left()), false)
      return false
    }
    busy.value = { ...busy.value, [key]: true }
    say(labelAskingText(kind, title), true)
    try {
      const payload = cleanPayload(
        kind === 'products' ? { supplyId: s.supplyId, bundleId: s.bundleId, clientId: s.clientId } : { supplyId: s.supplyId, clientId: s.clientId },
        ['clientId'],
      )
      let p: Payload
      try {
        p = await d.ask(LABEL_REQUEST[kind], payload)
      } catch (err) {
        say(isTimeout(err) ? LABEL_SILENT : failure(err), false)
        return false
      }
      if (isRefusedLabel(p) || isRateLimited(p)) {
        if (isRateLimited(p)) d.pause.start(p)
        say(supplyLabelErrorText(p), false)
        return false
      }
      const link = text(p.labelUrl)
      if (link === '') {
        say(noLinkText(kind), false)
        return false
      }
      const result = await d.print(link, p, (progress) => say(progress, true))
      const where = result.ok ? whereSent(result.text) : ''
      say(result.ok && where !== '' ? labelSentText(kind, title, where) : result.text, result.ok)
      return result.ok
    } finally {
      const { [key]: _done, ...rest } = busy.value
      busy.value = rest
    }
  }

  /** The supply page record, or the text to show with "Повторить". */
  async function loadSupply(orderId: string, supplyId: string, clientId: string): Promise<{ page: FboSupplyPage } | { error: string }> {
    if (orderId.trim() === '' || supplyId.trim() === '') return { error: PAGE_TEXTS.notFound }
    try {
      const p = await deps().ask('ozonFboSupply', cleanPayload({ orderId, supplyId, clientId }, ['clientId']))
      if (isRateLimited(p)) deps().pause.start(p)
      if (text(p.error) !== '' || text(p.errorCode) !== '') return { error: text(p.message) || text(p.error) || PAGE_TEXTS.notFound }
      const page = readPage(p)
      if (!page) return { error: PAGE_TEXTS.notFound }
      // The list's row follows what the page says now.
      rows.value = rows.value.map((r) => (r.supplyId === page.supplyId ? { ...r, ...pick(page) } : r))
      return { page }
    } catch (err) {
      return { error: isTimeout(err) ? LABEL_SILENT : failure(err) }
    }
  }

  async function save(name: string, payload: Payload, saved: string, timeout: string): Promise<SaveOutcome> {
    try {
      const p = await deps().ask(name, payload)
      if (p.saved === true && text(p.error) === '') return { ok: true, text: saved }
      if (isRateLimited(p)) deps().pause.start(p)
      return { ok: false, errors: [saveErrorText(p)] }
    } catch (err) {
      return { ok: false, errors: [isTimeout(err) ? timeout : failure(err)] }
    }
  }

  /** "Изменить количество": the typed quantities saved; the cached content is dropped. */
  async function saveContent(page: FboSupplyPage, typed: ReadonlyArray<string | number>): Promise<SaveOutcome> {
    const request = contentRequest(page, typed)
    if (!request.ok) return request
    const outcome = await save('ozonSupplyContent', request.payload, SAVE_TEXTS.contentSaved, SAVE_TEXTS.contentTimeout)
    if (outcome.ok) {
      const { [page.supplyId]: _gone, ...rest } = contents.value
      contents.value = rest
    }
    return outcome
  }

  /** "Разложить грузоместа": checked here first, then saved. */
  async function saveCargoes(page: FboSupplyPage, ctx: LayoutContext, layout: CargoLayout): Promise<SaveOutcome & { left?: string[] }> {
    const check = checkLayout(ctx, layout)
    if (check.errors.length > 0) return { ok: false, errors: check.errors, left: check.left }
    return save('ozonCargoesCreate', cargoesRequest(page, ctx, layout), SAVE_TEXTS.cargoSaved, SAVE_TEXTS.cargoTimeout)
  }

  return {
    rows, loading, loaded, loadedAt, error, contents, busy, note, noteOk,
    loadSupplies, loadContent, isBusy, printLabels, loadSupply, saveContent, saveCargoes, say,
  }
})

function pick(p: FboSupplyPage): Partial<FboSupplyRow> {
  return { state: p.state, stateText: p.stateText, cargoCount: p.cargoes.count, bundleId: p.bundleId }
}
