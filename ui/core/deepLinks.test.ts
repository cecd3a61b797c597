import { describe, expect, it } from 'vitest'
import { deepLinkActions, deepLinkPayloadUrls } from './deepLinks'

describe('deepLinkActions', () => {
  it.each([
    ['tsd-auth://pin/1234', [{ kind: 'pin', pin: '1234' }]],
    ['tsd-auth://pin/', []],
    ['tsd-auth://PIN/77', [{ kind: 'pin', pin: '77' }]],
    ['zorvik://pin/1234', []],
    ['zorvik://tour/picking', [{ kind: 'tour', name: 'picking' }]],
    ['tsd-auth://tour/%D0%BF%D0%BE%D0%B4%D0%B1%D0%BE%D1%80', [{ kind: 'tour', name: 'подбор' }]],
    ['zorvik://tour/', []],
    ['zorvik://tour/%E0%A4%A', []],
    ['tsd-auth://login/1234', []],
    ['https://pin/1234', []],
    ['not a url', []],
  ])('%s', (url, actions) => {
    expect(deepLinkActions(url)).toEqual(actions)
  })

  it('takes only strings from the event payload', () => {
    expect(deepLinkPayloadUrls(['a', 1, null, 'b'])).toEqual(['a', 'b'])
    expect(deepLinkPayloadUrls('a')).toEqual([])
  })
})
