/**
 * The card and stage-bar actions with their dialogs: start, release (asking
 * for a reason when one is required, or when the server asks for one),
 * reopen with its question and its answer. Refusals show their texts; "taken"
 * and "wrong-stage" also reload the list.
 */
import { reactive } from 'vue'
import { RefusalError } from '../core/requests'
import { refusalText } from '../documents/picking/refusalText'
import type { DocumentRecord } from '../documents/records'
import { ACTION_FAILED, refusalReloadsList, reopenDoneText, reopenRefusalText } from './actionTexts'
import type { RolesSettings } from './rolesSettings'
import type { StageActions } from './stageActions'

type Doc = Pick<DocumentRecord, 'id' | 'type'>

export interface DocumentActionsDeps {
  actions: StageActions
  settings(): RolesSettings
  /** the list of a type is loaded again (after "taken" and "wrong-stage") */
  reloadList(type: string): void
  /** after a release by hand (the document screen goes back to the list) */
  released?(doc: Doc): void
  /** after "Понятно" on a successful reopen */
  reopened?(doc: Doc): void
  /** an action was refused with a code (the document screen turns read-only on "taken" and "wrong-stage") */
  refused?(doc: Doc, info: RefusalError['info'], text: string): void
}

export function createDocumentActions(deps: DocumentActionsDeps) {
  const state = reactive({
    busy: false,
    /** the refusal or failure of the last action */
    message: '',
    releasing: null as Doc | null,
    releaseText: '',
    releaseError: '',
    reopening: null as Doc | null,
    reopenStep: 'ask' as 'ask' | 'done',
    reopenText: '',
    reopenError: '',
  })

  function failure(err: unknown, doc: Doc, text: (e: RefusalError) => string = (e) => refusalText(e.info)): string {
    if (err instanceof RefusalError) {
      if (refusalReloadsList(err.info)) deps.reloadList(doc.type)
      const shown = text(err)
      deps.refused?.(doc, err.info, shown)
      return shown
    }
    return ACTION_FAILED
  }

  async function run(doc: Doc, body: () => Promise<void>): Promise<boolean> {
    if (state.busy) return false
    state.busy = true
    state.message = ''
    try {
      await body()
      return true
    } catch (err) {
      state.message = failure(err, doc)
      return false
    } finally {
      state.busy = false
    }
  }

  const start = (doc: Doc) => run(doc, () => deps.actions.startDocument(doc))

  /** "Снять с себя" / "Снять сборку": the reason dialog first when reasons are required. */
  async function askRelease(doc: Doc): Promise<boolean> {
    if (deps.settings().releaseReasonRequired) {
      openRelease(doc)
      return false
    }
    return release(doc)
  }

  function openRelease(doc: Doc) {
    state.releasing = doc
    state.releaseText = ''
    state.releaseError = ''
  }

  async function release(doc: Doc, reason?: string): Promise<boolean> {
    if (state.busy) return false
    state.busy = true
    state.message = ''
    state.releaseError = ''
    try {
      await deps.actions.releaseDocument(doc, reason === undefined ? {} : { reason })
      state.releasing = null
      deps.released?.(doc)
      return true
    } catch (err) {
      if (err instanceof RefusalError && err.info.code === 'reason-required' && !state.releasing) {
        openRelease(doc)
        return false
      }
      const text = failure(err, doc)
      if (state.releasing) state.releaseError = text
      else state.message = text
      return false
    } finally {
      state.busy = false
    }
  }

  function submitRelease() {
    const doc = state.releasing
    if (doc && state.releaseText.trim()) void release(doc, state.releaseText)
  }

  function askReopen(doc: Doc) {
    state.reopening = doc
    state.reopenStep = 'ask'
    state.reopenText = ''
    state.reopenError = ''
  }

  async function confirmReopen(): Promise<void> {
    const doc = state.reopening
    if (!doc || state.busy) return
    state.busy = true
    state.reopenError = ''
    try {
      const answer = await deps.actions.reopenDocument(doc)
      state.reopenStep = 'done'
      state.reopenText = reopenDoneText(answer.stateRestored)
    } catch (err) {
      state.reopenError = failure(err, doc, (e) => reopenRefusalText(e.info))
    } finally {
      state.busy = false
    }
  }

  function closeReopen() {
    const doc = state.reopening
    const done = state.reopenStep === 'done'
    state.reopening = null
    if (doc && done) deps.reopened?.(doc)
  }

  return {
    state,
    start,
    askRelease,
    release,
    submitRelease,
    cancelRelease: () => (state.releasing = null),
    askReopen,
    confirmReopen,
    closeReopen,
  }
}

export type DocumentActions = ReturnType<typeof createDocumentActions>
