// @vitest-environment node
// The stand-in's side of signing: a request goes to the desktop's connection, the answer is matched by its id
// and the CMS signature is checked with OpenSSL against the certificate asked for. The "desktop" here signs
// with openssl and the certificates of the stand-in signing tools, as those tools do.
import { execFileSync } from 'node:child_process'
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs'
import { tmpdir } from 'node:os'
import { join } from 'node:path'
import { afterAll, describe, expect, it } from 'vitest'
import { createBackend, demoSigner, requestSignature, useSignatureVerifier, type SignOutcome, type SignRequest } from '../ui/demo/index'
import type { Payload } from '../ui/core/envelope'
import { verifyWithOpenssl } from './cmsVerify.mjs'

const STORE = join(__dirname, '../tests/fixtures/signing/store/certs')
const ORG = join(STORE, '01-organisation')
const PERSON = join(STORE, '02-person')
const work = mkdtempSync(join(tmpdir(), 'zorvik-sign-test-'))
afterAll(() => rmSync(work, { recursive: true, force: true }))

const thumbprintOf = (dir: string) =>
  execFileSync('openssl', ['x509', '-in', join(dir, 'cert.pem'), '-noout', '-fingerprint', '-sha1'], { encoding: 'utf8' })
    .trim()
    .replace(/^.*=/, '')
    .replaceAll(':', '')
    .toLowerCase()

/** A CMS SignedData over `content` made by openssl, as the stand-in cryptcp makes it. */
function cmsSign(content: Buffer, certDir: string, attached: boolean): string {
  const input = join(work, 'in.bin')
  const output = join(work, 'out.der')
  writeFileSync(input, content)
  const args = ['cms', '-sign', '-binary', '-md', 'sha256', '-in', input, '-signer', join(certDir, 'cert.pem'), '-inkey', join(certDir, 'key.pem'), '-outform', 'DER', '-out', output]
  if (attached) args.push('-nodetach')
  execFileSync('openssl', args)
  return readFileSync(output).toString('base64')
}

/** A desktop connected to a fresh backend; `answer` decides its signResult for each request. */
function desktop(answer: (push: { c: string; p: Payload }) => Payload, reported = [thumbprintOf(ORG), thumbprintOf(PERSON)]) {
  const backend = createBackend({ sign: demoSigner })
  useSignatureVerifier(backend, verifyWithOpenssl)
  const identity = { kind: 'device', token: 't', userId: 'u', accountId: 'a', sessionId: 's', demo: false } as const
  const conn = backend.attach(identity, (c, p) => {
    queueMicrotask(() => backend.handle(conn, 'signResult', { requestId: p.requestId, ...answer({ c, p }) }))
  })
  backend.handle(conn, 'reportCertificates', { certificates: reported.map((thumbprint) => ({ thumbprint })) })
  return (request: SignRequest): Promise<SignOutcome> => requestSignature(backend, conn, request).outcome
}

const AUTH: SignRequest = { kind: 'auth', data: 'zv-0123456789abcdef', thumbprint: thumbprintOf(ORG) }
const DOC = Buffer.from('{"action":"LK_RECEIPT"}')
const DOCUMENT: SignRequest = { kind: 'document', documentBase64: DOC.toString('base64'), documentType: 'LK_RECEIPT', thumbprint: thumbprintOf(ORG) }

// Each case runs openssl three or four times: slow when the machine is busy.
describe('the stand-in checks the returned signature with OpenSSL', { timeout: 30_000 }, () => {
  it.each<[string, SignRequest, (p: Payload) => Payload, Partial<SignOutcome>]>([
    ['an attached signature of the string by the asked certificate', AUTH, (p) => ({ signature: cmsSign(Buffer.from(String(p.data)), ORG, true) }), { status: 'verified' }],
    ['a detached signature of the document', DOCUMENT, () => ({ signature: cmsSign(DOC, ORG, false) }), { status: 'verified' }],
    ['another string signed', AUTH, () => ({ signature: cmsSign(Buffer.from('zv-other-string-000'), ORG, true) }), { status: 'invalid', error: 'подписано не то, что отправлено' }],
    ['another document signed', DOCUMENT, () => ({ signature: cmsSign(Buffer.from('{}'), ORG, false) }), { status: 'invalid' }],
    ['signed by another certificate', AUTH, (p) => ({ signature: cmsSign(Buffer.from(String(p.data)), PERSON, true) }), { status: 'invalid', error: `подписано другим сертификатом: ${thumbprintOf(PERSON)}` }],
    ['a detached signature for the string', AUTH, (p) => ({ signature: cmsSign(Buffer.from(String(p.data)), ORG, false) }), { status: 'invalid' }],
    ['not a signature at all', AUTH, () => ({ signature: 'bm90IGEgc2lnbmF0dXJl' }), { status: 'invalid' }],
    ['the desktop refused', AUTH, () => ({ error: 'Владелец сертификата не разрешил подписывать — разрешение отозвано или не выдано' }), { status: 'refused', error: 'Владелец сертификата не разрешил подписывать — разрешение отозвано или не выдано' }],
  ])('%s', async (_name, request, answer, expected) => {
    const sign = desktop(({ p }) => answer(p))
    const outcome = await sign(request)
    expect(outcome).toMatchObject({ kind: request.kind, thumbprint: request.thumbprint, ...expected })
  })

  it('a certificate the desktop never reported is not taken', async () => {
    const sign = desktop(({ p }) => ({ signature: cmsSign(Buffer.from(String(p.data)), ORG, true) }), [thumbprintOf(PERSON)])
    expect(await sign(AUTH)).toMatchObject({ status: 'invalid', error: 'сертификат подписи не из тех, о которых сообщил компьютер' })
  })

  it('pushes the request with its id, the string and the thumbprint', async () => {
    const pushes: Array<{ c: string; p: Payload }> = []
    const sign = desktop((push) => {
      pushes.push(push)
      return { error: 'нет' }
    })
    const outcome = await sign(AUTH)
    expect(pushes).toEqual([{ c: 'signAuthData.push', p: { requestId: outcome.requestId, data: AUTH.data, thumbprint: AUTH.thumbprint } }])
  })
})

