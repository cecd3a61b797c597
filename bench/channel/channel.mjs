// 1,000 sequential requests through the client's channel (ServerChannel +
// requestOn: envelope, reply matching by name, time-out) to the local service
// host on loopback, against a bare socket.io-client loop that emits the same
// envelope with an acknowledgement, in the same run. After a long warm-up,
// rounds alternate which goes first; the figures are medians. A second bare
// client against the first gives the bare-vs-bare line: the noise of this
// machine, to read the channel's ratio against. Prints the ratios and the peak
// memory of this process.
import { spawn } from 'node:child_process'
import { register } from 'node:module'
import { fileURLToPath } from 'node:url'

register('../../service-host/tsLoader.mjs', import.meta.url)
const { ServerChannel } = await import('../../ui/core/serverChannel.ts')
const { requestOn } = await import('../../ui/core/requests.ts')
const { io } = await import('socket.io-client')

const SMOKE = Boolean(process.env.BENCH_SMOKE)
const REQUESTS = Number(process.env.BENCH_REQUESTS ?? (SMOKE ? 20 : 1000))
const ROUNDS = Number(process.env.BENCH_ROUNDS ?? (SMOKE ? 1 : 5))
const WARMUP = Number(process.env.BENCH_WARMUP ?? (SMOKE ? 20 : 1000))

const server = spawn(process.execPath, [fileURLToPath(new URL('../../service-host/server.mjs', import.meta.url))], {
  env: { ...process.env, PORT: '0', SERVICE_HOST_TEST: '' },
  stdio: ['ignore', 'pipe', 'inherit'],
})
const url = await new Promise((resolve, reject) => {
  let out = ''
  server.stdout.on('data', (c) => {
    out += c
    const m = out.match(/^service host: (http:\/\/\S+)/m)
    if (m) resolve(m[1])
  })
  server.once('exit', (code) => reject(new Error(`the service host exited (${code})`)))
})

try {
  // One device token for both clients (the same account description is asked).
  const guest = io(url, { path: '/e', auth: { token: '' }, forceNew: true })
  const { p: auth } = await guest.emitWithAck('a', { c: 'deviceAuth', p: { pin: '1234-5678' }, r: 4 })
  guest.disconnect()

  const channel = new ServerChannel({ url, getToken: () => auth.token })
  channel.init()
  const bareClient = () =>
    io(url, { path: '/e', transports: ['polling', 'websocket'], auth: { token: auth.token }, forceNew: true })
  const bare = bareClient()
  const bareTwin = bareClient()

  const viaChannel = async (n) => {
    for (let i = 0; i < n; i++) {
      const p = await requestOn(channel, 'deviceWhoAmI', {}, { timeoutMs: 10_000 })
      if (p.userId !== 'u-anna') throw new Error('unexpected answer')
    }
  }
  const bareLoop = (client) => async (n) => {
    for (let i = 0; i < n; i++) {
      const m = await client.timeout(10_000).emitWithAck('a', { c: 'deviceWhoAmI', p: {}, r: 4 })
      if (m.p.userId !== 'u-anna') throw new Error('unexpected answer')
    }
  }
  const viaBare = bareLoop(bare)
  const viaTwin = bareLoop(bareTwin)
  const timed = async (fn) => {
    const t0 = process.hrtime.bigint()
    await fn(REQUESTS)
    return Number(process.hrtime.bigint() - t0) / 1e6
  }

  // Warm up all three (and let them upgrade from long-polling to WebSocket).
  await viaChannel(WARMUP)
  await viaBare(WARMUP)
  await viaTwin(WARMUP)
  await new Promise((r) => setTimeout(r, 300))

  const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)]
  // Rounds of `first` and `second` taking turns to go first.
  const compare = async (first, second) => {
    const a = []
    const b = []
    for (let r = 0; r < ROUNDS; r++) {
      if (r % 2 === 0) {
        a.push(await timed(first))
        b.push(await timed(second))
      } else {
        b.push(await timed(second))
        a.push(await timed(first))
      }
    }
    return [median(a), median(b)]
  }
  const [a, b] = await compare(viaChannel, viaBare)
  const [c, d] = await compare(viaTwin, viaBare)
  console.log(
    `${REQUESTS} sequential requests on loopback (median of ${ROUNDS}, alternating): channel ${a.toFixed(1)} ms ` +
      `(${((a * 1000) / REQUESTS).toFixed(0)} µs each), bare emit-with-ack ${b.toFixed(1)} ms ` +
      `(${((b * 1000) / REQUESTS).toFixed(0)} µs each), ratio ${(a / b).toFixed(2)}`,
  )
  console.log(`bare vs bare (the noise line): ${c.toFixed(1)} ms against ${d.toFixed(1)} ms, ratio ${(c / d).toFixed(2)}`)
  console.log(`peak RSS of the client process: ${Math.round(process.resourceUsage().maxRSS / 1024)} MiB`)
  channel.destroy()
  bare.disconnect()
  bareTwin.disconnect()
} finally {
  server.kill('SIGTERM')
}
