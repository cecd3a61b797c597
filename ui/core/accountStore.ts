/**
 * The account capabilities: what the last `deviceWhoAmI` said about the
 * signed-in account (roles, permissions, features, options). Screens wait for
 * `received` before drawing what depends on them. `kept` is the description
 * last confirmed for the signed-in token on this device (./keptAccount): it
 * stands in while the channel is away, so the menu and the work kept on the
 * device know their account before the next confirmation.
 */
import { defineStore } from 'pinia'
import { computed, ref } from 'vue'
import { normaliseAccountDescription, type AccountDescription } from './accountDescription'

export const useAccountStore = defineStore('account', () => {
  const description = ref<AccountDescription | null>(null)
  const received = ref(false)
  const kept = ref<AccountDescription | null>(null)
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
    kept.value = null
    received.value = false
    waitGeneration.value += 1
  }

  /** The description last confirmed for the signed-in token (null when none was). */
  function keep(d: AccountDescription | null) {
    kept.value = d
    if (received.value && !description.value && d) description.value = d
  }

  /**
   * The wait for capabilities counts as over (the channel was not connected when it started): the
   * kept description stands in until the service confirms one.
   */
  function markReceived() {
    received.value = true
    if (!description.value && kept.value) description.value = kept.value
  }

  return { description, received, kept, waitGeneration, isAdmin, apply, reset, keep, markReceived }
})
