#include <gtest/gtest.h>

#include "signing/certificates.hpp"

namespace zorvik::signing {
namespace {

constexpr const char* kThumb = "4C57DB43C04473D61CE38406F43B27452DB81CF2";
constexpr const char* kThumbLower = "4c57db43c04473d61ce38406f43b27452db81cf2";

TEST(Listing, ReadsBlocksInEitherLanguage) {
  const std::string english =
      "Certificate manager 5.0\n"
      "1-------\n"
      "Issuer            : CN=Test CA\n"
      "Subject           : CN=Иванов, INNLE=7701234567\n"
      "Serial            : 0x2A01\n"
      "SHA1 Hash         : 4C57DB43C04473D61CE38406F43B27452DB81CF2\n"
      "Not valid before  : 10.12.2026 12:33:28 UTC\n"
      "Not valid after   : 16.11.2126 12:33:28 UTC\n"
      "PrivateKey Link   : Yes\n"
      "2-------\n"
      "  Subject : CN=Без ключа  \r\n"
      "SHA1 Hash : 0547a69da102f5ef75a9b12122d024731554c627\n"
      "NOT VALID AFTER : 01.01.2030\n"
      "=========\n";
  const std::string russian =
      "Менеджер сертификатов 5.0\n"
      "1-------\n"
      "Издатель            : CN=Test CA\n"
      "Субъект             : CN=Иванов, INNLE=7701234567\n"
      "Серийный номер      : 0x2A01\n"
      "SHA1 отпечаток      : 4C57DB43C04473D61CE38406F43B27452DB81CF2\n"
      "Выдан               : 10.12.2026 12:33:28 UTC\n"
      "Истекает            : 16.11.2126 12:33:28 UTC\n"
      "Ссылка на закрытому ключу : Есть\n"
      "2-------\n"
      "Субъект : CN=Без ключа\n"
      "Отпечаток : 0547a69da102f5ef75a9b12122d024731554c627\n"
      "Действителен до : 01.01.2030\n";
  auto en = parseListing(english);
  ASSERT_EQ(en.size(), 2u);
  EXPECT_EQ(en[0].thumbprint, kThumbLower);
  EXPECT_EQ(en[0].subject, "CN=Иванов, INNLE=7701234567");
  EXPECT_EQ(en[0].issuer, "CN=Test CA");
  EXPECT_EQ(en[0].validFrom, "10.12.2026 12:33:28 UTC");
  EXPECT_EQ(en[0].validTo, "16.11.2126 12:33:28 UTC");
  EXPECT_EQ(en[0].innLe, "7701234567");
  EXPECT_EQ(en[0].inn, "7701234567");
  EXPECT_TRUE(en[0].hasPrivateKey);
  EXPECT_EQ(en[1].subject, "CN=Без ключа");
  EXPECT_EQ(en[1].issuer, "");
  EXPECT_EQ(en[1].validFrom, std::nullopt);
  EXPECT_EQ(en[1].validTo, "01.01.2030");
  EXPECT_FALSE(en[1].hasPrivateKey);
  EXPECT_EQ(parseListing(russian), en);
}

TEST(Listing, BlockHeadersAndThumbprints) {
  // Banner lines before the first header are not read, even with a thumbprint.
  EXPECT_TRUE(parseListing(std::string("Hash : ") + kThumb + "\n").empty());
  // A block without a thumbprint is dropped, the others kept.
  auto kept = parseListing(std::string("1---\nSubject : CN=A\n2---\nx : ") + kThumb + "\n");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].subject, "");
  // Not headers: no digits, no dashes right after them, too few dashes.
  for (const char* notHeader : {"---", "1 ---", "1--", "a1---", "12-"}) {
    auto certs = parseListing(std::string("1---\nSubject : CN=A\nHash : ") + kThumb + "\n" + notHeader +
                              "\nSubject : CN=B\n");
    ASSERT_EQ(certs.size(), 1u) << notHeader;
    EXPECT_EQ(certs[0].subject, "CN=B") << notHeader;
  }
  // The first 40-hex value wins whatever its key; a later one is an ordinary line.
  auto twice = parseListing(std::string("10------\nSubject : ") + kThumb +
                            "\nSubject : 0547a69da102f5ef75a9b12122d024731554c627\n");
  ASSERT_EQ(twice.size(), 1u);
  EXPECT_EQ(twice[0].thumbprint, kThumbLower);
  EXPECT_EQ(twice[0].subject, "0547a69da102f5ef75a9b12122d024731554c627");
  // 39 or 41 digits, or a non-hex letter, are not a thumbprint.
  for (const char* value : {"4C57DB43C04473D61CE38406F43B27452DB81CF", "4C57DB43C04473D61CE38406F43B27452DB81CF2A",
                            "4C57DB43C04473D61CE38406F43B27452DB81CFG"})
    EXPECT_TRUE(parseListing(std::string("1---\nHash : ") + value + "\n").empty()) << value;
}

