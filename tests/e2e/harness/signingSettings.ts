/** The signing settings as the desktop tests set them. */
import type { Session } from './webdriver'

/** Writes the chosen certificate and the consent into the host's settings file, as the settings section does. */
export async function chooseCertificate(session: Session, crypto: Record<string, unknown>): Promise<void> {
  const done = await session.executeAsync<string>(
    `const [crypto, finish] = arguments
     const invoke = window.__ZORVIK__.invoke
     invoke('plugin:store|load', { path: '.settings.dat', options: { defaults: {} } })
       .then((rid) => invoke('plugin:store|set', { rid, key: 'work', value: { crypto } }).then(() => invoke('plugin:store|save', { rid })))
       .then(() => finish('ok'), (e) => finish(String(e)))`,
    crypto,
  )
  if (done !== 'ok') throw new Error(`storing the settings failed: ${done}`)
}
