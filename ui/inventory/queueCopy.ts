/**
 * The scan queue's copy in a host file (see ../core/durableCopy). The web view writes its database to
 * the disk some time after a transaction completes, so a scan taken just before a hard kill could be
 * gone at the next start; the host writes its file through before it answers. A scan is reported saved
 * only once this copy holds it, and at start the copy brings back whatever the database lost. The file
 * is a journal (../core/journalCopy): a scan appends the one scan, with one data sync.
 */
import { isDesktopHost } from '../core/bridge'
import { createDurableCopy, type CopyFile } from '../core/durableCopy'
import { journalCopyFile, openHostJournal } from '../core/journalCopy'
import { writeAppLog } from '../core/appLog'
import { sessionRows, toStored, type StoredScan } from './inventoryDb'
import type { QueuedScan } from './scanQueue'

export const QUEUE_COPY_FILE = 'inventory-queue.dat'

export interface QueueCopy {
  /** settles once the copy has been read (or found missing) */
  ready: Promise<unknown>
  /** the kept queue of one session, oldest first */
  read(accountId: string, sessionId: number): QueuedScan[]
  /** the sessions of one account that have scans here */
  sessionIds(accountId: string): number[]
  /** replaces one session's queue; true once the host file holds it (always true without a host) */
  write(accountId: string, sessionId: number, queue: readonly QueuedScan[]): Promise<boolean>
}

export function createQueueCopy(open: (() => Promise<CopyFile>) | null, log: (line: string) => void = writeAppLog): QueueCopy {
  let rows: StoredScan[] = []
  const durable = open
    ? createDurableCopy<StoredScan[]>({
        open,
        key: 'scans',
        readLocal: () => rows,
        writeLocal: (value) => {
          rows = value
          return true
        },
        empty: [],
        accepts: (v): v is StoredScan[] => Array.isArray(v),
        log,
        texts: {
          notOpened: '[инвентаризация] файл копии очереди сканов не открылся:',
          notRead: '[инвентаризация] копия очереди сканов не прочитана:',
          notWritten: '[инвентаризация] копия очереди сканов не записана:',
        },
      })
    : null
  return {
    ready: durable ? durable.ready : Promise.resolve(),
    read: (accountId, sessionId) => sessionRows(rows, accountId, sessionId),
    sessionIds: (accountId) => [...new Set(rows.filter((r) => r.accountId === accountId).map((r) => r.sessionId))],
    write(accountId, sessionId, queue) {
      rows = [...rows.filter((r) => r.accountId !== accountId || r.sessionId !== sessionId), ...queue.map((s) => toStored(accountId, sessionId, s))]
      return durable ? durable.persist() : Promise.resolve(true)
    },
  }
}

/** The page's copy: a host file in the desktop app, none in a plain browser. */
export const pageQueueCopy = (): QueueCopy =>
  createQueueCopy(isDesktopHost() ? async () => journalCopyFile(await openHostJournal(QUEUE_COPY_FILE), 'scans', writeAppLog) : null)
