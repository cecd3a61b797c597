/**
 * The account capabilities: what the last `deviceWhoAmI` said about the
 * signed-in account (roles, permissions, features, options). Screens wait for
 * `received` before drawing what depends on them.
 */
import { defineStore } from 'pinia'
import { computed, ref } from 'vue'
import { normaliseAccountDescription, type AccountDescription } from './accountDescription'

export const useAccountStore = defineStore('account', () => {
  const description = ref<AccountDescription | null>(null)
  const received = ref(false)
  /** bumped on every sign-in or account switch: the capabilities wait starts over */
  const waitGeneration = ref(0)

  const isAdmin = computed(() => description.value?.role === 'admin')

  function apply(raw: unknown) {
    description.value = normaliseAccountDescription(raw)
    received.value = true
  }

  /** Forgets the capabilities (sign-out, another account). */
  function reset() {
    description.value = null
    received.value = false
    waitGeneration.value += 1
  }

  /** The wait for capabilities counts as over (the channel was not connected when it started). */
  function markReceived() {
    received.value = true
  }

  return { description, received, waitGeneration, isAdmin, apply, reset, markReceived }
})
