// Test-mode control routes for completion scenarios: make an action of the
// runs fail or hang, lift that again, and read the runs.
import { liftScenarioFault, scenarioRuns, setScenarioFault } from '../ui/demo/index.ts'

/** @param {import('../ui/demo/index.ts').MemoryBackend} backend */
export function scenarioRoutes(backend) {
  return {
    // {action, mode: fail | hang, error?}: every later attempt of the action (documentState, …, printBox,
    // printA4, note, answer) fails with `error` or stays running until lifted
    'POST /scenario-fault': (/** @type {Record<string, any>} */ b) => {
      if (typeof b.action !== 'string' || !b.action) throw new Error('action is required')
      setScenarioFault(backend, b.action, { mode: b.mode, ...(typeof b.error === 'string' ? { error: b.error } : {}) })
      return { ok: true }
    },
    // {action?}: lifts the fault of the action (of every action without one); hanging steps go on
    'POST /scenario-lift': (/** @type {Record<string, any>} */ b) => ({
      resumed: liftScenarioFault(backend, typeof b.action === 'string' && b.action ? b.action : undefined),
    }),
    // ?documentId=: the runs (of that document)
    'GET /scenario-runs': (/** @type {unknown} */ _b, /** @type {URLSearchParams} */ q) => ({
      runs: scenarioRuns(backend).filter((r) => !q.get('documentId') || r.documentId === q.get('documentId')),
    }),
  }
}
