/**
 * A copy of one local-storage value in a host file. Local storage reaches the
 * disk about a second after a write, so a value changed just before the app
 * is killed would come back wrong; the host writes its files through to the
 * disk before it answers. Whoever must not lose a change awaits `persist`
 * before telling anyone it is kept.
 *
 * The copy is the record: it is written after every change, and at start it
 * replaces what local storage kept when the two differ.
 */
import { errorText } from './bridge'

/** The part of a host store the copy needs. */
export interface CopyFile {
  get<T>(key: string): Promise<T | undefined>
  set(key: string, value: unknown): Promise<void>
  save(): Promise<void>
}

export interface DurableCopyDeps<T> {
  /** the host file; rejects when there is none */
  open(): Promise<CopyFile>
  /** the key of the value inside the file */
  key: string
  /** the value as local storage holds it (raw) */
  readLocal(): unknown
  writeLocal(value: T): boolean
  /** the value local storage is taken to hold when it holds nothing usable */
  empty: T
  /** a usable value (of the copy, or of local storage) */
  accepts(value: unknown): value is T
  log(line: string): void
  /** the log lines' words */
  texts: { notOpened: string; notRead: string; notWritten: string }
}

export type RestoreOutcome = 'restored' | 'same' | 'first' | 'unavailable'

export function createDurableCopy<T>(deps: DurableCopyDeps<T>) {
  let file: CopyFile | null = null
  let written = ''

  const localValue = (): T => {
    const raw = deps.readLocal()
    return deps.accepts(raw) ? raw : deps.empty
  }

  async function write(): Promise<boolean> {
    if (!file) return false
    const value = localValue()
    const text = JSON.stringify(value)
    if (text === written) return true
    try {
      await file.set(deps.key, value)
      await file.save()
      written = text
      return true
    } catch (err) {
      deps.log(`${deps.texts.notWritten} ${errorText(err)}`)
      return false
    }
  }

  /** Local storage takes the copy's value when they differ; a first start writes the copy. */
  async function restore(): Promise<RestoreOutcome> {
    try {
      file = await deps.open()
    } catch (err) {
      deps.log(`${deps.texts.notOpened} ${errorText(err)}`)
      return 'unavailable'
    }
    let copy: unknown
    try {
      copy = await file.get<unknown>(deps.key)
    } catch (err) {
      deps.log(`${deps.texts.notRead} ${errorText(err)}`)
      copy = undefined
    }
    if (!deps.accepts(copy)) {
      await write()
      return 'first'
    }
    written = JSON.stringify(copy)
    if (written === JSON.stringify(localValue())) return 'same'
    deps.writeLocal(copy)
    return 'restored'
  }

  const ready = restore()
  // Writes go one after another, each with the value as it is by then.
  let tail: Promise<boolean> = ready.then(() => true)

  /** Writes the value as it is now; true once the copy holds it. */
  function persist(): Promise<boolean> {
    const run = tail.then(write, write)
    tail = run.catch(() => false)
    return run
  }

  return { ready, persist }
}

export type DurableCopy = ReturnType<typeof createDurableCopy>
