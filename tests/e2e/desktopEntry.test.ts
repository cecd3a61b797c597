import { afterAll, expect, it } from 'vitest'
import { execFileSync } from 'node:child_process'
import { readFileSync } from 'node:fs'
import { join } from 'node:path'
import { EXECUTABLE, Profile, ROOT } from './harness/desktopApp'

const profile = new Profile()
afterAll(() => profile.remove())

it('the desktop entry makes the app the handler of both link schemes', () => {
  const env = profile.env('')
  execFileSync(join(ROOT, 'scripts', 'install-desktop-entry'), { env, stdio: 'pipe' })
  const entry = readFileSync(join(profile.dataHome, 'applications', 'com.quennix.zorvik-mobile.desktop'), 'utf8')
  expect(entry).toContain(`Exec="${EXECUTABLE}" %u`)
  expect(entry).toContain('MimeType=x-scheme-handler/zorvik;x-scheme-handler/tsd-auth;')
  for (const scheme of ['zorvik', 'tsd-auth']) {
    const out = execFileSync('gio', ['mime', `x-scheme-handler/${scheme}`], { env: { ...env, LC_ALL: 'C.UTF-8' } })
    // First line: the default application for the type.
    expect(out.toString().split('\n')[0]).toContain('com.quennix.zorvik-mobile.desktop')
  }
})
