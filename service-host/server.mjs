#!/usr/bin/env node
// Runs the local service host in the foreground:
//   node service-host/server.mjs            127.0.0.1:8787
//   PORT=9000 HOST=0.0.0.0 node service-host/server.mjs
//   SERVICE_HOST_TEST=1 (or --test-mode)   also the control endpoint on
//                                          127.0.0.1:CONTROL_PORT (PORT+1)
//   SERVICE_HOST_CATALOGUE=N               N generated products more in every
//                                          account with the product reference
// The first line on stdout names the address ("service host: http://..."),
// which scripts wait for.
import { register } from 'node:module'

// The shared backend is TypeScript; Node 20 loads it through these hooks.
register('./tsLoader.mjs', import.meta.url)
const { startServiceHost } = await import('./serviceHost.mjs')

const port = Number(process.env.PORT ?? 8787)
const testMode = process.env.SERVICE_HOST_TEST === '1' || process.argv.includes('--test-mode')
const controlPort = Number(process.env.CONTROL_PORT ?? (port === 0 ? 0 : port + 1))

try {
  const host = await startServiceHost({
    host: process.env.HOST ?? '127.0.0.1',
    port,
    testMode,
    controlPort,
    secret: process.env.SERVICE_HOST_SECRET || undefined,
    catalogueSize: Number(process.env.SERVICE_HOST_CATALOGUE ?? 0) || undefined,
  })
  const stop = async () => {
    await host.close()
    process.exit(0)
  }
  process.once('SIGINT', stop)
  process.once('SIGTERM', stop)
  console.log(`service host: ${host.url} (Socket.IO path /e, GET /get-token)`)
  if (host.controlUrl) console.log(`control: ${host.controlUrl} (test mode)`)
} catch (err) {
  console.error(`service host: could not start: ${err instanceof Error ? err.message : String(err)}`)
  process.exit(1)
}
