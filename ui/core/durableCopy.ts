/**
 * A copy of one local-storage list in a host file. Local storage reaches the
 * disk about a second after a write, so a record made just before the app is
 * killed could be lost; the host writes its files through to the disk before
 * it answers. Whoever must not lose a record waits for `persist()`.
 *
 * The copy is the record: it is written after every change of the list, and
 * at start it replaces what local storage kept when the two differ.
 */
import { errorText } from './bridge'

/** The part of a host store the copy needs. */
export interface CopyFile {
  get<T>(key: string): Promise<T | undefined>
  set(key: string, value: unknown): Promise<void>
  save(): Promise<void>
}

export interface DurableCopyDeps {
  /** the host file; rejects when there is none */
  open(): Promise<CopyFile>
  /** the key of the list inside the file */
  fileKey: string
  /** the list as local storage holds it (raw) */
  readLocal(): unknown
  writeLocal(entries: unknown[]): boolean
  log(line: string): void
  /** the log lines' topic and what the list is called in them */
  texts: { topic: string; copy: string; file: string }
}

export type RestoreOutcome = 'restored' | 'same' | 'first' | 'unavailable'

export function createDurableCopy(deps: DurableCopyDeps) {
  let file: CopyFile | null = null
  let written = ''
  const { topic, copy: copyName, file: fileName } = deps.texts

  const localEntries = (): unknown[] => {
    const raw = deps.readLocal()
    return Array.isArray(raw) ? raw : []
  }

  async function write(): Promise<boolean> {
    if (!file) return false
    const entries = localEntries()
    const text = JSON.stringify(entries)
    if (text === written) return true
    try {
      await file.set(deps.fileKey, entries)
      await file.save()
      written = text
      return true
    } catch (err) {
      deps.log(`[${topic}] ${copyName} не записана: ${errorText(err)}`)
      return false
    }
  }

  /** Local storage takes the copy's entries when they differ; a first start writes the copy. */
  async function restore(): Promise<RestoreOutcome> {
    try {
      file = await deps.open()
    } catch (err) {
      deps.log(`[${topic}] ${fileName} не открылся: ${errorText(err)}`)
      return 'unavailable'
    }
    let stored: unknown
    try {
      stored = await file.get<unknown>(deps.fileKey)
    } catch (err) {
      deps.log(`[${topic}] ${copyName} не прочитана: ${errorText(err)}`)
      stored = undefined
    }
    if (!Array.isArray(stored)) {
      await write()
      return 'first'
    }
    written = JSON.stringify(stored)
    if (written === JSON.stringify(localEntries())) return 'same'
    deps.writeLocal(stored)
    return 'restored'
  }

  const ready = restore()
  // Writes go one after another, each with the list as it is by then.
  let tail: Promise<boolean> = ready.then(() => true)

  /** Writes the list as it is now; true once the copy holds it. */
  function persist(): Promise<boolean> {
    const run = tail.then(write, write)
    tail = run.catch(() => false)
    return run
  }

  return { ready, persist }
}

export type DurableCopy = ReturnType<typeof createDurableCopy>
