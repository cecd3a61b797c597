#include "signing/der_shape.hpp"

#include <algorithm>
#include <array>

namespace zorvik::signing {

namespace {

// 1.2.840.113549.1.7.2
constexpr std::array<std::uint8_t, 9> kSignedDataOid = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};

constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kSet = 0x31;
constexpr std::uint8_t kInteger = 0x02;
constexpr std::uint8_t kOid = 0x06;
constexpr std::uint8_t kContext0 = 0xA0;

const char* const kNoCertificate =
    "Подпись создана без сертификата подписанта — Честный Знак по такой не узнает участника и документ отклонит. "
    "Обновите приложение; если не помогло, пришлите в поддержку справку по КриптоПро из настроек.";
const char* const kAttachedWithoutContent =
    "Подпись авторизации получилась без данных внутри, а Честный Знак ждёт их в подписи. Обновите приложение; если "
    "не помогло, пришлите в поддержку справку по КриптоПро из настроек.";
const char* const kDetachedWithContent =
    "Подпись получилась присоединённой (документ внутри подписи), а Честный Знак ждёт документ и подпись отдельно. "
    "Обновите приложение; если не помогло, пришлите в поддержку справку по КриптоПро из настроек.";

// Reads the element at `pos` if it carries `tag`.
std::optional<DerElement> expect(std::span<const std::uint8_t> data, std::size_t pos, std::size_t limit,
                                 std::uint8_t tag) {
  auto e = readDerElement(data, pos, limit);
  if (!e || e->tag != tag) return std::nullopt;
  return e;
}

bool isNonEmptyContext0(const std::optional<DerElement>& e) {
  return e && e->tag == kContext0 && e->contentLength > 0;
}

}  // namespace

std::optional<DerElement> readDerElement(std::span<const std::uint8_t> data, std::size_t pos, std::size_t limit) {
  limit = std::min(limit, data.size());
  if (pos >= limit) return std::nullopt;
  DerElement e;
  e.tag = data[pos++];
  if ((e.tag & 0x1F) == 0x1F) return std::nullopt;
  if (pos >= limit) return std::nullopt;
  std::uint8_t first = data[pos++];
  std::size_t length = 0;
  if (first < 0x80) {
    length = first;
  } else {
    std::size_t count = first & 0x7F;
    if (count < 1 || count > 4 || limit - pos < count) return std::nullopt;
    for (std::size_t i = 0; i < count; ++i) length = (length << 8) | data[pos++];
  }
  if (length > limit - pos) return std::nullopt;
  e.contentStart = pos;
  e.contentLength = length;
  return e;
}

std::optional<SignatureShape> readSignatureShape(std::span<const std::uint8_t> der) {
  auto outer = expect(der, 0, der.size(), kSequence);
  if (!outer) return std::nullopt;
  auto type = expect(der, outer->contentStart, outer->end(), kOid);
  if (!type || !std::equal(der.begin() + type->contentStart, der.begin() + type->end(), kSignedDataOid.begin(),
                           kSignedDataOid.end()))
    return std::nullopt;
  auto explicit0 = expect(der, type->end(), outer->end(), kContext0);
  if (!explicit0) return std::nullopt;
  auto signedData = expect(der, explicit0->contentStart, explicit0->end(), kSequence);
  if (!signedData) return std::nullopt;
  auto version = expect(der, signedData->contentStart, signedData->end(), kInteger);
  if (!version) return std::nullopt;
  auto digests = expect(der, version->end(), signedData->end(), kSet);
  if (!digests) return std::nullopt;
  auto encapsulated = expect(der, digests->end(), signedData->end(), kSequence);
  if (!encapsulated) return std::nullopt;
  auto contentType = expect(der, encapsulated->contentStart, encapsulated->end(), kOid);
  if (!contentType) return std::nullopt;

  SignatureShape shape;
  shape.contentAttached = isNonEmptyContext0(readDerElement(der, contentType->end(), encapsulated->end()));
  shape.hasCertificates = isNonEmptyContext0(readDerElement(der, encapsulated->end(), signedData->end()));
  return shape;
}

std::optional<std::string> signatureFinding(std::span<const std::uint8_t> der, SignMode mode) {
  auto shape = readSignatureShape(der);
  if (!shape) return std::nullopt;
  if (!shape->hasCertificates) return kNoCertificate;
  if (mode == SignMode::Attached && !shape->contentAttached) return kAttachedWithoutContent;
  if (mode == SignMode::Detached && shape->contentAttached) return kDetachedWithContent;
  return std::nullopt;
}

}  // namespace zorvik::signing
