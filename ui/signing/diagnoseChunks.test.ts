import { describe, expect, it } from 'vitest'
import { diagnoseChunks, EMPTY_REPORT } from './diagnoseChunks'

describe('diagnostic report chunks', () => {
  it.each([
    ['short lines over two chunks', 'ab\ncd\nef\n', 6, ['ab\ncd\n', 'ef\n']],
    ['a line longer than a chunk is cut into pieces of its own', 'x\n' + 'y'.repeat(13) + '\nz', 6, ['x\n', 'yyyyyy', 'yyyyyy', 'y\n', 'z']],
    ['the last line without a line break', 'ab\ncd', 6, ['ab\ncd']],
    ['Windows line ends stay as they are', 'ab\r\ncd\r\n', 4, ['ab\r\n', 'cd\r\n']],
    ['blank lines are kept', '\n\nab\n', 6, ['\n\nab\n']],
  ])('%s', (_name, report, limit, chunks) => {
    expect(diagnoseChunks(report, limit)).toEqual(chunks)
    expect(chunks.join('')).toBe(report)
  })

  it.each(['', '  \n\t'])('a blank report (%j) is one chunk with the empty-report text', (report) => {
    expect(diagnoseChunks(report)).toEqual([EMPTY_REPORT])
  })

  it('a line of exactly the limit with its line break ends a chunk', () => {
    const report = 'a'.repeat(60_000) + '\nb\n'
    expect(diagnoseChunks(report).map((c) => c.length)).toEqual([60_000, 1, 2])
    expect(diagnoseChunks(report).join('')).toBe(report)
  })
})
