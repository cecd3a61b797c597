// The local stand-in of the service host: Socket.IO on path "/e" (every
// message is {c, p, r} on the event "a"), GET "/get-token", and in test mode a
// control endpoint on loopback. The commands are answered by the in-memory
// backend that demonstration mode uses too.
import { createHmac, randomBytes } from 'node:crypto'
import http from 'node:http'
import { Server } from 'socket.io'
import { CHANNEL_EVENT, CHANNEL_PATH, FROM_BACK, readEnvelope, replyNameFor } from '../ui/core/envelope.ts'
import { createBackend, seedCatalogue, setInventoryFileOrigin, setWbFileOrigin, useSignatureVerifier } from '../ui/demo/index.ts'
import { verifyWithOpenssl } from './cmsVerify.mjs'
import { startControl } from './control.mjs'
import { listen, sendJson } from './httpUtil.mjs'
import { serveLabelFile } from './labelFiles.mjs'
import { serveWildberriesLabel } from './wildberriesLabels.mjs'
import { serveOzonLabel } from './ozonLabels.mjs'
import { serveOzonFboLabel } from './ozonFboLabels.mjs'
import { serveUpdateFile, updateFilesOf } from './updateFiles.mjs'
import { servePartsStoreFile } from './partsstoreFiles.mjs'
import { serveInventoryFile } from './inventoryFiles.mjs'
import { relayPartsLabels } from './partsLabelRelay.mjs'

/**
 * @typedef {object} ServiceHostOptions
 * @property {string} [host] address to listen on (127.0.0.1)
 * @property {number} [port] port (8787); 0 takes a free one
 * @property {boolean} [testMode] also start the control endpoint
 * @property {number} [controlPort] port of the control endpoint (0: a free one)
 * @property {string} [secret] key that signs the tokens
 * @property {(line: string) => void} [log]
 * @property {() => number} [now] clock of the backend (ms)
 * @property {number} [catalogueSize] generated products added to every account with the product reference
 */

/**
 * @typedef {object} ReplyRule what happens to the next request(s) of one name
 * @property {'fail' | 'delay' | 'drop'} action
 * @property {Record<string, unknown>} [payload] the refusal sent instead of the answer ("fail")
 * @property {number} [ms] delay of the answer ("delay")
 * @property {number} times how many requests it still applies to
 * @property {string} [token] only requests of connections opened with this token
 */

/** Keeps the stand-in's tokens valid across restarts of a local run; tests pass their own. */
const LOCAL_SECRET = 'zorvik-local-service-host'
const MESSAGE_LOG_LIMIT = 2000

