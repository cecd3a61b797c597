/** Version texts of the app: comparison and the version file's first line. */

/**
 * Compares two versions: everything from the first "-" is dropped, the rest is
 * split at "." and each part read as a whole number (anything else counts as
 * 0), missing parts as 0. Negative when `a` is older, 0 when the same.
 */
export function compareVersions(a: string, b: string): number {
  const parts = (v: string) =>
    (v.replace(/^v/, '').split('-')[0] ?? '').split('.').map((p) => (/^\d+$/.test(p) ? Number(p) : 0))
  const pa = parts(a)
  const pb = parts(b)
  for (let i = 0; i < Math.max(pa.length, pb.length); i++) {
    const d = (pa[i] ?? 0) - (pb[i] ?? 0)
    if (d !== 0) return Math.sign(d)
  }
  return 0
}

export function isNewerVersion(remote: string, current: string): boolean {
  return compareVersions(remote, current) > 0
}

/** The version a version file names on its first line ("v" dropped), or null when the line is not one. */
export function parseVersionFile(body: string): string | null {
  const first = body.split(/\r?\n/, 1)[0]?.trim() ?? ''
  const m = /^v?(\d+(?:\.\d+)*)$/.exec(first)
  return m?.[1] ?? null
}
