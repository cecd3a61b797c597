// Test-mode control routes of the update files: where the bundles are, what
// the version files say, and the faults a download can have.
import { updateFilesOf, defaultUpdateFiles } from './updateFiles.mjs'

/** @param {object} backend */
export function updateRoutes(backend) {
  const files = updateFilesOf(backend)
  return {
    // {dir?, notes?, versionFile?, brokenSignature?, cutDownload?, noContentLength?, noManifest?}: changes what is served;
    // {reset: true} first returns to the defaults
    'POST /update-files': (/** @type {Record<string, any>} */ b) => {
      if (b.reset) Object.assign(files, defaultUpdateFiles())
      if (b.dir !== undefined) files.dir = String(b.dir)
      if (b.notes !== undefined) files.notes = b.notes === null ? null : String(b.notes)
      if (b.versionFile !== undefined) files.versionFile = b.versionFile === null ? null : String(b.versionFile)
      for (const flag of /** @type {const} */ (['brokenSignature', 'cutDownload', 'noContentLength', 'noManifest'])) {
        if (b[flag] !== undefined) files[flag] = Boolean(b[flag])
      }
      return { ...files }
    },
  }
}
