/**
 * The Wildberries task list ("wb"): the tasks of every shop of the account,
 * the shops, what the last load said, the shop filter and the search, and
 * the wait after the marketplace limited requests (shared with printing).
 */
import { defineStore } from 'pinia'
import { computed, ref } from 'vue'
import type { Payload } from '../../core/envelope'
import { isTimeout } from '../../core/requests'
import { marketplaceRequest } from '../channel'
import { LIST_FAILED, LIST_SERVER_SILENT, partialText, RATE_LIMITED, refusalText } from './wbMessages'
import { matchesSearch, readShops, readTasks, shopChips, waitDuration, waitSeconds, type WbShopRef, type WbTask } from './wbTask'

export interface ListProblem {
  text: string
  /** offer the way to the shops settings */
  settings: boolean
}

export const NOT_CONFIGURED_TITLE = 'Магазины Wildberries не заведены'
export const NOT_CONFIGURED_TEXT = 'Добавьте магазин и токен — тогда здесь появятся новые задания'

export const useWbStore = defineStore('wb', () => {
  const tasks = ref<WbTask[]>([])
  const shops = ref<WbShopRef[]>([])
  const loading = ref(false)
  const loaded = ref(false)
  const problem = ref<ListProblem | null>(null)
  const warning = ref('')
  const notConfigured = ref(false)
  const shopFilter = ref('')
  const query = ref('')
  /** when the rate-limit wait ends (ms); 0: no wait */
  const waitUntil = ref(0)
  /** the clock the countdown reads; the list page ticks it every second */
  const now = ref(Date.now())

  const waitLeft = computed(() => Math.max(0, Math.ceil((waitUntil.value - now.value) / 1000)))
  const chips = computed(() => shopChips(shops.value, tasks.value))
  const shown = computed(() =>
    tasks.value.filter((t) => (shopFilter.value === '' || t.sellerId.trim() === shopFilter.value) && matchesSearch(t, query.value)),
  )
  const refreshText = computed(() =>
    loading.value ? 'Обновляем…' : waitLeft.value > 0 ? `Обновить через ${waitLeft.value} с` : 'Обновить',
  )

  function tick(at: number = Date.now()) {
    now.value = at
  }

  function startWait(seconds: number, at: number = Date.now()) {
    now.value = at
    waitUntil.value = Math.max(waitUntil.value, at + seconds * 1000)
  }

  function replaceTask(task: WbTask) {
    const at = tasks.value.findIndex((t) => t.id === task.id)
    if (at >= 0) tasks.value.splice(at, 1, task)
  }

  function take(p: Payload) {
    tasks.value = readTasks(p.items)
    shops.value = readShops(p.shops)
    notConfigured.value = p.configured === false
    const shopErrors = Array.isArray(p.shopErrors) ? p.shopErrors : []
    warning.value = p.partial === true || shopErrors.length > 0 ? partialText(shopErrors) : ''
    if (shopFilter.value !== '' && !chips.value.some((c) => c.sellerId === shopFilter.value)) shopFilter.value = ''
  }

  function empty(next: ListProblem) {
    tasks.value = []
    shops.value = []
    notConfigured.value = false
    warning.value = ''
    problem.value = next
  }

  /** Loads the list; nothing while a load runs or a wait counts down. */
  async function load(): Promise<void> {
    tick()
    if (loading.value || waitLeft.value > 0) return
    loading.value = true
    try {
      const p = await marketplaceRequest('wbOrders', {})
      const code = typeof p.errorCode === 'string' ? p.errorCode.trim() : ''
      const error = typeof p.error === 'string' ? p.error.trim() : ''
      if (code === RATE_LIMITED) {
        const seconds = waitSeconds(p.retryAfter)
        startWait(seconds)
        problem.value = null
        warning.value = `Wildberries временно ограничил запросы. Подождите ${waitDuration(seconds)} и нажмите «Обновить».`
      } else if (code === 'wb-no-token' || code === 'wb-unauthorized') {
        empty({ text: error || refusalText(p, 'label'), settings: true })
      } else if (code !== '' || error !== '') {
        empty({ text: error || LIST_FAILED, settings: false })
      } else {
        problem.value = null
        take(p)
      }
    } catch (err) {
      empty({ text: isTimeout(err) ? LIST_SERVER_SILENT : err instanceof Error ? err.message : String(err), settings: false })
    } finally {
      loading.value = false
      loaded.value = true
    }
  }

  return {
    tasks,
    shops,
    loading,
    loaded,
    problem,
    warning,
    notConfigured,
    shopFilter,
    query,
    waitUntil,
    now,
    waitLeft,
    chips,
    shown,
    refreshText,
    tick,
    startWait,
    replaceTask,
    load,
  }
})
