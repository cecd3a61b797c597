/**
 * What the documents need from the start of the page: the device cache
 * cleaned of old and expired entries, and the listener of changes made in
 * MoySklad (it follows every channel the session opens).
 */
import './completion/sentHooks'
import { purgeMarkHistory } from './completion/markHistory'
import { cleanDeviceCache } from './dataCache'
import { listenDocumentChanges } from './documentChanges'

cleanDeviceCache()
purgeMarkHistory()
listenDocumentChanges()