describe('the Chestny ZNAK token of the stand-in', { timeout: 30_000 }, () => {
  /** A signed-in desktop whose agent answers every signature request with `answer`; answers its requests' replies. */
  function signedInDesktop(answer: (p: Payload) => Payload) {
    const backend = createBackend({ sign: demoSigner })
    useSignatureVerifier(backend, verifyWithOpenssl)
    const identity = backend.authenticate(backend.openSession('u-anna').token)
    if ('error' in identity) throw new Error(identity.error)
    const replies: Array<{ c: string; p: Payload }> = []
    const conn = backend.attach(identity, (c, p) => {
      if (c === 'signAuthData.push') queueMicrotask(() => backend.handle(conn, 'signResult', { requestId: p.requestId, ...answer(p) }))
      else replies.push({ c, p })
    })
    backend.handle(conn, 'reportCertificates', { certificates: [{ thumbprint: thumbprintOf(ORG) }] })
    const ask = (c: string, p: Payload = {}) => backend.handle(conn, c, p)[0]?.p
    const waitFor = async (c: string) => {
      await expect.poll(() => replies.some((r) => r.c === c), { timeout: 20_000 }).toBe(true)
      return replies.find((r) => r.c === c)!.p
    }
    return { ask, waitFor }
  }

  it('issues the token only after the signature was verified, and a contour switch drops it', async () => {
    const d = signedInDesktop((p) => ({ signature: cmsSign(Buffer.from(String(p.data)), ORG, true) }))
    expect(d.ask('czTokenStatus')).toMatchObject({ hasToken: false, stand: 'prod', thumbprint: null })
    expect(d.ask('czAuthCheck', { thumbprint: thumbprintOf(ORG).toUpperCase(), inn: '7701234567' })).toBeUndefined()
    expect(await d.waitFor('czAuthCheck.result')).toMatchObject({ ok: true, inn: '7701234567' })
    expect(d.ask('czTokenStatus')).toMatchObject({ hasToken: true, inn: '7701234567', thumbprint: thumbprintOf(ORG) })
    expect(d.ask('czSetStand', { stand: 'sandbox' })).toEqual({ ok: true, stand: 'sandbox' })
    expect(d.ask('czTokenStatus')).toMatchObject({ hasToken: false, stand: 'sandbox' })
  })

  it.each<[string, (p: Payload) => Payload, Payload]>([
    ['the desktop refused', () => ({ error: 'Сертификат для Честного Знака не выбран в настройках приложения' }), { ok: false, stage: 'sign', error: 'Сертификат для Честного Знака не выбран в настройках приложения' }],
    ['another certificate signed', (p) => ({ signature: cmsSign(Buffer.from(String(p.data)), PERSON, true) }), { ok: false, stage: 'signIn' }],
  ])('no token when %s', async (_name, answer, result) => {
    const d = signedInDesktop(answer)
    d.ask('czAuthCheck', { thumbprint: thumbprintOf(ORG), inn: '7701234567' })
    expect(await d.waitFor('czAuthCheck.result')).toMatchObject(result)
    expect(d.ask('czTokenStatus')).toMatchObject({ hasToken: false })
  })

  it('keeps the account\'s marking options and warns about a certificate this computer never reported', () => {
    const d = signedInDesktop(() => ({ error: 'нет' }))
    expect(d.ask('czSettingsSave', { thumbprint: thumbprintOf(ORG), inn: '7701234567', writeOff: true, checkMarks: false })).toEqual({ ok: true })
    expect(d.ask('czSettingsGet')).toEqual({ settings: { writeOff: true, checkMarks: false }, organizationInn: '7701234567', selected: { thumbprint: thumbprintOf(ORG) } })
    expect(d.ask('czSettingsSave', { thumbprint: thumbprintOf(PERSON), inn: '', writeOff: true, checkMarks: true })).toMatchObject({ warning: 'этот компьютер не сообщал о таком сертификате' })
  })
})
