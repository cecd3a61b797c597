#include "update/signature.hpp"

#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <span>
#include <vector>

#include "core/utf8_path.hpp"

namespace zorvik::update {

namespace {

constexpr std::string_view kUntrusted = "untrusted comment:";
constexpr std::string_view kTrusted = "trusted comment: ";

// Lines of a small text file, "\r" dropped, empty lines left out.
std::vector<std::string_view> lines(std::string_view text) {
  std::vector<std::string_view> out;
  while (!text.empty()) {
    auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) out.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return out;
}

bool ensureSodium() {
  static const bool ready = sodium_init() >= 0;
  return ready;
}

std::string hex(std::span<const std::uint8_t> bytes) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string out;
  // The tool prints the key id as a little-endian number.
  for (auto it = bytes.rbegin(); it != bytes.rend(); ++it) {
    out += digits[*it >> 4];
    out += digits[*it & 15];
  }
  return out;
}

}  // namespace

Result<std::string> decodeBase64(std::string_view text) {
  std::string clean;
  for (char c : text)
    if (c != '\n' && c != '\r' && c != ' ' && c != '\t') clean += c;
  std::string out(clean.size() / 4 * 3 + 3, '\0');
  std::size_t length = 0;
  for (int variant : {sodium_base64_VARIANT_ORIGINAL, sodium_base64_VARIANT_ORIGINAL_NO_PADDING}) {
    if (sodium_base642bin(reinterpret_cast<unsigned char*>(out.data()), out.size(), clean.data(), clean.size(),
                          nullptr, &length, nullptr, variant) == 0) {
      out.resize(length);
      return out;
    }
  }
  return fail("invalid base64");
}

Result<PublicKey> parsePublicKey(std::string_view text) {
  std::string_view keyLine;
  for (auto line : lines(text))
    if (!line.starts_with(kUntrusted)) keyLine = line;
  auto raw = decodeBase64(keyLine);
  if (keyLine.empty() || !raw || raw->size() != 42 || raw->compare(0, 2, "Ed") != 0)
    return fail("открытый ключ обновлений не читается (minisign public key: invalid base64 or length)");
  PublicKey key;
  std::memcpy(key.keyId.data(), raw->data() + 2, 8);
  std::memcpy(key.key.data(), raw->data() + 10, 32);
  return key;
}

Result<PublicKey> parsePublicKeyBase64(std::string_view base64) {
  auto text = decodeBase64(base64);
  if (!text) return fail("открытый ключ обновлений не читается (minisign public key: invalid base64)");
  return parsePublicKey(*text);
}

Result<Signature> parseSignature(std::string_view text) {
  auto all = lines(text);
  // untrusted comment, signature, trusted comment, global signature
  if (all.size() != 4 || !all[0].starts_with(kUntrusted) || !all[2].starts_with(kTrusted))
    return fail("файл подписи обновления обрезан или поврежден (signature file: expected four lines)");
  auto raw = decodeBase64(all[1]);
  if (!raw || raw->size() != 74 || (raw->compare(0, 2, "Ed") != 0 && raw->compare(0, 2, "ED") != 0))
    return fail("подпись обновления не читается (signature: invalid base64 or length)");
  auto global = decodeBase64(all[3]);
  if (!global || global->size() != 64)
    return fail("подпись доверенного комментария не читается (signature: invalid base64 or length)");
  Signature s;
  s.prehashed = (*raw)[1] == 'D';
  std::memcpy(s.keyId.data(), raw->data() + 2, 8);
  std::memcpy(s.signature.data(), raw->data() + 10, 64);
  s.trustedComment = std::string(all[2].substr(kTrusted.size()));
  std::memcpy(s.globalSignature.data(), global->data(), 64);
  return s;
}

Result<Signature> parseSignatureBase64(std::string_view base64) {
  auto text = decodeBase64(base64);
  if (!text) return fail("подпись обновления не читается (signature: invalid base64)");
  return parseSignature(*text);
}

Status verifyFile(const std::filesystem::path& path, const Signature& signature, const PublicKey& key) {
  if (!ensureSodium()) return fail("проверка подписи недоступна: libsodium не запустился");
  if (signature.keyId != key.keyId)
    return fail("обновление подписано другим ключом (signature key id " + hex(signature.keyId) + ", ожидался " +
                hex(key.keyId) + ")");
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail("не удалось открыть скачанное обновление для проверки подписи: " + utf8Text(path));
  std::vector<unsigned char> whole;
  std::array<unsigned char, crypto_generichash_BYTES_MAX> hash{};
  crypto_generichash_state state;
  crypto_generichash_init(&state, nullptr, 0, hash.size());
  std::vector<char> buffer(1 << 16);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    auto got = static_cast<std::size_t>(in.gcount());
    if (got == 0) break;
    auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
    if (signature.prehashed)
      crypto_generichash_update(&state, bytes, got);
    else
      whole.insert(whole.end(), bytes, bytes + got);
  }
  if (in.bad()) return fail("не удалось прочитать скачанное обновление для проверки подписи: " + utf8Text(path));
  int bad = 0;
  if (signature.prehashed) {
    crypto_generichash_final(&state, hash.data(), hash.size());
    bad = crypto_sign_verify_detached(signature.signature.data(), hash.data(), hash.size(), key.key.data());
  } else {
    bad = crypto_sign_verify_detached(signature.signature.data(), whole.data(), whole.size(), key.key.data());
  }
  if (bad != 0) return fail("подпись обновления не сошлась (signature verification failed): файл изменен или поврежден");
  // The trusted comment is signed together with the signature itself.
  std::vector<unsigned char> global(signature.signature.begin(), signature.signature.end());
  global.insert(global.end(), signature.trustedComment.begin(), signature.trustedComment.end());
  if (crypto_sign_verify_detached(signature.globalSignature.data(), global.data(), global.size(), key.key.data()) != 0)
    return fail("подпись доверенного комментария обновления не сошлась (signature verification failed)");
  return {};
}

}  // namespace zorvik::update
