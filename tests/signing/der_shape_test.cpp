#include "signing/der_shape.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace zorvik::signing {
namespace {

using Der = std::vector<std::uint8_t>;

const char* const kNoCertificate =
    "Подпись создана без сертификата подписанта — Честный Знак по такой не узнает участника и документ отклонит. "
    "Обновите приложение; если не помогло, пришлите в поддержку справку по КриптоПро из настроек.";
const char* const kAttachedEmpty =
    "Подпись авторизации получилась без данных внутри, а Честный Знак ждёт их в подписи. Обновите приложение; если "
    "не помогло, пришлите в поддержку справку по КриптоПро из настроек.";
const char* const kDetachedFull =
    "Подпись получилась присоединённой (документ внутри подписи), а Честный Знак ждёт документ и подпись отдельно. "
    "Обновите приложение; если не помогло, пришлите в поддержку справку по КриптоПро из настроек.";

Der fixture(const char* name) {
  std::ifstream in(std::filesystem::path(ZORVIK_TEST_FIXTURES) / "signing" / "der" / name, std::ios::binary);
  return Der(std::istreambuf_iterator<char>(in), {});
}

// tag + short length + content
Der tlv(std::uint8_t tag, const Der& content) {
  Der out = {tag, static_cast<std::uint8_t>(content.size())};
  out.insert(out.end(), content.begin(), content.end());
  return out;
}
Der cat(std::initializer_list<Der> parts) {
  Der out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

const Der kSignedDataOid = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
const Der kDataOid = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};

// A SignedData outline with the given encapsulated content and what follows it.
Der signedData(const Der& encapsulated, const Der& after) {
  Der inner = cat({tlv(0x02, {1}), tlv(0x31, {}), encapsulated, after});
  return tlv(0x30, cat({tlv(0x06, kSignedDataOid), tlv(0xA0, tlv(0x30, inner))}));
}

TEST(DerReader, ElementBounds) {
  struct Case {
    Der bytes;
    bool ok;
    std::size_t start, length;
  };
  const Case cases[] = {
      {{0x30, 0x00}, true, 2, 0},
      {{0x04, 0x02, 'a', 'b'}, true, 2, 2},
      {{0x04, 0x03, 'a', 'b'}, false, 0, 0},           // content beyond the end
      {{0x04, 0x81, 0x01, 'a'}, true, 3, 1},           // long form, one byte
      {{0x04, 0x84, 0, 0, 0, 1, 'a'}, true, 6, 1},     // long form, four bytes
      {{0x04, 0x85, 0, 0, 0, 0, 1, 'a'}, false, 0, 0}, // five length bytes
      {{0x04, 0x80, 'a', 0, 0}, false, 0, 0},          // indefinite length
      {{0x04, 0x84, 0xFF, 0xFF, 0xFF, 0xFF}, false, 0, 0},
      {{0x04, 0x82, 0x01}, false, 0, 0},               // length bytes cut off
      {{0x1F, 0x01, 0x00}, false, 0, 0},               // high tag number form
      {{0x30}, false, 0, 0},
      {{}, false, 0, 0},
  };
  for (const auto& c : cases) {
    auto e = readDerElement(c.bytes, 0, c.bytes.size());
    ASSERT_EQ(e.has_value(), c.ok) << ::testing::PrintToString(c.bytes);
    if (e) {
      EXPECT_EQ(e->contentStart, c.start);
      EXPECT_EQ(e->contentLength, c.length);
    }
  }
  // The limit of the enclosing element counts, not the buffer's end.
  const Der two = {0x04, 0x02, 'a', 'b', 0x00};
  EXPECT_FALSE(readDerElement(two, 0, 3));
  EXPECT_TRUE(readDerElement(two, 0, 4));
}

TEST(DerShape, SignaturesMadeByOpenssl) {
  auto attached = fixture("attached.der");
  auto detached = fixture("detached.der");
  auto bare = fixture("attached-no-certificate.der");
  ASSERT_FALSE(attached.empty());
  ASSERT_FALSE(detached.empty());
  ASSERT_FALSE(bare.empty());

  EXPECT_EQ(signatureFinding(attached, SignMode::Attached), std::nullopt);
  EXPECT_EQ(signatureFinding(detached, SignMode::Detached), std::nullopt);
  EXPECT_EQ(signatureFinding(attached, SignMode::Detached), kDetachedFull);
  EXPECT_EQ(signatureFinding(detached, SignMode::Attached), kAttachedEmpty);
  // The missing certificate is reported first, in either mode.
  EXPECT_EQ(signatureFinding(bare, SignMode::Attached), kNoCertificate);
  EXPECT_EQ(signatureFinding(bare, SignMode::Detached), kNoCertificate);
}

TEST(DerShape, Outlines) {
  const Der certs = tlv(0xA0, {0x30, 0x00});
  const Der content = tlv(0xA0, tlv(0x04, {'x'}));
  struct Case {
    const char* what;
    Der der;
    std::optional<bool> attached;  // nothing: the walk did not reach the content type
    bool certificates;
  };
  const Case cases[] = {
      {"detached", signedData(tlv(0x30, tlv(0x06, kDataOid)), certs), false, true},
      {"attached", signedData(tlv(0x30, cat({tlv(0x06, kDataOid), content})), certs), true, true},
      {"empty [0] content", signedData(tlv(0x30, cat({tlv(0x06, kDataOid), tlv(0xA0, {})})), certs), false, true},
      {"nothing after the content", signedData(tlv(0x30, tlv(0x06, kDataOid)), {}), false, false},
      {"empty certificates", signedData(tlv(0x30, tlv(0x06, kDataOid)), tlv(0xA0, {})), false, false},
      {"CRLs, no certificates", signedData(tlv(0x30, tlv(0x06, kDataOid)), tlv(0xA1, {0x30, 0x00})), false, false},
      {"other OID", tlv(0x30, cat({tlv(0x06, kDataOid), tlv(0xA0, {})})), std::nullopt, false},
      {"not a sequence", Der{0x31, 0x00}, std::nullopt, false},
      {"content type missing", signedData(tlv(0x30, {}), certs), std::nullopt, false},
      {"content type not an OID", signedData(tlv(0x30, tlv(0x04, {})), certs), std::nullopt, false},
      {"garbage", Der{0xFF, 0xFF, 0xFF}, std::nullopt, false},
  };
  for (const auto& c : cases) {
    auto shape = readSignatureShape(c.der);
    ASSERT_EQ(shape.has_value(), c.attached.has_value()) << c.what;
    if (!shape) {
      EXPECT_EQ(signatureFinding(c.der, SignMode::Attached), std::nullopt) << c.what;
      EXPECT_EQ(signatureFinding(c.der, SignMode::Detached), std::nullopt) << c.what;
      continue;
    }
    EXPECT_EQ(shape->contentAttached, *c.attached) << c.what;
    EXPECT_EQ(shape->hasCertificates, c.certificates) << c.what;
  }
  // A truncated real signature: the walk fails at the outer length, no finding.
  auto attached = fixture("attached.der");
  attached.resize(attached.size() - 1);
  EXPECT_EQ(signatureFinding(attached, SignMode::Detached), std::nullopt);
}

}  // namespace
}  // namespace zorvik::signing
