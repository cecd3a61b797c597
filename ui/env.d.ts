/// <reference types="vite/client" />

declare const __ZORVIK_TARGET__: 'desktop' | 'mobile' | 'web'
declare const __ZORVIK_VERSION__: string
declare const __ZORVIK_FLAVOUR__: 'local' | 'release'

declare module '*.vue' {
  import type { DefineComponent } from 'vue'
  const component: DefineComponent<object, object, unknown>
  export default component
}
