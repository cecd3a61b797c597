/** The page's product reference copy as the tests and the benchmark read it. */
import type { Session } from './webdriver'

/**
 * The number of products in the page's copy, read with IndexedDB beside the app's own connection;
 * 0 while the app has not made the database yet.
 */
export function copyCount(session: Session): Promise<number> {
  return session.executeAsync<number>(`const done = arguments[0]
    const open = indexedDB.open('zorvik_assortment')
    // Not there yet: leave it to the app to make (a database made here would have no stores).
    open.onupgradeneeded = () => open.transaction.abort()
    open.onerror = () => done(0)
    open.onsuccess = () => {
      const db = open.result
      if (!db.objectStoreNames.contains('items')) { db.close(); return done(0) }
      const c = db.transaction('items').objectStore('items').count()
      c.onsuccess = () => { db.close(); done(c.result) }
      c.onerror = () => { db.close(); done(-1) }
    }`)
}
