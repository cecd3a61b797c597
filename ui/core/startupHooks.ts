/**
 * What start-up calls into that other parts of the UI provide: the session
 * (sign-in and the server channel). Each part installs its hook when its module loads.
 */
export const startupHooks = {
  startSession: async (_setStage: (stage: string) => void): Promise<void> => {},
}
