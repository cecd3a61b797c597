// Every screen the app links to has a route: a link never ends on a blank page.
import { describe, expect, it } from 'vitest'
import { appFeatures } from '../features'
import { createAppRouter } from './router'

const router = createAppRouter(appFeatures().flatMap((f) => f.routes))

describe('the routes', () => {
  it.each(['/contact', '/contact?type=transfer', '/help/status-model', '/worker-auth', '/print-help', '/send-queue', '/settings?section=account', '/menu', '/documents', '/documents/d-1'])(
    '%s opens a screen',
    (path) => {
      expect(router.resolve(path).matched.length).toBeGreaterThan(0)
    },
  )
})
