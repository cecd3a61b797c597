// Types of the local service host for the TypeScript tests that start it.
import type { Server } from 'socket.io'
import type { MemoryBackend } from '../ui/demo/index'

export interface ServiceHostOptions {
  host?: string
  port?: number
  testMode?: boolean
  controlPort?: number
  secret?: string
  log?: (line: string) => void
  now?: () => number
  /** generated products added to every account with the product reference */
  catalogueSize?: number
}

export interface ServiceHost {
  url: string
  port: number
  controlUrl: string | undefined
  backend: MemoryBackend
  io: Server
  close(): Promise<void>
}

export function startServiceHost(options?: ServiceHostOptions): Promise<ServiceHost>
export function randomSecret(): string
