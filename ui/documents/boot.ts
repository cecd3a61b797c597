/**
 * What the documents need from the start of the page: the device cache
 * cleaned of old and expired entries, drafts past their 30 days dropped, the
 * durable send queue, and the listener of changes made in MoySklad (it
 * follows every channel the session opens).
 */
import { startQueuedCompletions } from './completion/sentHooks'
import { purgeMarkHistory } from './completion/markHistory'
import { cleanDeviceCache } from './dataCache'
import { listenDocumentChanges } from './documentChanges'
import { purgeExpiredDrafts } from './picking/draft'

export function bootDocuments(): void {
  startQueuedCompletions()
  cleanDeviceCache()
  purgeMarkHistory()
  purgeExpiredDrafts()
  listenDocumentChanges()
}
