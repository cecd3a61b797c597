/**
 * The document requests over the server channel: a list of one type in pages
 * (`getDocumentList`), a search by number in MoySklad (`findDocument`) and the
 * contents of one document in pages (`fetchDocumentProducts`). Replies carry
 * no request id, so list requests and contents requests are each serialised.
 */
import type { Payload } from '../core/envelope'
import { createSerialiser, errorFrom, requestOn } from '../core/requests'
import type { Channel } from '../core/serverChannel'
import { currentChannel, NO_CHANNEL } from '../core/session'
import { serverBaseUrl } from '../core/serviceUrl'
import { readCachedContents, writeCachedContents } from './dataCache'
import { useDocumentStore } from './documentStore'
import { pagedRequestOn } from './pagedRequest'
import { cancelPrefetch } from './prefetchSignal'
import { normaliseDocument, normalisePositions, type DocumentRecord, type PositionRecord } from './records'

export const LIST_FIRST_PAGE_TIMEOUT_MS = 5_000
export const LIST_PAGE_TIMEOUT_MS = 15_000
export const CONTENTS_PAGE_TIMEOUT_MS = 15_000
export const FIND_TIMEOUT_MS = 15_000

export const MS_NOT_CONNECTED = 'Для этого нужен МойСклад'
export const CONTENTS_EMPTY_KNOWN =
  'Состав документа не пришел — работаем по тому, что уже загружено. Обновите через минуту: МойСклад ограничивает число запросов'
export const CONTENTS_EMPTY_UNKNOWN =
  'Состав документа не пришел. МойСклад ограничивает число запросов — попробуйте открыть документ еще раз через минуту'
export const contentsIncompleteText = (n: number, total: number) =>
  `Товары документа загрузились не полностью: ${n} из ${total}. Откройте документ заново — собирать по неполному списку нельзя.`

let channelSource: () => Channel | undefined = () => currentChannel()

/** Tests (and nothing else) may put another channel in place; no argument restores the session's. */
export function useDocumentsChannel(source?: () => Channel | undefined): void {
  channelSource = source ?? (() => currentChannel())
}

function channel(): Channel {
  const ch = channelSource()
  if (!ch) throw new Error(NO_CHANNEL)
  return ch
}

const serialised = /*#__PURE__*/ createSerialiser()
const isDict = (v: unknown): v is Payload => typeof v === 'object' && v !== null && !Array.isArray(v)
const finite = (v: unknown): number | undefined => (typeof v === 'number' && Number.isFinite(v) ? v : undefined)
const present = (v: unknown) => v !== undefined && v !== null && v !== '' && v !== false

// ---- the list

export interface DocumentListOptions {
  stage?: string[]
  offset?: number
  maxPages?: number
  source?: string
}

export interface DocumentListResult {
  items: DocumentRecord[]
  total?: number
  nextOffset?: number
  ozonConfigured?: boolean
  stale?: boolean
  staleLoadedAt?: string
}

/** A failed list request: the text to show, with the server's code, its retry hint and what did arrive. */
export class DocumentListError extends Error {
  constructor(
    message: string,
    readonly errorCode: string | undefined,
    readonly retryAfter: number | undefined,
    readonly items: DocumentRecord[],
  ) {
    super(message)
    this.name = 'DocumentListError'
  }
}

/** The server's list error as the text shown: "not connected to MoySklad" has its own. */
export function listErrorText(error: string, errorCode?: string): string {
  if (errorCode === 'ms-not-connected' || /МойСклад не подключ[её]н/i.test(error)) return MS_NOT_CONNECTED
  return error
}

export function documentListPayload(type: string, options: DocumentListOptions = {}): Payload {
  const p: Payload = { type, pages: true }
  if (options.stage && options.stage.length > 0) p.stage = [...options.stage]
  if (options.offset && options.offset > 0) p.offset = options.offset
  if (options.maxPages !== undefined) p.maxPages = options.maxPages
  if (options.source) p.source = options.source
  return p
}

/** Items of a list page, with the requested type where the server left it out. */
export function listItems(raw: unknown, type: string): DocumentRecord[] {
  if (!Array.isArray(raw)) return []
  const out: DocumentRecord[] = []
  for (const item of raw) {
    const d = normaliseDocument(item)
    if (!d) continue
    if (!d.type) d.type = type
    out.push(d)
  }
  return out
}

/** One list request: its pages collected into one result. Serialised with every other list request. */
export function getDocumentList(type: string, options: DocumentListOptions = {}): Promise<DocumentListResult> {
  return serialised('getDocumentList', async () => {
    const result: DocumentListResult = { items: [] }
    const ids = new Set<string>()
    const offset = options.offset ?? 0
    try {
      await pagedRequestOn(channel(), 'getDocumentList', documentListPayload(type, options), {
        replyName: 'documentList.result',
        firstTimeoutMs: offset > 0 ? LIST_PAGE_TIMEOUT_MS : LIST_FIRST_PAGE_TIMEOUT_MS,
        pageTimeoutMs: LIST_PAGE_TIMEOUT_MS,
        onPage: (p) => {
          if (present(p.error) || present(p.errorCode)) {
            const code = typeof p.errorCode === 'string' ? p.errorCode : undefined
            const text = listErrorText(typeof p.error === 'string' && p.error ? p.error : String(p.errorCode), code)
            return { error: new DocumentListError(text, code, finite(p.retryAfter), [...result.items]) }
          }
          for (const d of listItems(p.items, type)) {
            if (ids.has(d.id)) continue
            ids.add(d.id)
            result.items.push(d)
          }
          if (finite(p.total) !== undefined) result.total = finite(p.total)
          if (finite(p.nextOffset) !== undefined) result.nextOffset = finite(p.nextOffset)
          else if (p.final === true || p.final === undefined) delete result.nextOffset
          if (typeof p.ozonConfigured === 'boolean') result.ozonConfigured = p.ozonConfigured
          if (p.stale === true) {
            result.stale = true
            if (typeof p.loadedAt === 'string' || typeof p.loadedAt === 'number') result.staleLoadedAt = String(p.loadedAt)
          }
          if (p.final === true || (p.final === undefined && p.offset === undefined)) return 'done'
          return 'more'
        },
      })
    } catch (err) {
      if (err instanceof DocumentListError) throw err
      const text = err instanceof Error ? err.message : String(err)
      throw new DocumentListError(text, undefined, undefined, [...result.items])
    }
    return result
  })
}