TEST(Listing, KeyLines) {
  struct Case {
    const char* lines;
    bool hasKey;
  };
  const Case cases[] = {
      {"", false},
      {"PrivateKey Link : No\n", false},
      {"PrivateKey Link : NO, not linked\n", false},
      {"Привязка к закрытому ключу : НЕТ\n", false},
      {"Закрытый ключ : нет\n", false},
      {"PrivateKey Link : Yes\n", true},
      {"Privatekey : есть\n", true},
      {"Container : HDIMAGE\\\\abc\n", true},
      {"Контейнер : REGISTRY\\\\x\n", true},
      {"Container : x\nPrivateKey Link : No\n", false},  // the later line replaces
      {"PrivateKey Link :\n", false},                     // an empty value is ignored
      {"Containers : x\n", false},
  };
  for (const auto& c : cases) {
    auto certs = parseListing(std::string("1---\nHash : ") + kThumb + "\n" + c.lines);
    ASSERT_EQ(certs.size(), 1u) << c.lines;
    EXPECT_EQ(certs[0].hasPrivateKey, c.hasKey) << c.lines;
  }
}

TEST(Subject, SplitsOutsideQuotesAndUnquotes) {
  using Pairs = std::vector<SubjectAttribute>;
  EXPECT_EQ(parseSubject("CN=Иванов, O=\"ООО \"\"Ромашка, Север\"\"\", C=RU"),
            (Pairs{{"CN", "Иванов"}, {"O", "ООО \"Ромашка, Север\""}, {"C", "RU"}}));
  EXPECT_EQ(parseSubject(" E = a=b , junk, =x, L=\"\""), (Pairs{{"E", "a=b"}, {"", "x"}, {"L", ""}}));
  EXPECT_EQ(parseSubject("T=\""), (Pairs{{"T", "\""}}));
  EXPECT_EQ(parseSubject(""), Pairs{});
}

TEST(Subject, InnFields) {
  struct Case {
    const char* subject;
    std::optional<std::string> le, personal, inn;
  };
  const Case cases[] = {
      {"CN=X, ИНН ЮЛ=7701234567, ИНН=007701234567", "7701234567", "007701234567", "7701234567"},
      {"CN=X, OID.1.2.643.3.131.1.1=500100732259", std::nullopt, "500100732259", "500100732259"},
      {"oid.1.2.643.100.4=7701234567, INN=1", "7701234567", "1", "7701234567"},
      {"INNLE=\"77 01-23 4567\", innle=9999999999", "7701234567", std::nullopt, "7701234567"},
      {"ИННЮЛ=ИНН 7701234567", "7701234567", std::nullopt, "7701234567"},
      {"1.2.643.100.4=нет, ИНН=abc, INN= 12 ", std::nullopt, "12", "12"},
      {"CN=X, SNILS=12345678901", std::nullopt, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    auto f = innFields(c.subject);
    EXPECT_EQ(f.innLe, c.le) << c.subject;
    EXPECT_EQ(f.innPersonal, c.personal) << c.subject;
    EXPECT_EQ(f.inn, c.inn) << c.subject;
  }
}

TEST(Listing, JsonRecord) {
  auto certs = parseListing(std::string("1---\nSubject : CN=A, INN=12\nHash : ") + kThumb + "\n");
  ASSERT_EQ(certs.size(), 1u);
  EXPECT_EQ(toJson(certs[0]), Json::parse(R"({"thumbprint":"4c57db43c04473d61ce38406f43b27452db81cf2",
      "subject":"CN=A, INN=12","issuer":"","inn":"12","innLe":null,"innPersonal":"12",
      "validFrom":null,"validTo":null,"hasPrivateKey":false})"));
}

}  // namespace
}  // namespace zorvik::signing
