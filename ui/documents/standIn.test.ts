// @vitest-environment node
// The document requests over a real Socket.IO connection to the local service host.
import { afterAll, afterEach, beforeAll, beforeEach, describe, expect, it } from 'vitest'
import { useAuthStore } from '../core/authStore'
import { connectSocket } from '../core/session'
import { useSocketStore } from '../core/socketStore'
import { endSession, freshSession } from '../core/testing/sessionKit'
import { eventually, StandIn } from '../core/testing/standIn'
import { listenDocumentChanges } from './documentChanges'
import { fetchDocumentProducts, findDocument, getDocumentList, MS_NOT_CONNECTED } from './documentRequests'
import { useDocumentStore } from './documentStore'
import { useDocumentListStore } from './listStore'

let standIn: StandIn
beforeAll(async () => {
  standIn = await StandIn.start()
})
afterAll(() => standIn.close())
beforeEach(async () => {
  await standIn.reset()
  freshSession(standIn.url)
})
afterEach(() => endSession())

async function signIn(userId: string) {
  const { token } = await standIn.mint(userId)
  useAuthStore().setDeviceJwt(token)
  connectSocket()
  await eventually('the channel to connect', () => useSocketStore().isConnected)
  return token
}

describe('documents on the local service host', () => {
  it('pages through 1,200 shipments, finds one by number and brings a 120-position document whole', async () => {
    await signIn('u-pavel')
    const first = await getDocumentList('shipment', { maxPages: 1 })
    expect(first).toMatchObject({ total: 1200, nextOffset: 100 })
    expect(first.items).toHaveLength(100)
    const all = await getDocumentList('shipment', { offset: 1100 })
    expect(all.items).toHaveLength(100)
    expect(all.nextOffset).toBeUndefined()

    const found = await findDocument('shipment', '0001500')
    expect(found).toEqual([expect.objectContaining({ number: '1500', inFilter: true, type: 'shipment' })])
    const outside = await findDocument('shipment', '1001')
    expect(outside[0]).toMatchObject({ inFilter: false, stateName: expect.any(String) })

    const big = first.items.find((d) => d.totalPositions === 120)!
    expect(await fetchDocumentProducts(big.id, 'shipment', { silent: true })).toHaveLength(120)
    const sent = await standIn.messages('subscribeDocument')
    expect(sent.map((m) => m.p)).toEqual([{ documentId: big.id, type: 'shipment' }])
  })

  it('every type has documents; an account without MoySklad gets its shipments only', async () => {
    await signIn('u-pavel')
    for (const type of ['receiving', 'order', 'transfer', 'customer_return']) {
      expect((await getDocumentList(type)).items.length).toBeGreaterThan(0)
    }
    useAuthStore().reset()
    endSession()
    freshSession(standIn.url)
    await signIn('u-sveta')
    expect((await getDocumentList('shipment')).items.length).toBeGreaterThan(0)
    await expect(getDocumentList('order')).rejects.toMatchObject({ message: MS_NOT_CONNECTED, errorCode: 'ms-not-connected' })
  })

  it('a document checked in MoySklad reaches the list through documentChanged.push', async () => {
    await signIn('u-pavel')
    const stop = listenDocumentChanges()
    try {
      await useDocumentListStore().loadDocumentList('shipment')
      const doc = useDocumentStore().documents.find((d) => d.status === 'pending')!
      await standIn.control('POST', '/document-changed', { documentId: doc.id, checkState: 'checked' })
      await eventually('the change', () => useDocumentStore().lastRemoteChange?.documentId === doc.id)
      expect(useDocumentStore().lastRemoteChange).toMatchObject({ type: 'shipment', checkState: 'checked' })
      expect(useDocumentStore().documents.find((d) => d.id === doc.id)!.status).toBe('completed')
      // The server agrees from now on.
      await useDocumentListStore().loadDocumentList('shipment')
      expect(useDocumentStore().documents.find((d) => d.id === doc.id)!.status).toBe('completed')
    } finally {
      stop()
    }
  })
})
