/** The copy the feature installed, for the screens that show it (null before `install`). */
import type { ReferenceCopy } from './referenceCopy'

let installed: ReferenceCopy | null = null

export function installedCopy(): ReferenceCopy | null {
  return installed
}

export function setInstalledCopy(copy: ReferenceCopy | null): void {
  installed = copy
}
