// The test-mode control endpoint of the local service host. It listens on
// 127.0.0.1 only, whatever address the service itself uses, and lets tests
// push messages, fail, delay or drop the next reply of a command, drop
// connections, expire tokens and read what the clients sent.
import http from 'node:http'
import { lastSmsCode, completionState } from '../ui/demo/index.ts'
import { documentRoutes } from './documentControl.mjs'
import { pickingRoutes } from './pickingControl.mjs'
import { referenceRoutes } from './referenceControl.mjs'
import { markingRoutes } from './markingControl.mjs'
import { remotePrintRoutes } from './remotePrintControl.mjs'
import { signingRoutes } from './signingControl.mjs'
import { wildberriesRoutes } from './wildberriesControl.mjs'
import { ozonRoutes } from './ozonControl.mjs'
import { ozonFboRoutes } from './ozonFboControl.mjs'
import { scenarioRoutes } from './scenarioControl.mjs'
import { updateRoutes } from './updateControl.mjs'
import { partsStoreRoutes } from './partsstoreControl.mjs'
import { inventoryRoutes } from './inventoryControl.mjs'
import { listen, sendJson } from './httpUtil.mjs'

const ACTIONS = new Set(['fail', 'delay', 'drop'])

/**
 * @param {{
 *   port: number,
 *   backend: import('../ui/demo/index.ts').MemoryBackend,
 *   io: import('socket.io').Server,
 *   rules: Map<string, import('./serviceHost.mjs').ReplyRule[]>,
 *   messages: Array<{c: string, p: Record<string, unknown>, conn: string}>,
 * }} ctx
 */
