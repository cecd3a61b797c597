import { describe, expect, it, vi } from 'vitest'
import {
  createSavedFiles,
  fileExists,
  revealSaved,
  SAVE_URL_MISSING,
  saveDownload,
  saveUrlDownload,
  withBom,
  type DownloadDeps,
} from './downloads'

function host(answer: (cmd: string, args?: Record<string, unknown>) => Promise<unknown>) {
  const calls: Array<[string, unknown]> = []
  const warnings: unknown[][] = []
  const downloads: Array<[string, string]> = []
  const call = <T>(cmd: string, args?: Record<string, unknown>) => {
    calls.push([cmd, args])
    return answer(cmd, args) as Promise<T>
  }
  const deps: DownloadDeps = {
    invoke: call,
    invokePlugin: (service, command, args) => call(`plugin:${service}|${command}`, args),
    browserDownload: (url, name) => downloads.push([url, name]),
    warn: (...parts) => warnings.push(parts),
  }
  return { calls, warnings, downloads, deps }
}

describe('downloads', () => {
  it('sends text as UTF-8 bytes, a CSV with a byte-order mark', async () => {
    const h = host(async () => '/home/u/Downloads/шаблон-импорта.csv')
    const path = await saveDownload('шаблон-импорта.csv', withBom('а;b'), h.deps)
    expect(path).toBe('/home/u/Downloads/шаблон-импорта.csv')
    expect(h.calls).toEqual([
      ['save_download', { name: 'шаблон-импорта.csv', data: [0xef, 0xbb, 0xbf, 0xd0, 0xb0, 0x3b, 0x62] }],
    ])
    expect(withBom(withBom('x'))).toBe('\uFEFFx')
  })

  it('hands the URL to the browser when the host has no save_url_download', async () => {
    const h = host(async () => {
      throw 'Command save_url_download not found'
    })
    expect(await saveUrlDownload('http://127.0.0.1/e.csv', 'e.csv', h.deps)).toBeNull()
    expect(h.warnings).toEqual([[SAVE_URL_MISSING, 'http://127.0.0.1/e.csv']])
    expect(h.downloads).toEqual([['http://127.0.0.1/e.csv', 'e.csv']])

    const failing = host(async () => {
      throw 'Ссылка недействительна — соберите файл заново'
    })
    await expect(saveUrlDownload('http://127.0.0.1/e.csv', 'e.csv', failing.deps)).rejects.toBe(
      'Ссылка недействительна — соберите файл заново',
    )
    expect(failing.downloads).toEqual([])
  })

  it('counts a failed file_exists as missing and only logs a failed reveal', async () => {
    expect(await fileExists('/x', host(async () => true).deps)).toBe(true)
    expect(await fileExists('/x', host(async () => Promise.reject('Не нашли папку загрузок')).deps)).toBe(false)
    const h = host(async () => {
      throw 'no file manager'
    })
    await revealSaved('/d/a.csv', '[импорт] не показали шаблон в проводнике:', h.deps)
    expect(h.calls).toEqual([['plugin:opener|reveal_item_in_dir', { path: '/d/a.csv' }]])
    expect(h.warnings).toEqual([['[импорт] не показали шаблон в проводнике:', 'no file manager']])
  })

  it('reuses a file saved earlier in the run while it exists, and saves it anew when gone', async () => {
    let exists = true
    const h = host(async (cmd) => (cmd === 'file_exists' ? exists : null))
    const files = createSavedFiles(h.deps)
    const save = vi.fn(async () => `/d/report (${save.mock.calls.length}).csv`)
    expect(await files.saveOnce('report', save)).toBe('/d/report (1).csv')
    expect(await files.saveOnce('report', save)).toBe('/d/report (1).csv')
    exists = false
    expect(await files.saveOnce('report', save)).toBe('/d/report (2).csv')
    expect(save).toHaveBeenCalledTimes(2)
  })
})
