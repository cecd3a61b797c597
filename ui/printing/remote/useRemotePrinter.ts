/**
 * The state and actions of the remote-printer block of the print settings:
 * our registration, the account's registry (read only inside the desktop
 * host while connected), taking records out, and a trial label sent to the
 * account's printer on another computer.
 */
import { computed, ref, watch, type Ref } from 'vue'
import { isDesktopHost } from '../../core/bridge'
import { useSettingsStore } from '../../core/settings'
import { useSocketStore } from '../../core/socketStore'
import { registerPrecondition } from './registrationTexts'
import type { RemoteRegistration } from './registration'
import {
  localState,
  readRegistration,
  recordLabel,
  registrySummary,
  rowView,
  type RegistryRecord,
  type StateLine,
} from './registryView'
import type { RelayLabel, RelayOutcome } from './relay'

/** The document id of the trial label: the relay prints a sample label of the printer's size for it. */
export const TRIAL_DOCUMENT_ID = 'trial-label'

export interface RemotePrinterDeps {
  registration: RemoteRegistration
  relay(label: RelayLabel, show: (text: string) => void, later?: (outcome: RelayOutcome) => void): Promise<RelayOutcome>
  inHost?: () => boolean
  now?: () => number
}

export function useRemotePrinter(deps: RemotePrinterDeps, systemPrinters: Ref<readonly string[]>) {
  const settings = useSettingsStore()
  const socket = useSocketStore()
  const inHost = deps.inHost ?? isDesktopHost
  const now = deps.now ?? (() => Date.now())
  const registered = computed(() => readRegistration(settings.print.registered))

  const comment = ref('')
  const busy = ref(false)
  const message = ref<string | null>(null)

  const precondition = computed(() =>
    registerPrecondition({ inHost: inHost(), connected: socket.isConnected, printerName: settings.print.printerName, comment: comment.value }),
  )
  const state = computed<StateLine>(() => localState(registered.value, systemPrinters.value))

  // ---- the registry

  const records = ref<RegistryRecord[] | null>(null)
  const registryError = ref<string | null>(null)
  const registryShown = computed(() => inHost() && socket.isConnected)
  let turn = 0

  async function loadRegistry(): Promise<void> {
    if (!registryShown.value) return
    const mine = ++turn
    const answer = await deps.registration.fetchRegistry()
    if (mine !== turn) return
    records.value = answer.printers
    registryError.value = answer.error
  }

  const rows = computed(() => (records.value ?? []).map((r) => ({ ...rowView(r, registered.value, now()), label: recordLabel(r) })))
  const summary = computed(() => (records.value === null ? null : registrySummary(records.value, registered.value)))

  watch(registryShown, (shown) => void (shown && loadRegistry()))

  // The printer list changed (a printer renamed, reinstalled or removed): the registration follows it.
  watch(
    systemPrinters,
    async (names) => {
      if (!inHost() || names.length === 0 || !registered.value) return
      const f = await deps.registration.followPrinters(names.map((name) => ({ name })))
      if (f.kind === 'move') void loadRegistry()
    },
    { immediate: true },
  )

  // ---- actions

  async function act(work: () => Promise<string | null>): Promise<string | null> {
    if (busy.value) return null
    busy.value = true
    message.value = null
    try {
      const text = await work()
      message.value = text
      return text
    } finally {
      busy.value = false
      void loadRegistry()
    }
  }

  const register = () => act(() => deps.registration.registerCurrentPrinter(comment.value))
  const forgetOurs = () =>
    act(async () => {
      const text = await deps.registration.forgetCurrentPrinter()
      if (text === null) comment.value = ''
      return text
    })
  const forget = (printerId: string) => act(() => deps.registration.forgetRegistryPrinter(printerId))

  // ---- a trial label on the other computer

  /** `ok` null: waiting for the answer; `pending`: the job waits on the server and its result will show here */
  const trial = ref<{ printerId: string; text: string; ok: boolean | null; pending?: boolean } | null>(null)

  async function printTrial(printerId: string, label: string): Promise<void> {
    if (trial.value?.ok === null) return
    trial.value = { printerId, text: '', ok: null }
    const show = (text: string) => {
      if (trial.value?.ok === null) trial.value = { printerId, text, ok: null }
    }
    // The real outcome of a held or unanswered trial replaces its line whenever it comes.
    const later = (outcome: RelayOutcome) => {
      if (trial.value?.printerId === printerId && trial.value.ok !== null) trial.value = { printerId, text: outcome.text, ok: outcome.ok }
    }
    const outcome = await deps.relay({ documentId: TRIAL_DOCUMENT_ID, printerLabel: label }, show, later)
    trial.value = { printerId, text: outcome.text, ok: outcome.ok, pending: outcome.pending === true }
  }

  return {
    registered,
    comment,
    busy,
    message,
    precondition,
    state,
    registryShown,
    records,
    registryError,
    rows,
    summary,
    loadRegistry,
    register,
    forgetOurs,
    forget,
    trial,
    printTrial,
  }
}
