import { describe, expect, it } from 'vitest'
import { pickHelpOs } from './helpOs'

describe('the help page picks the system from the user agent', () => {
  it.each([
    ['Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 Edg/120.0', 'windows'],
    ['Mozilla/5.0 (Macintosh; Intel Mac OS X 14_2) AppleWebKit/605.1.15', 'macos'],
    ['Mozilla/5.0 (iPhone; CPU iPhone OS 17_0 like Mac OS X)', 'macos'],
    ['Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/605.1.15 (KHTML, like Gecko)', 'linux'],
    ['', 'linux'],
  ] as const)('%s → %s', (ua, os) => {
    expect(pickHelpOs(ua)).toBe(os)
  })
})
