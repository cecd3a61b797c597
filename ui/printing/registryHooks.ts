/**
 * Remote printing keeps the account's registry in step with this workplace:
 * it registers a function here that re-sends the registration with the
 * current format. Called after the chosen printer or its purpose changed,
 * only while the registration exists and a named printer is chosen.
 */
export const printRegistryRefreshHooks: Array<() => void> = []
