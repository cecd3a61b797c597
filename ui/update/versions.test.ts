import { describe, expect, it } from 'vitest'
import { compareVersions, isNewerVersion, parseVersionFile } from './versions'

describe('version comparison', () => {
  it.each([
    ['0.70.0', '0.66.2', true],
    ['0.66.2-beta', '0.66.2', false],
    ['0.66.10', '0.66.2', true],
    ['0.66.2', '0.66.2', false],
    ['0.66', '0.66.2', false],
    ['0.66.2.1', '0.66.2', true],
    ['1.x', '0.99', true],
    ['0.x.9', '0.66.2', false],
  ])('%s newer than %s: %s', (remote, current, newer) => {
    expect(isNewerVersion(remote, current)).toBe(newer)
  })

  it('treats missing parts and suffixes as equal', () => {
    expect(compareVersions('0.66', '0.66.0')).toBe(0)
    expect(compareVersions('0.66.2-rc1', '0.66.2')).toBe(0)
  })
})

describe('version file', () => {
  it.each([
    ['v0.70.0\n', '0.70.0'],
    ['  0.70.0  \r\nnotes', '0.70.0'],
    ['0.66.2-beta', null],
    ['<html>', null],
    ['', null],
    ['\n0.70.0', null],
  ])('%j → %s', (body, version) => {
    expect(parseVersionFile(body)).toBe(version)
  })
})
