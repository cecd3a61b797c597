/** The computer's name as the host reports it (the agent trims and cuts it). */
import { invokePlugin } from '../core/bridge'

export async function computerName(): Promise<string> {
  const name = await invokePlugin<unknown>('os', 'hostname')
  return typeof name === 'string' ? name : ''
}
