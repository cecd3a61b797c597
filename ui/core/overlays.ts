/**
 * Dialogs and banners that may show over any screen (a question the server
 * asks, say). Features add theirs when installed; the app shell draws them
 * above the routed screen.
 */
import { shallowReactive, type Component } from 'vue'

export const appOverlays: Component[] = /*#__PURE__*/ shallowReactive<Component[]>([])
