// Writes a version into an executable's version slot (the marker, then the
// version NUL-padded to the slot's 64 bytes), so a bundle can carry another
// version than the one compiled in without building again.
//   node stamp-version.mjs <executable> <version>
import { readFileSync, writeFileSync } from 'node:fs'

const MARKER = Buffer.from('@ZORVIK_VERSION_SLOT@')
const SLOT = 64

const [file, version] = process.argv.slice(2)
if (!file || !version || !/^[0-9A-Za-z][0-9A-Za-z.+_-]*$/.test(version)) {
  console.error('usage: stamp-version.mjs <executable> <version>')
  process.exit(2)
}
const bytes = readFileSync(file)
const at = bytes.indexOf(MARKER)
if (at < 0 || bytes.indexOf(MARKER, at + 1) >= 0) {
  console.error(`stamp-version: ${file} must hold the version slot exactly once`)
  process.exit(1)
}
const text = Buffer.from(version)
if (text.length > SLOT - MARKER.length - 1) {
  console.error(`stamp-version: the version ${version} is too long`)
  process.exit(1)
}
bytes.fill(0, at + MARKER.length, at + SLOT)
text.copy(bytes, at + MARKER.length)
writeFileSync(file, bytes)
