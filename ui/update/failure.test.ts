import { describe, expect, it } from 'vitest'
import { classifyUpdateError } from './failure'

describe('classifyUpdateError', () => {
  it.each([
    ['error sending request: operation timed out', 'нет сети'],
    ['Could not resolve host: DNS failure', 'нет сети'],
    ['подпись обновления не сошлась (signature verification failed)', 'подпись сборки не сошлась'],
    ['invalid Base64 in minisign key', 'подпись сборки не сошлась'],
    ['Permission denied (os error 13)', 'нет прав на запись'],
    ['Read-only file system', 'нет прав на запись'],
    ['нет сборки для linux-x86_64: platform linux-x86_64 not found in the response', 'для вашей системы обновление пока не выложено'],
    ['сервер обновлений ответил 500', 'не удалось скачать обновление'],
    // The first rule wins: a network failure while fetching the signature is the network.
    ['timeout while fetching signature', 'нет сети'],
  ])('%s → %s', (text, reason) => {
    expect(classifyUpdateError(text)).toBe(reason)
  })
})
