import { createApp } from 'vue'
import { createPinia } from 'pinia'
import App from './App.vue'
import { writeAppLog } from './core/appLog'
import { errorText, isDesktopHost } from './core/bridge'
import { MENU_TILES } from './core/feature'
import { afterTwoFrames } from './core/frames'
import { showOwnWindow } from './core/appWindow'
import { createAppRouter } from './core/router'
import { frameworkErrorLine, mountLine, reasonText, uncaughtErrorLine, unhandledRejectionLine } from './core/startupLog'
import { appFeatures } from './features'
import './styles/base.css'

window.addEventListener('error', (event) => {
  writeAppLog(uncaughtErrorLine(event.message || reasonText(event.error)))
})
window.addEventListener('unhandledrejection', (event) => {
  writeAppLog(unhandledRejectionLine(event.reason))
})

const app = createApp(App)
app.config.errorHandler = (err, _instance, info) => {
  console.error(err)
  writeAppLog(frameworkErrorLine(info, errorText(err)))
}
const pinia = createPinia()
app.use(pinia)
const features = appFeatures()
const router = createAppRouter(features.flatMap((f) => f.routes))
app.provide(MENU_TILES, features.flatMap((f) => f.tiles))
// After Pinia: what the features start (the durable send queue among them) works in the stores.
for (const feature of features) feature.install({ app, pinia, router })
app.use(router)
app.mount('#app')
writeAppLog(mountLine(performance.now()))
document.getElementById('splash')?.remove()

// Two frames after mounting, the page shows its own (hidden) window. The host
// shows it after 3 s anyway if this never happens.
if (isDesktopHost() && !window.__ZORVIK_NO_PAGE_SHOW__) {
  try {
    // Imported with the entry: a separate chunk would cost a fetch before the window shows.
    afterTwoFrames(() => {
      showOwnWindow().catch((err) => writeAppLog(`main: не удалось показать окно: ${errorText(err)}`))
    })
  } catch (err) {
    writeAppLog(`main: ошибка при показе окна: ${errorText(err)}`)
  }
}