/** @param {ServiceHostOptions} [options] */
export async function startServiceHost(options = {}) {
  const host = options.host ?? '127.0.0.1'
  const log = options.log ?? ((line) => console.log(`[service-host] ${line}`))
  const secret = options.secret ?? LOCAL_SECRET
  const sign = (/** @type {string} */ data) => createHmac('sha256', secret).update(data).digest('base64url')
  const backend = createBackend({ sign, now: options.now, log })
  useSignatureVerifier(backend, verifyWithOpenssl)
  if (options.catalogueSize) {
    for (const account of backend.accounts.values()) {
      if (account.features.assortmentSearch) seedCatalogue(backend, account.uid, options.catalogueSize)
    }
  }

  /** @type {Map<string, ReplyRule[]>} */
  const rules = new Map()
  /** @type {Array<{c: string, p: Record<string, unknown>, r: number, conn: string, kind: string, at: number}>} */
  const messages = []
  /** @type {Set<ReturnType<typeof setTimeout>>} */
  const timers = new Set()

  /** The rule for the next request of this name (from a connection with this token), if one is set. */
  const takeRule = (/** @type {string} */ name, /** @type {string | undefined} */ token) => {
    const list = rules.get(name)
    const at = list ? list.findIndex((r) => r.token === undefined || r.token === token) : -1
    const rule = list?.[at]
    if (!list || !rule) return undefined
    rule.times -= 1
    if (rule.times <= 0) list.splice(at, 1)
    if (list.length === 0) rules.delete(name)
    return rule
  }
  const later = (/** @type {() => void} */ fn, /** @type {number} */ ms) => {
    const t = setTimeout(() => {
      timers.delete(t)
      fn()
    }, ms)
    timers.add(t)
  }

  // Parts-store label files, served once the service knows its own address.
  /** @type {(req: http.IncomingMessage, res: http.ServerResponse, url: URL) => boolean} */
  let servePartsLabel = () => false
  const server = http.createServer((req, res) => {
    const url = new URL(req.url ?? '/', 'http://localhost')
    res.setHeader('Access-Control-Allow-Origin', '*')
    res.setHeader('Access-Control-Allow-Headers', 'content-type')
    if (req.method === 'OPTIONS') return void res.writeHead(204).end()
    if (req.method === 'GET' && url.pathname === '/get-token') return void answerToken(res)
    if (req.method === 'GET' && url.pathname === '/health') return void sendJson(res, 200, { ok: true })
    // A rule for a label file's path (test mode): the download hangs ("drop"), waits ("delay") or fails.
    const fileRule = url.pathname.startsWith('/labels/') ? takeRule(url.pathname) : undefined
    if (fileRule?.action === 'drop') return
    if (fileRule?.action === 'fail') return void sendJson(res, Number(fileRule.payload?.status) || 500, { error: 'test failure' })
    if (fileRule?.action === 'delay') return later(() => serveFile(req, res, url), fileRule.ms ?? 0)
    serveFile(req, res, url)
  })

  /**
   * @param {http.IncomingMessage} req
   * @param {http.ServerResponse} res
   * @param {URL} url
   */
  function serveFile(req, res, url) {
    if (serveWildberriesLabel(req, res, url, backend)) return
    if (serveOzonFboLabel(req, res, url, backend)) return
    if (serveOzonLabel(req, res, url, backend)) return
    if (serveLabelFile(req, res, url)) return
    if (serveUpdateFile(updateFilesOf(backend), req, res, url)) return
    if (servePartsStoreFile(backend, req, res, url)) return
    if (serveInventoryFile(backend, req, res, url)) return
    if (servePartsLabel(req, res, url)) return
    sendJson(res, 404, { error: 'not found' })
  }

  /** @param {http.ServerResponse} res */
  function answerToken(res) {
    res.setHeader('Cache-Control', 'no-store')
    const rule = takeRule('/get-token')
    const answer = () => sendJson(res, 200, { token: backend.issueAnonToken() })
    if (!rule) return answer()
    if (rule.action === 'drop') return // the request hangs until the client gives up
    if (rule.action === 'delay') return later(answer, rule.ms ?? 0)
    const status = typeof rule.payload?.status === 'number' ? rule.payload.status : 500
    sendJson(res, status, rule.payload?.body ?? { error: 'test failure' })
  }

  const io = new Server(server, { path: CHANNEL_PATH, cors: { origin: true }, serveClient: false })

  io.use((socket, next) => {
    const identity = backend.authenticate(socket.handshake.auth?.token)
    if ('error' in identity) return next(new Error(identity.error))
    socket.data.identity = identity
    next()
  })

  io.on('connection', (socket) => {
    const conn = backend.attach(socket.data.identity, (c, p) => socket.emit(CHANNEL_EVENT, { c, p, r: FROM_BACK }))
    socket.data.conn = conn
    socket.on('disconnect', () => backend.detach(conn))
    // A message with an acknowledgement callback is answered through it (the benchmark's bare reference);
    // the client itself never asks for acknowledgements and gets its answers as events.
    socket.on(CHANNEL_EVENT, (/** @type {unknown} */ message, /** @type {unknown} */ ack) => {
      const env = readEnvelope(message)
      if (!env) return
      if (options.testMode) {
        messages.push({ c: env.c, p: env.p, r: env.r, conn: conn.id, kind: conn.identity.kind, at: Date.now() })
        if (messages.length > MESSAGE_LOG_LIMIT) messages.splice(0, messages.length - MESSAGE_LOG_LIMIT)
      }
      const deliver = (/** @type {string} */ c, /** @type {Record<string, unknown>} */ p) => {
        if (typeof ack === 'function') ack({ c, p, r: FROM_BACK })
        else socket.emit(CHANNEL_EVENT, { c, p, r: FROM_BACK })
      }
      const rule = takeRule(env.c, conn.identity.token)
      if (rule?.action === 'fail') return deliver(replyNameFor(env.c), rule.payload ?? { error: 'test failure', errorCode: 'test' })
      const replies = backend.handle(conn, env.c, env.p)
      if (rule?.action === 'drop') return
      const send = () => {
        for (const reply of replies) deliver(reply.c, reply.p)
      }
      if (rule?.action === 'delay') later(send, rule.ms ?? 0)
      else send()
    })
  })

  await listen(server, options.port ?? 8787, host)
  const address = /** @type {import('node:net').AddressInfo} */ (server.address())
  const url = `http://${host.includes(':') ? `[${host}]` : host}:${address.port}`
  setWbFileOrigin(backend, url)
  setInventoryFileOrigin(backend, url)
  servePartsLabel = relayPartsLabels(backend, url)

  const control = options.testMode
    ? await startControl({ port: options.controlPort ?? 0, backend, io, rules, messages })
    : undefined

  return {
    url,
    port: address.port,
    controlUrl: control?.url,
    backend,
    io,
    async close() {
      for (const t of timers) clearTimeout(t)
      timers.clear()
      await control?.close()
      io.disconnectSockets(true)
      await new Promise((resolve) => io.close(() => resolve(undefined)))
      server.closeAllConnections?.()
    },
  }
}

/** A fresh random key for a test run. */
export function randomSecret() {
  return randomBytes(24).toString('base64url')
}