export async function startControl({ port, backend, io, rules, messages }) {
  /** Sockets whose handshake token is `token` (all sockets when it is absent). */
  const socketsFor = async (/** @type {unknown} */ token) => {
    const all = await io.fetchSockets()
    return typeof token === 'string' ? all.filter((s) => s.handshake.auth?.token === token) : all
  }

  // A network outage: while it lasts the transport refuses every new handshake, so the
  // clients keep retrying on their own (a refusal by the namespace would stop them).
  let outageUntil = 0
  const allowBefore = io.engine.opts.allowRequest
  io.engine.opts.allowRequest = (req, answer) => {
    if (Date.now() < outageUntil) return answer('service unavailable', false)
    if (allowBefore) return allowBefore(req, answer)
    answer(null, true)
  }

  /** @type {Record<string, (body: Record<string, any>, query: URLSearchParams) => Promise<unknown> | unknown>} */
  const routes = {
    // {c, p?, token?}: a message from the server to the matching connections
    'POST /push': async (b) => {
      if (typeof b.c !== 'string' || !b.c) throw new Error('c is required')
      const targets = new Set((await socketsFor(b.token)).map((s) => s.data.conn))
      return { delivered: backend.pushWhere((conn) => targets.has(conn), b.c, b.p ?? {}) }
    },
    // {c, action: fail | delay | drop, payload?, ms?, times?, token?}: the next request(s) named c
    // (only those of connections opened with `token`, when given)
    'POST /next-reply': (b) => {
      if (typeof b.c !== 'string' || !b.c || !ACTIONS.has(b.action)) throw new Error('c and action are required')
      const list = rules.get(b.c) ?? []
      const token = typeof b.token === 'string' ? b.token : undefined
      list.push({ action: b.action, payload: b.payload, ms: Number(b.ms) || 0, times: Math.max(1, Number(b.times) || 1), token })
      rules.set(b.c, list)
      return { ok: true }
    },
    // {token?, mode?: transport | server}: a network break, or the server closing the connection
    'POST /disconnect': async (b) => {
      const sockets = await socketsFor(b.token)
      for (const s of sockets) {
        if (b.mode === 'server') s.disconnect(true)
        else io.of('/').sockets.get(s.id)?.conn.close()
      }
      return { dropped: sockets.length }
    },
    // {ms}: an outage of ms: every connection drops and new ones are refused until it ends; {ms: 0} ends it
    'POST /outage': async (b) => {
      const ms = Number(b.ms)
      if (!Number.isFinite(ms) || ms < 0) throw new Error('ms must be a number ≥ 0')
      outageUntil = ms > 0 ? Date.now() + ms : 0
      if (ms === 0) return { dropped: 0 }
      const sockets = await socketsFor(undefined)
      for (const s of sockets) io.of('/').sockets.get(s.id)?.conn.close()
      return { dropped: sockets.length }
    },
    // {token, drop?}: the handshake refuses the token from now on
    'POST /expire-token': async (b) => {
      if (typeof b.token !== 'string' || !b.token) throw new Error('token is required')
      backend.revokeToken(b.token)
      let dropped = 0
      if (b.drop) {
        for (const s of await socketsFor(b.token)) {
          io.of('/').sockets.get(s.id)?.conn.close()
          dropped++
        }
      }
      return { ok: true, dropped }
    },
    // {userId, ttlSec?}: a device session of a sample user with a chosen token lifetime
    'POST /mint': (b) => {
      const { token, refreshToken, session } = backend.openSession(String(b.userId), b.ttlSec === undefined ? undefined : Number(b.ttlSec))
      return { token, refreshToken, sessionId: session.sid }
    },
    // {refreshToken}: ends the session (its connections get tsdForceLogout.push)
    'POST /revoke-session': (b) => {
      const session = backend.sessionByRefreshToken(String(b.refreshToken))
      return { revoked: session ? backend.revokeSession(session.sid) : false }
    },
    'POST /reset': () => {
      outageUntil = 0
      rules.clear()
      messages.splice(0)
      return { ok: true }
    },
    // ?c=name: what the clients sent
    'GET /messages': (_b, q) => ({ messages: q.get('c') ? messages.filter((m) => m.c === q.get('c')) : messages }),
    'GET /sms': (_b, q) => ({ code: lastSmsCode(backend, q.get('phone') ?? '') ?? null }),
    'GET /connections': () => ({
      connections: backend.connections().map((c) => ({ id: c.id, kind: c.identity.kind, token: c.identity.token })),
    }),
    'GET /completions': () => ({ completions: completionState(backend).done }),
    ...documentRoutes(backend),
    ...pickingRoutes(backend),
    ...referenceRoutes(backend),
    ...markingRoutes(backend),
    ...remotePrintRoutes(backend),
    ...signingRoutes(backend),
    ...wildberriesRoutes(backend),
    ...ozonRoutes(backend),
    ...ozonFboRoutes(backend),
    ...scenarioRoutes(backend),
    ...updateRoutes(backend),
    ...partsStoreRoutes(backend),
    ...inventoryRoutes(backend),
  }

  const server = http.createServer(async (req, res) => {
    const url = new URL(req.url ?? '/', 'http://127.0.0.1')
    const route = routes[`${req.method} ${url.pathname}`]
    if (!route) return sendJson(res, 404, { error: 'not found' })
    try {
      const body = req.method === 'POST' ? await readJson(req) : {}
      sendJson(res, 200, await route(body, url.searchParams))
    } catch (err) {
      sendJson(res, 400, { error: err instanceof Error ? err.message : String(err) })
    }
  })
  await listen(server, port, '127.0.0.1')
  const address = /** @type {import('node:net').AddressInfo} */ (server.address())
  return {
    url: `http://127.0.0.1:${address.port}`,
    close: () =>
      new Promise((resolve) => {
        server.closeAllConnections()
        server.close(() => resolve(undefined))
      }),
  }
}

/** @param {http.IncomingMessage} req */
async function readJson(req) {
  let text = ''
  for await (const chunk of req) text += chunk
  if (!text) return {}
  const value = JSON.parse(text)
  if (typeof value !== 'object' || value === null || Array.isArray(value)) throw new Error('a JSON object is expected')
  return value
}
