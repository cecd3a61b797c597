/**
 * A test's marketplace backend: the in-memory backend of demonstration mode
 * (the demonstration account, with its Wildberries shops) behind a
 * demonstration channel put in place of the session's, with what the client
 * sent (the document lists go the same way); and a screen mounted at a route.
 */
import { flushPromises, mount, type VueWrapper } from '@vue/test-utils'
import { createPinia, setActivePinia } from 'pinia'
import type { Component } from 'vue'
import { createMemoryHistory, createRouter, type Router } from 'vue-router'
import { DemoChannel } from '../../core/demoChannel'
import type { Payload } from '../../core/envelope'
import { installMemoryStorage } from '../../core/testing/memoryStorage'
import { createBackend, demoSigner, type MemoryBackend } from '../../demo'
import { useDocumentsChannel } from '../../documents/documentRequests'
import { useMarketplaceChannel } from '../channel'

export interface MarketplaceKit {
  backend: MemoryBackend
  /** what the client sent, in order */
  sent: Array<{ c: string; p: Payload }>
  router: Router
  /** mounts the router's view at `path` and lets it settle */
  open(path: string): Promise<VueWrapper>
  end(): void
}

/** Lets promises, the channel's deliveries and then `ms` of timers run. */
export async function settle(ms = 0): Promise<void> {
  for (let i = 0; i < 5; i++) {
    await flushPromises()
    await new Promise((r) => setTimeout(r, 0))
  }
  if (ms > 0) {
    await new Promise((r) => setTimeout(r, ms))
    await settle()
  }
}

/** `screens`: route path → the screen under test; every other path shows an empty page. */
export function marketplaceKit(screens: Record<string, Component>): MarketplaceKit {
  installMemoryStorage()
  setActivePinia(createPinia())
  const backend = createBackend({ sign: demoSigner })
  const channel = new DemoChannel(backend)
  const sent: Array<{ c: string; p: Payload }> = []
  const send = channel.send.bind(channel)
  channel.send = (c, p = {}, tag) => {
    sent.push({ c, p })
    send(c, p, tag)
  }
  channel.init()
  useMarketplaceChannel(() => channel)
  useDocumentsChannel(() => channel)
  const router = createRouter({
    history: createMemoryHistory(),
    routes: [
      ...Object.entries(screens).map(([path, component]) => ({ path, component })),
      { path: '/:any(.*)', component: { template: '<div data-test="elsewhere" />' } },
    ],
  })
  let wrapper: VueWrapper | undefined
  return {
    backend,
    sent,
    router,
    async open(path) {
      await router.push(path)
      wrapper = mount({ template: '<RouterView />' }, { global: { plugins: [router] }, attachTo: document.body })
      await settle()
      return wrapper
    },
    end() {
      wrapper?.unmount()
      channel.destroy()
      useMarketplaceChannel()
      useDocumentsChannel()
    },
  }
}
