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
    // The host's refusal of a bundle names its reason, whatever words the reason holds.
    ['пакет обновления отклонен: сборка подписана как версия 0.0.1, а сервер выдает ее за 99.0.0',
      'сборка подписана как версия 0.0.1, а сервер выдает ее за 99.0.0'],
    ['пакет обновления отклонен: версия 0.66.2 не новее установленной 0.66.2', 'версия 0.66.2 не новее установленной 0.66.2'],
    ['пакет обновления отклонен: в подписи сборки не указана ее версия', 'в подписи сборки не указана ее версия'],
    ['пакет обновления отклонен: запись «zorvik-1/etc» ссылается на абсолютный путь /etc (connect)',
      'запись «zorvik-1/etc» ссылается на абсолютный путь /etc (connect)'],
    ['пакет обновления отклонен: в нем нет программы zorvik.', 'в нем нет программы zorvik'],
    ['пакет обновления поврежден: truncated gzip input', 'пакет обновления поврежден'],
    [`пакет обновления отклонен: запись «${'a'.repeat(400)}» выходит за папку пакета (..)`, `запись «${'a'.repeat(151)}…`],
  ])('%s → %s', (text, reason) => {
    expect(classifyUpdateError(text)).toBe(reason)
  })
})
