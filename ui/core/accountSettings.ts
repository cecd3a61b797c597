/**
 * Account-wide settings from the server (`appSettingsGet`): fetched on demand
 * once per account (the scope names the signed-in account, so another
 * account never sees this one's block); concurrent callers of one account
 * share one fetch; a failure keeps the defaults and is asked again next time.
 */

export interface AccountWideSettings {
  cellsDefaultSort: 'asc' | 'desc' | null
  cellsStockDisplay: 'cell' | 'warehouse' | 'both' | 'productField' | null
  cellsProductAttributeId: string | null
  keepScreenOn: boolean
  /** The whole block as the server sent it (widget settings, account lists). */
  raw: Record<string, unknown>
}

export const ACCOUNT_SETTINGS_FAILED = '[настройки аккаунта] сортировка, остатки и удержание экрана не получены, работаем с умолчаниями:'

export function normaliseAccountSettings(answer: unknown): AccountWideSettings {
  const block =
    typeof answer === 'object' && answer !== null && 'settings' in answer ? (answer as { settings: unknown }).settings : answer
  const raw = typeof block === 'object' && block !== null && !Array.isArray(block) ? (block as Record<string, unknown>) : {}
  const sort = raw.cellsDefaultSort
  const stock = raw.cellsStockDisplay
  const attr = raw.cellsProductAttributeId
  const keep = raw.keepScreenOn
  return {
    cellsDefaultSort: sort === 'asc' || sort === 'desc' ? sort : null,
    cellsStockDisplay:
      stock === 'cell' || stock === 'warehouse' || stock === 'both' || stock === 'productField' ? stock : null,
    cellsProductAttributeId: typeof attr === 'string' && attr !== '' ? attr : null,
    keepScreenOn: keep === true || keep === 1 || keep === '1',
    raw,
  }
}

export const DEFAULT_ACCOUNT_SETTINGS: AccountWideSettings = /*#__PURE__*/ normaliseAccountSettings({})

/** A loader bound to one way of asking the server and to the scope of the signed-in account. */
export function createAccountSettingsLoader(
  fetchSettings: () => Promise<unknown>,
  warn: (message: string, err: unknown) => void = (m, e) => console.warn(m, e),
  scope: () => string = () => '',
) {
  const loaded = new Map<string, AccountWideSettings>()
  const pending = new Map<string, Promise<AccountWideSettings>>()
  return {
    get(): Promise<AccountWideSettings> {
      const key = scope()
      const known = loaded.get(key)
      if (known) return Promise.resolve(known)
      let waiting = pending.get(key)
      if (!waiting) {
        waiting = fetchSettings()
          .then((answer) => {
            const block = normaliseAccountSettings(answer)
            // An answer that comes after a change of account still belongs to the account that asked.
            loaded.set(key, block)
            return block
          })
          .catch((err) => {
            warn(ACCOUNT_SETTINGS_FAILED, err)
            return DEFAULT_ACCOUNT_SETTINGS
          })
          .finally(() => pending.delete(key))
        pending.set(key, waiting)
      }
      return waiting
    },
    /** Keeps a block the server took (after a save) for the account that saved it. */
    remember(block: unknown) {
      loaded.set(scope(), normaliseAccountSettings(block))
    },
    /** Forgets every cached block (a new way of asking the server). */
    reset() {
      loaded.clear()
    },
  }
}
