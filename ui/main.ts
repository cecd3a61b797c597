import { createApp } from 'vue'
import { createPinia } from 'pinia'
import App from './App.vue'
import { router } from './core/router'
import { writeAppLog } from './core/appLog'
import { errorText, isDesktopHost } from './core/bridge'
import { afterTwoFrames } from './core/frames'
import { showOwnWindow } from './core/appWindow'
import { frameworkErrorLine, mountLine, reasonText, uncaughtErrorLine, unhandledRejectionLine } from './core/startupLog'
import './styles/base.css'
import { referenceFeature } from './reference'
// Document-change listener and the start-up clean-up of the device cache.
import './documents/boot'

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
app.use(createPinia())
referenceFeature.install()
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