// ---- search in MoySklad

export interface FoundDocument extends DocumentRecord {
  /** false: the document exists but its status is outside the ones configured for picking */
  inFilter: boolean
  stateName: string
}

export async function findDocument(type: string, number: string): Promise<FoundDocument[]> {
  const ch = channel()
  const p = await requestOn(ch, 'findDocument', { type, number }, { timeoutMs: FIND_TIMEOUT_MS })
  const err = errorFrom(p)
  if (err) throw err
  const raw = Array.isArray(p.items) ? p.items : []
  const out: FoundDocument[] = []
  for (const item of raw) {
    const d = normaliseDocument(item)
    if (!d || !isDict(item)) continue
    if (!d.type) d.type = type
    out.push({ ...d, inFilter: item.inFilter !== false, stateName: typeof item.stateName === 'string' ? item.stateName : '' })
  }
  return out
}

// ---- contents

/** The contents did not come at all (the server's rate limit); shown as it is. */
export class EmptyAnswerError extends Error {
  readonly kind = 'EmptyAnswer'
  constructor(message: string) {
    super(message)
    this.name = 'EmptyAnswerError'
  }
}

/** Fewer positions came than the server announced: picking from such a list is not allowed. */
export class IncompleteContentsError extends Error {
  constructor(
    readonly received: number,
    readonly total: number,
  ) {
    super(contentsIncompleteText(received, total))
    this.name = 'IncompleteContentsError'
  }
}

export interface ContentsOptions {
  /** a background fetch: the screen's document is left alone */
  silent?: boolean
}

/**
 * The positions of one document, collected from its pages and checked for
 * completeness; cached on the device. Unless silent, the current document
 * takes them (and the stage details a page carries).
 */
export function fetchDocumentProducts(documentId: string, type: string, options: ContentsOptions = {}): Promise<PositionRecord[]> {
  const silent = options.silent === true
  if (!silent) cancelPrefetch()
  return serialised('subscribeDocument', async () => {
    const store = useDocumentStore()
    const raw: unknown[] = []
    let total: number | undefined
    let pages = 0
    const isCurrent = () => store.currentDocument?.id === documentId
    await pagedRequestOn(channel(), 'subscribeDocument', { documentId, type }, {
      replyName: 'subscribeDocument.result',
      firstTimeoutMs: CONTENTS_PAGE_TIMEOUT_MS,
      pageTimeoutMs: CONTENTS_PAGE_TIMEOUT_MS,
      accept: (p) => {
        if (typeof p.documentId === 'string' && p.documentId !== '' && p.documentId !== documentId) {
          console.info(`[документ] ответ не нашего документа (${p.documentId}) — пропускаем`)
          return false
        }
        return true
      },
      onPage: (p) => {
        const err = errorFrom(p)
        if (err) return { error: err }
        pages += 1
        if (Array.isArray(p.items)) raw.push(...p.items)
        if (finite(p.total) !== undefined) total = finite(p.total)
        if (!silent && isCurrent() && typeof p.stage === 'string') applyStage(store, p)
        if (p.final === false) {
          console.info(`[документ] страница состава: ${pages} из ${total ?? '?'}`)
          return 'more'
        }
        return 'done'
      },
    })
    const positions = normalisePositions(raw, serverBaseUrl())
    const known = silent ? (readCachedContents(documentId)?.data.length ?? 0) : isCurrent() ? store.currentDocument!.products.length : 0
    if (positions.length === 0 && known > 0) throw new EmptyAnswerError(CONTENTS_EMPTY_KNOWN)
    if (positions.length === 0) throw new EmptyAnswerError(CONTENTS_EMPTY_UNKNOWN)
    if (total !== undefined && positions.length < total) throw new IncompleteContentsError(positions.length, total)
    writeCachedContents(documentId, positions)
    if (!silent && isCurrent()) {
      const doc = store.currentDocument!
      doc.products = positions
      doc.totalPositions = positions.length
      doc.checkedPositions = 0
    }
    return positions
  })
}

/** The same operation under the request's own name. */
export const subscribeDocument = fetchDocumentProducts

function applyStage(store: ReturnType<typeof useDocumentStore>, p: Payload): void {
  const doc = store.currentDocument
  if (!doc) return
  const stage = p.stage
  if (stage === 'new' || stage === 'collecting' || stage === 'collected' || stage === 'checked') doc.stage = stage
  for (const k of ['collector', 'checker'] as const) {
    const v = p[k]
    if (isDict(v)) doc[k] = { id: typeof v.id === 'string' ? v.id : '', name: typeof v.name === 'string' ? v.name : '' }
  }
  if (typeof p.startedAt === 'string') doc.startedAt = p.startedAt
}
