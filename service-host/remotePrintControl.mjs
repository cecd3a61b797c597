// Test-mode control routes of the print relay: print commands to the account's
// registered desktop (twice in a row, again later, or held until the desktop
// is back), results lost on the way, and what the relay holds.
import {
  accountRegistry,
  dropPrintResults,
  redeliverPrintCommand,
  relayJobs,
  sendPrintCommand,
} from '../ui/demo/index.ts'

/** @param {import('../ui/demo/index.ts').MemoryBackend} backend */
export function remotePrintRoutes(backend) {
  const required = (/** @type {Record<string, any>} */ b, /** @type {string} */ key) => {
    if (typeof b[key] !== 'string' || !b[key]) throw new Error(`${key} is required`)
    return b[key]
  }
  return {
    // {accountId, jobId?, labelUrl?, copies?, documentId?, printerId?, times?}: a print command to the account's
    // registered desktop, `times` deliveries in a row; held until the desktop connects when it is offline
    'POST /print-command': (/** @type {Record<string, any>} */ b) =>
      sendPrintCommand(backend, {
        accountId: required(b, 'accountId'),
        jobId: typeof b.jobId === 'string' ? b.jobId : undefined,
        labelUrl: typeof b.labelUrl === 'string' ? b.labelUrl : undefined,
        copies: b.copies === undefined ? undefined : Number(b.copies),
        documentId: typeof b.documentId === 'string' ? b.documentId : undefined,
        printerId: typeof b.printerId === 'string' ? b.printerId : undefined,
        times: b.times === undefined ? undefined : Number(b.times),
      }),
    // {jobId}: the same command once more (held until the desktop connects when it is offline)
    'POST /print-command/redeliver': (/** @type {Record<string, any>} */ b) => redeliverPrintCommand(backend, required(b, 'jobId')),
    // {times}: the next `times` results of desktops are lost on the way
    'POST /print-results/drop': (/** @type {Record<string, any>} */ b) => {
      dropPrintResults(backend, Number(b.times ?? 1))
      return { ok: true }
    },
    // the relay's jobs with the progress and results that reached it
    'GET /print-jobs': () => ({ jobs: relayJobs(backend) }),
    // ?accountId=: the account's printer registry
    'GET /printer-registry': (/** @type {unknown} */ _b, /** @type {URLSearchParams} */ q) => ({
      printers: accountRegistry(backend, q.get('accountId') ?? ''),
    }),
  }
}
