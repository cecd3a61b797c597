/**
 * The "signLog" holder: the sign log for its page and the settings section,
 * and its copy in a host file, so that a signature that went out is in the
 * log after a crash too. Adding an entry answers once the copy holds it.
 */
import { defineStore } from 'pinia'
import { ref } from 'vue'
import { writeAppLog } from '../core/appLog'
import { isDesktopHost } from '../core/bridge'
import { createDurableCopy, type CopyFile, type DurableCopy } from '../core/durableCopy'
import { HostStore } from '../core/hostStore'
import { readLocal, writeLocal } from '../core/localStore'
import { appendSignLog, clearSignLog, readSignLog, SIGN_LOG_KEY, type SignLogEntry } from './signLog'

export const SIGN_LOG_FILE = 'sign-log.dat'
export const SIGN_LOG_FILE_KEY = 'entries'

/** The copy of the log in `open`'s file. */
export function createSignLogCopy(open: () => Promise<CopyFile>, log: (line: string) => void = writeAppLog): DurableCopy {
  return createDurableCopy<unknown[]>({
    open,
    key: SIGN_LOG_FILE_KEY,
    readLocal: () => readLocal<unknown>(SIGN_LOG_KEY),
    writeLocal: (entries) => writeLocal(SIGN_LOG_KEY, entries),
    empty: [],
    accepts: (value): value is unknown[] => Array.isArray(value),
    log,
    texts: {
      notOpened: '[подпись] файл копии журнала подписей не открылся:',
      notRead: '[подпись] копия журнала подписей не прочитана:',
      notWritten: '[подпись] копия журнала подписей не записана:',
    },
  })
}

export const useSignLogStore = defineStore('signLog', () => {
  const entries = ref<SignLogEntry[]>(readSignLog())
  let copy: DurableCopy | null = null

  function refresh(): void {
    entries.value = readSignLog()
  }

  /** Starts the host-file copy (desktop app only, once); `open` is the test's file. */
  function startCopy(open?: () => Promise<CopyFile>): Promise<void> {
    if (!copy) {
      if (!open && !isDesktopHost()) return Promise.resolve()
      copy = createSignLogCopy(open ?? (() => HostStore.load(SIGN_LOG_FILE)))
    }
    return copy.ready.then(() => refresh())
  }

  /** true once the entry is on the disk (or when the page has no host and local storage is all there is). */
  async function add(entry: SignLogEntry): Promise<boolean> {
    // A write racing the copy's restore would be overwritten by it: wait for the restore first.
    if (copy) await copy.ready
    entries.value = appendSignLog(entry)
    return copy ? copy.persist() : !isDesktopHost()
  }

  async function clear(): Promise<void> {
    if (copy) await copy.ready
    clearSignLog()
    refresh()
    await copy?.persist()
  }

  return { entries, refresh, startCopy, add, clear }
})
