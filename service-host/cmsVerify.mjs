// Checks a signature the desktop returned the way the real service would have
// it checked: the CMS SignedData is verified with the openssl command (the
// signature over the content, not the certificate chain, whose root the
// stand-in does not hold), the signed content must be exactly what was sent,
// and the signer's certificate must be the one asked for.
import { execFile } from 'node:child_process'
import { mkdtemp, readFile, rm, writeFile } from 'node:fs/promises'
import { tmpdir } from 'node:os'
import { join } from 'node:path'
import { promisify } from 'node:util'

const run = promisify(execFile)

/** @param {string[]} args */
async function openssl(args) {
  try {
    return await run('openssl', args, { encoding: 'utf8', timeout: 20_000 })
  } catch (err) {
    const e = /** @type {{ stderr?: string, message: string }} */ (err)
    throw new Error((e.stderr || e.message).trim().split('\n')[0] || 'openssl failed')
  }
}

/**
 * @param {import('../ui/demo/index.ts').SignRequest} request
 * @param {string} signatureBase64
 * @returns {Promise<import('../ui/demo/index.ts').Verdict>}
 */
export async function verifyWithOpenssl(request, signatureBase64) {
  const dir = await mkdtemp(join(tmpdir(), 'zorvik-verify-'))
  try {
    const sig = join(dir, 'signature.der')
    const signer = join(dir, 'signer.pem')
    const out = join(dir, 'content.bin')
    await writeFile(sig, Buffer.from(signatureBase64, 'base64'))
    const args = ['cms', '-verify', '-inform', 'DER', '-in', sig, '-binary', '-noverify', '-signer', signer, '-out', out]
    const expected =
      request.kind === 'auth' ? Buffer.from(request.data, 'utf8') : Buffer.from(request.documentBase64, 'base64')
    if (request.kind === 'document') {
      const content = join(dir, 'document.bin')
      await writeFile(content, expected)
      args.push('-content', content)
    }
    try {
      await openssl(args)
    } catch (err) {
      return { ok: false, detail: `openssl: ${err instanceof Error ? err.message : String(err)}` }
    }
    if (!(await readFile(out)).equals(expected)) return { ok: false, detail: 'подписано не то, что отправлено' }
    const { stdout } = await openssl(['x509', '-in', signer, '-noout', '-fingerprint', '-sha1'])
    const signerThumbprint = stdout.trim().replace(/^.*=/, '').replaceAll(':', '').toLowerCase()
    return { ok: true, detail: 'openssl: подпись верна', signerThumbprint }
  } finally {
    await rm(dir, { recursive: true, force: true })
  }
}
