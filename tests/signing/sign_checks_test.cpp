#include "signing/sign_checks.hpp"

#include <gtest/gtest.h>

namespace zorvik::signing {
namespace {

const char* const kRefusedAuth =
    "Отклонено: на подпись принимается только строка авторизации Честного Знака (короткая строка из букв и цифр, "
    "как в ответе /auth/key)";

TEST(SignChecks, AuthorisationString) {
  const std::pair<std::string, bool> cases[] = {
      {std::string(15, 'a'), false},
      {std::string(16, 'a'), true},
      {std::string(256, 'Z'), true},
      {std::string(257, 'Z'), false},
      {"abcdefgh-_012345", true},
      {"abcdefgh.0123456", false},
      {"abcdefgh 0123456", false},
      {"abcdefgh+0123456", false},
      {"абвгдежзийклмноп", false},  // 16 letters, but not ASCII
      {"", false},
  };
  for (const auto& [data, ok] : cases) {
    auto checked = checkAuthData(data);
    EXPECT_EQ(checked.has_value(), ok) << data;
    if (!ok) EXPECT_EQ(checked.error(), kRefusedAuth);
  }
}

TEST(SignChecks, ThumbprintAndDocumentType) {
  EXPECT_TRUE(checkThumbprint("4c57db43c04473d61ce38406f43b27452db81cf2"));
  EXPECT_TRUE(checkThumbprint("4C57DB43C04473D61CE38406F43B27452DB81CF2"));
  for (const char* bad : {"", "4c57db43c04473d61ce38406f43b27452db81cf", "4c57db43c04473d61ce38406f43b27452db81cf2 ",
                          "xc57db43c04473d61ce38406f43b27452db81cf2"})
    EXPECT_EQ(checkThumbprint(bad).error(), "Неверный отпечаток сертификата") << bad;

  EXPECT_TRUE(checkDocumentType("LK_RECEIPT"));
  EXPECT_TRUE(checkDocumentType("LP_RETURN"));
  EXPECT_EQ(checkDocumentType("lk_receipt").error(), "Отклонено: документ типа «lk_receipt» приложение не подписывает");
  EXPECT_EQ(checkDocumentType("LP_Return").error(), "Отклонено: документ типа «LP_Return» приложение не подписывает");
  EXPECT_EQ(checkDocumentType("").error(), "Отклонено: документ типа «» приложение не подписывает");
}

TEST(SignChecks, LenientBase64) {
  const Bytes hello = {'h', 'e', 'l', 'l', 'o', '!', '?'};
  EXPECT_EQ(decodeBase64("aGVsbG8hPw=="), hello);
  EXPECT_EQ(decodeBase64("aGVs\r\nbG8h\nPw"), hello);
  EXPECT_EQ(decodeBase64(" a G V s b G 8 h P w = = = "), hello);
  EXPECT_EQ(decodeBase64("aGVs=bG8hPw"), hello);  // '=' is skipped wherever it stands
  EXPECT_EQ(decodeBase64("aGVsbG8hPw\t"), std::nullopt);
  EXPECT_EQ(decodeBase64("aGVs-bG8h"), std::nullopt);
  EXPECT_EQ(decodeBase64("QQ"), (Bytes{'A'}));
  EXPECT_EQ(decodeBase64("Q"), Bytes{});  // six bits: no whole byte
  EXPECT_EQ(decodeBase64("+/+/"), (Bytes{0xFB, 0xFF, 0xBF}));
  EXPECT_EQ(decodeBase64("\n = \r"), Bytes{});

  for (std::size_t n = 0; n < 7; ++n) {
    Bytes data;
    for (std::size_t i = 0; i < n; ++i) data.push_back(static_cast<std::uint8_t>(0xF0 + i * 7));
    EXPECT_EQ(decodeBase64(encodeBase64(data)), data) << n;
  }
  EXPECT_EQ(encodeBase64({'h', 'e', 'l', 'l', 'o', '!', '?'}), "aGVsbG8hPw==");
  EXPECT_EQ(encodeBase64({0xFB, 0xFF}), "+/8=");
}

TEST(SignChecks, DocumentLimits) {
  EXPECT_EQ(decodeDocument("aGVs\tbG8=").error(), "Документ пришёл не в base64");
  EXPECT_EQ(decodeDocument("").error(), "Пустой документ — подписывать нечего");
  EXPECT_EQ(decodeDocument("==\n").error(), "Пустой документ — подписывать нечего");
  // 5,242,880 bytes are 6,990,508 Base64 characters with padding.
  const Bytes limit(kDocumentMaxBytes, 0x5A);
  auto exact = decodeDocument(encodeBase64(limit));
  ASSERT_TRUE(exact);
  EXPECT_EQ(exact->size(), 5'242'880u);
  Bytes over = limit;
  over.push_back(0x5A);
  EXPECT_EQ(decodeDocument(encodeBase64(over)).error(),
            "Документ больше 5 МБ — это не документ вывода из оборота");
}

}  // namespace
}  // namespace zorvik::signing
