/**
 * Account-wide settings from the server (`appSettingsGet`): fetched once on
 * demand; concurrent callers share one fetch; a failure keeps the defaults.
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

export const DEFAULT_ACCOUNT_SETTINGS: AccountWideSettings = normaliseAccountSettings({})

/** A loader bound to one way of asking the server. */
export function createAccountSettingsLoader(
  fetchSettings: () => Promise<unknown>,
  warn: (message: string, err: unknown) => void = (m, e) => console.warn(m, e),
) {
  let loaded: AccountWideSettings | undefined
  let pending: Promise<AccountWideSettings> | undefined
  return {
    get(): Promise<AccountWideSettings> {
      if (loaded) return Promise.resolve(loaded)
      pending ??= fetchSettings()
        .then((answer) => (loaded = normaliseAccountSettings(answer)))
        .catch((err) => {
          warn(ACCOUNT_SETTINGS_FAILED, err)
          return DEFAULT_ACCOUNT_SETTINGS
        })
        .finally(() => {
          pending = undefined
        })
      return pending
    },
    /** Forget the cached block (another account signed in). */
    reset() {
      loaded = undefined
    },
  }
}
