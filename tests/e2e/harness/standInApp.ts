/**
 * The desktop app against the local service host: one stand-in and one test
 * display per test file, a fresh profile per test, the app pointed at the
 * stand-in, and the few page actions the screen tests share.
 */
import { afterAll, beforeAll } from 'vitest'
import { StandIn } from '../../../ui/core/testing/standIn'
import { Profile } from './desktopApp'
import { startDisplay, type Display } from './display'
import { waitFor } from './wait'
import { Session } from './webdriver'

export interface StandInRig {
  readonly standIn: StandIn
  readonly display: Display
  /** A fresh profile, removed when the file's tests are done. */
  fresh(): Profile
  /** A fresh profile, the app started on it and pointed at the stand-in; the caller closes the session. */
  open(): Promise<{ session: Session; profile: Profile }>
}

/** Starts a display and the stand-in (test mode) before the file's tests and stops them after. */
export function useStandInRig(): StandInRig {
  let standIn: StandIn | undefined
  let display: Display | undefined
  const profiles: Profile[] = []
  beforeAll(async () => {
    display = await startDisplay()
    standIn = await StandIn.start()
  })
  afterAll(async () => {
    await standIn?.close()
    await display?.stop()
    for (const p of profiles) p.remove()
  })
  return {
    get standIn() {
      if (!standIn) throw new Error('the stand-in is not running')
      return standIn
    },
    get display() {
      if (!display) throw new Error('the display is not running')
      return display
    },
    fresh() {
      const profile = new Profile()
      profiles.push(profile)
      return profile
    },
    async open() {
      const profile = this.fresh()
      const session = await Session.start(profile, this.display.name)
      await pointAt(session, this.standIn.url)
      return { session, profile }
    },
  }
}

/**
 * Leaves the profile as a finished device sign-in does: the device token in the host's credentials store,
 * and the page pointed at `serviceUrl` (read when the page starts again).
 */
export async function storeDeviceToken(session: Session, serviceUrl: string, token: string): Promise<void> {
  const done = await session.executeAsync<string>(
    `const [url, token, finish] = arguments
     const invoke = window.__ZORVIK__.invoke
     localStorage.setItem('zv_service_url', JSON.stringify(url))
     invoke('plugin:store|load', { path: 'credentials.dat', options: { defaults: {} } })
       .then((rid) => invoke('plugin:store|set', { rid, key: 'device_jwt', value: token }).then(() => invoke('plugin:store|save', { rid })))
       .then(() => finish('ok'), (e) => finish(String(e)))`,
    serviceUrl,
    token,
  )
  if (done !== 'ok') throw new Error(`storing the device token failed: ${done}`)
}

/**
 * Starts the page again as a signed-in device, and waits until it is connected. Call it on a page that has
 * finished its own start-up (`open()`): a page still starting could read the token just stored and connect
 * with it too, and what it sends would be taken for the new page's.
 */
export async function restartAsDevice(session: Session, standIn: StandIn, token: string): Promise<void> {
  await storeDeviceToken(session, standIn.url, token)
  await session.execute('window.__zvOldPage = true; location.reload()')
  await waitForStartup(session)
  await waitFor('the device to connect', async () => (await standIn.connections()).some((c) => c.kind === 'device' && c.token === token), 30_000)
}

/** Points the page at a service host and starts it again (local builds read "zv_service_url"). */
export async function pointAt(session: Session, url: string): Promise<void> {
  // The mark on the old page tells it apart from the reloaded one.
  await session.execute('window.__zvOldPage = true; localStorage.setItem("zv_service_url", JSON.stringify(arguments[0])); location.reload()', url)
  await waitForStartup(session)
}

/** Start-up of a (re)loaded page is over once it listens for links. */
export function waitForStartup(session: Session): Promise<boolean> {
  return waitFor(
    'the page to finish start-up',
    () =>
      session
        .execute<boolean>('return !window.__zvOldPage && document.documentElement.dataset.deepLinks === "ready"')
        .catch(() => false),
    30_000,
  )
}

/** The route of the page: the part of the address after "#". */
export async function route(session: Session): Promise<string> {
  const url = await session.url()
  const i = url.indexOf('#')
  return i < 0 ? '/' : url.slice(i + 1)
}

/** Waits until the route (with its query) satisfies `match`, or equals it when a string is given. */
export function waitForRoute(session: Session, match: string | ((r: string) => boolean), timeoutMs = 30_000): Promise<string> {
  const ok = typeof match === 'string' ? (r: string) => r === match : match
  return waitFor(`the route ${String(match)}`, async () => {
    const r = await route(session)
    return ok(r) ? r : undefined
  }, timeoutMs)
}

/** Sets a field's value as a finished edit or choice does (the change event), once the field is there. */
export async function setFieldValue(session: Session, css: string, value: string): Promise<unknown> {
  await waitFor(`${css} to appear`, async () => (await session.findAll(css))[0], 20_000)
  return session.execute(
    `const el = document.querySelector(arguments[0]); el.value = arguments[1]; el.dispatchEvent(new Event('change', { bubbles: true }))`,
    css,
    value,
  )
}

/** The trimmed text of the first element matching `css`; "" when there is none. */
export function textOf(session: Session, css: string): Promise<string> {
  return session.execute<string>('const e = document.querySelector(arguments[0]); return e ? e.textContent.trim() : ""', css)
}

/** Clicks an element once it is there. */
export async function press(session: Session, css: string): Promise<void> {
  const el = await waitFor(`${css} to appear`, async () => (await session.findAll(css))[0], 20_000)
  await session.click(el)
}

/** Presses the digits on the on-screen keypad. */
export async function typePin(session: Session, pin: string): Promise<void> {
  for (const d of pin) await press(session, `[data-test="key-${d}"]`)
}

/** Types a code into the scanner's field as a wedge scanner does; answers the outcome shown for it. */
export async function scanByWedge(session: Session, code: string): Promise<string> {
  const flash = () => session.execute<number>('return Number(document.querySelector(\'[data-test="scan-message"]\').dataset.flash)')
  const before = await flash()
  await session.type(await session.find('[data-test="scanner-wedge"]'), `${code}\uE007`)
  await waitFor(`the outcome of ${code}`, async () => (await flash()) > before)
  return session.execute<string>('return document.querySelector(\'[data-test="scan-message"]\').textContent.trim()')
}

/** Signs in on device sign-in with a sample device code and makes up the quick-login PIN; ends on the menu. */
export async function signInWithDeviceCode(session: Session, code: string, name: string, pin: string): Promise<void> {
  await waitForRoute(session, '/device-auth')
  await session.type(await session.find('[data-test="device-code"]'), code)
  await press(session, '[data-test="device-code-submit"]')
  await session.waitForText('[data-test="create-pin-name"]', (t) => t === name)
  await typePin(session, pin)
  await session.waitForText('[data-test="create-pin-title"]', (t) => t === 'Повторите PIN-код')
  await typePin(session, pin)
  await waitForRoute(session, (r) => r.startsWith('/menu'))
}

/** Sets the work setting `scannerMode` on the settings screen, as a user does; the route is left on the settings. */
export async function chooseScannerMode(session: Session, mode: 'wedge' | 'camera' | 'manual'): Promise<void> {
  await session.execute('location.hash = "#/settings?section=work"')
  await press(session, `[data-test="scanner-mode"] option[value="${mode}"]`)
  await waitFor(`the scanner setting ${mode}`, () =>
    session.execute<boolean>('return document.querySelector(\'[data-test="scanner-mode"]\').value === arguments[0]', mode),
  )
}
