import { describe, expect, it } from 'vitest'
import type { FromWorker, ToWorker } from './decodeWorkerProtocol'
import { workerDecoder } from './workerDecoder'

/** A stand-in worker that answers as the real one would, and records what it was sent. */
class FakeWorker {
  onmessage: ((event: MessageEvent<FromWorker>) => void) | null = null
  onerror: ((event: ErrorEvent) => void) | null = null
  sent: Array<{ message: ToWorker; transfer?: Transferable[] }> = []
  terminated = false
  constructor(private readonly answer: (m: ToWorker) => FromWorker[] | undefined) {}
  postMessage(message: ToWorker, transfer?: Transferable[]) {
    this.sent.push({ message, transfer })
    const replies = this.answer(message) ?? []
    queueMicrotask(() => replies.forEach((data) => this.onmessage?.({ data } as MessageEvent<FromWorker>)))
  }
  terminate() {
    this.terminated = true
  }
  fail(message: string) {
    this.onerror?.({ message } as ErrorEvent)
  }
}

const frame = () => ({ data: new Uint8ClampedArray(4 * 4 * 4), width: 4, height: 4 })

describe('the decoder in a worker', () => {
  it('starts the reader there, hands each frame over without a copy and answers what the worker found', async () => {
    const logs: string[] = []
    const worker = new FakeWorker((m) =>
      m.type === 'start'
        ? [{ type: 'log', line: '[камера] x' }, { type: 'ready', kind: 'wasm' }]
        : [{ type: 'result', id: m.id, decoded: m.width === 4 ? { text: '4600439931256', format: 'ean_13' } : null }],
    )
    const decoder = await workerDecoder(['ean_13'], (l) => logs.push(l), () => worker)
    expect(decoder?.kind).toBe('wasm')
    expect(decoder?.rotates).toBe(true)
    expect(logs).toEqual(['[камера] x'])
    const f = frame()
    const buffer = f.data.buffer
    expect(await decoder!.decodeFrame!(f)).toEqual({ text: '4600439931256', format: 'ean_13' })
    const sent = worker.sent[1]!
    expect(sent.message.type).toBe('frame')
    expect(sent.transfer).toEqual([buffer])
  })

  it('fails every waiting and later frame when the worker stops, and gives up a worker that cannot start', async () => {
    const worker = new FakeWorker((m) => (m.type === 'start' ? [{ type: 'ready', kind: 'script' }] : undefined))
    const decoder = (await workerDecoder(['ean_13'], () => {}, () => worker))!
    expect(decoder.rotates).toBe(false)
    const waiting = decoder.decodeFrame!(frame())
    worker.fail('boom')
    await expect(waiting).rejects.toThrow('boom')
    await expect(decoder.decodeFrame!(frame())).rejects.toThrow('boom')
    expect(worker.terminated).toBe(true)

    const refusing = new FakeWorker(() => [{ type: 'failed', error: 'нет распознавателя' }])
    await expect(workerDecoder(['ean_13'], () => {}, () => refusing)).rejects.toThrow('нет распознавателя')
    expect(refusing.terminated).toBe(true)
    const silent = new FakeWorker(() => undefined)
    await expect(workerDecoder(['ean_13'], () => {}, () => silent, 20)).rejects.toThrow('нет ответа за 20 мс')
    expect(silent.terminated).toBe(true)
    expect(await workerDecoder(['ean_13'], () => {}, () => undefined)).toBeUndefined()
  })
})
