// Small helpers shared by the service and its control endpoint.

/**
 * @param {import("node:http").Server} server
 * @param {number} port
 * @param {string} host
 */
export function listen(server, port, host) {
  return new Promise((resolve, reject) => {
    server.once('error', reject)
    server.listen(port, host, () => {
      server.off('error', reject)
      resolve(undefined)
    })
  })
}

/**
 * @param {import("node:http").ServerResponse} res
 * @param {number} status
 * @param {unknown} body
 */
export function sendJson(res, status, body) {
  res.writeHead(status, { 'Content-Type': 'application/json; charset=utf-8' })
  res.end(JSON.stringify(body))
}

/**
 * The whole request body; refused with `tooBig` past `limit` bytes.
 * @param {import("node:http").IncomingMessage} req
 * @param {number} limit
 * @param {string} tooBig
 */
export async function readBody(req, limit, tooBig) {
  const chunks = []
  let size = 0
  for await (const chunk of req) {
    size += chunk.length
    if (size > limit) throw new Error(tooBig)
    chunks.push(chunk)
  }
  return Buffer.concat(chunks)
}

/**
 * A multipart form body read by Node's own fetch implementation.
 * @param {Buffer} body
 * @param {import("node:http").IncomingMessage} req
 */
export function readForm(body, req) {
  return new Response(body, { headers: { 'content-type': String(req.headers['content-type'] ?? '') } }).formData()
}

/**
 * A file for download under its own name.
 * @param {import("node:http").ServerResponse} res
 * @param {string} fileName
 * @param {string} contentType
 * @param {Uint8Array} bytes
 */
export function sendFile(res, fileName, contentType, bytes) {
  res.writeHead(200, {
    'Content-Type': contentType,
    'Content-Length': bytes.length,
    'Content-Disposition': `attachment; filename*=UTF-8''${encodeURIComponent(fileName)}`,
    'Cache-Control': 'no-store',
  })
  res.end(bytes)
}
