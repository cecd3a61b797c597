#include "signing/sign_checks.hpp"

#include <algorithm>

#include "signing/certificates.hpp"

namespace zorvik::signing {

namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool isAuthChar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '_';
}

}  // namespace

Status checkAuthData(std::string_view data) {
  // Every allowed character is one byte, so the byte count is the character count.
  if (data.size() < kAuthDataMin || data.size() > kAuthDataMax || !std::all_of(data.begin(), data.end(), isAuthChar))
    return fail(
        "Отклонено: на подпись принимается только строка авторизации Честного Знака (короткая строка из букв и "
        "цифр, как в ответе /auth/key)");
  return {};
}

Status checkThumbprint(std::string_view thumbprint) {
  if (!isThumbprint(thumbprint)) return fail("Неверный отпечаток сертификата");
  return {};
}

Status checkDocumentType(std::string_view type) {
  if (type != "LK_RECEIPT" && type != "LP_RETURN")
    return fail("Отклонено: документ типа «" + std::string(type) + "» приложение не подписывает");
  return {};
}

Result<Bytes> decodeDocument(std::string_view base64) {
  auto bytes = decodeBase64(base64);
  if (!bytes) return fail("Документ пришёл не в base64");
  if (bytes->empty()) return fail("Пустой документ — подписывать нечего");
  if (bytes->size() > kDocumentMaxBytes)
    return fail("Документ больше " + std::to_string(kDocumentMaxBytes / (1024 * 1024)) +
                " МБ — это не документ вывода из оборота");
  return std::move(*bytes);
}

std::optional<Bytes> decodeBase64(std::string_view text) {
  Bytes bytes;
  bytes.reserve(text.size() / 4 * 3 + 3);
  std::uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    if (c == '\n' || c == '\r' || c == ' ' || c == '=') continue;
    int v = base64Value(c);
    if (v < 0) return std::nullopt;
    bits = (bits << 6) | static_cast<std::uint32_t>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      bytes.push_back(static_cast<std::uint8_t>(bits >> count));
      bits &= (1u << count) - 1;
    }
  }
  return bytes;
}

std::string encodeBase64(const Bytes& bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    std::uint32_t v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    for (int shift : {18, 12, 6, 0}) out.push_back(kAlphabet[(v >> shift) & 0x3F]);
  }
  if (std::size_t rest = bytes.size() - i; rest > 0) {
    std::uint32_t v = bytes[i] << 16;
    if (rest == 2) v |= bytes[i + 1] << 8;
    out.push_back(kAlphabet[(v >> 18) & 0x3F]);
    out.push_back(kAlphabet[(v >> 12) & 0x3F]);
    out.push_back(rest == 2 ? kAlphabet[(v >> 6) & 0x3F] : '=');
    out.push_back('=');
  }
  return out;
}

}  // namespace zorvik::signing
