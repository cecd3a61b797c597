/** Per-file set-up of desktop tests: one private display, fresh profiles removed afterwards. */
import { afterAll, beforeAll } from 'vitest'
import { startDisplay, type Display } from './display'
import { Profile } from './desktopApp'

export interface DesktopSuite {
  /** The display of this file (valid inside tests). */
  display(): Display
  /** A new profile, removed when the file's tests are done. */
  fresh(): Profile
}

export function desktopSuite(): DesktopSuite {
  let display: Display | undefined
  const profiles: Profile[] = []
  beforeAll(async () => {
    display = await startDisplay()
  })
  afterAll(async () => {
    await display?.stop()
    for (const p of profiles) p.remove()
  })
  return {
    display: () => {
      if (!display) throw new Error('the display starts in beforeAll')
      return display
    },
    fresh: () => {
      const p = new Profile()
      profiles.push(p)
      return p
    },
  }
}
