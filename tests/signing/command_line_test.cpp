#include <gtest/gtest.h>

#include <fstream>

#include "signing/signer.hpp"
#include "test_env.hpp"

namespace zorvik::signing {
namespace {

using Args = std::vector<std::string>;
namespace fs = std::filesystem;

constexpr const char* kThumb = "4C57DB43C04473D61CE38406F43B27452DB81CF2";

TEST(CommandLine, Cryptcp) {
  const fs::path data = "/tmp/zorvik-sign-1-2/auth.bin";
  EXPECT_EQ(cryptcpArgs(SignMode::Attached, kThumb, data),
            (Args{"-sign", "-attached", "-cert", "-der", "-strict", "-thumbprint", kThumb, data.string()}));
  EXPECT_EQ(cryptcpArgs(SignMode::Detached, kThumb, data),
            (Args{"-sign", "-detached", "-cert", "-der", "-strict", "-thumbprint", kThumb, data.string()}));
}

TEST(CommandLine, CsptestFollowsItsOptionText) {
  const fs::path in = "/f/auth.bin", out = "/f/auth.sig";
  const Args io = {"-in", in.string(), "-out", out.string()};
  auto line = [&](Args head, Args tail) {
    head.insert(head.end(), io.begin(), io.end());
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
  };
  struct Case {
    const char* options;
    SignMode mode;
    Args expected;
  };
  const Case cases[] = {
      // Nothing known about the options: all of them, and the holder name.
      {"", SignMode::Detached, line({"-sfsign", "-sign", "-detached", "-add"}, {"-my", "Иванов"})},
      {"", SignMode::Attached, line({"-sfsign", "-sign", "-add"}, {"-my", "Иванов"})},
      {"-detached -add -thumbprint <sha1>", SignMode::Detached,
       line({"-sfsign", "-sign", "-detached", "-add"}, {"-thumbprint", kThumb})},
      {"-detached -add -thumbprint <sha1>", SignMode::Attached,
       line({"-sfsign", "-sign", "-add"}, {"-thumbprint", kThumb})},
      {"-my <name or thumbprint>", SignMode::Detached, line({"-sfsign", "-sign"}, {"-my", kThumb})},
      {"-my <name> -add", SignMode::Detached, line({"-sfsign", "-sign", "-add"}, {"-my", "Иванов"})},
  };
  for (const auto& c : cases)
    EXPECT_EQ(csptestArgs(c.mode, c.options, kThumb, "Иванов", in, out), c.expected) << c.options;
}

TEST(CommandLine, HolderName) {
  auto holder = [](const char* subject) {
    Certificate c;
    c.subject = subject;
    return holderName(c);
  };
  EXPECT_EQ(holder("O=\"Ромашка, Север\", cn = Иванов Иван , C=RU"), "Иванов Иван");
  EXPECT_EQ(holder("CN=\"  \", O=X"), "CN=\"  \", O=X");
  EXPECT_EQ(holder("O=X, C=RU"), "O=X, C=RU");
}

TEST(FailureReason, FromWhatTheToolPrinted) {
  const std::pair<const char*, const char*> cases[] = {
      {"Error\n[ErrorCode: 0x8009200B]", "Сертификат с таким отпечатком не найден или у него нет закрытого ключа."},
      {"CANNOT FIND object", "Сертификат с таким отпечатком не найден или у него нет закрытого ключа."},
      {"Ключ НЕ НАЙДЕН\nпароль", "Сертификат с таким отпечатком не найден или у него нет закрытого ключа."},
      {"Wrong PASSWORD", "Контейнер закрыт паролем — снимите пароль или задайте его в настройках."},
      {"\nВведите ПАРОЛЬ", "Контейнер закрыт паролем — снимите пароль или задайте его в настройках."},
      {"bad PIN code\nchain", "Контейнер закрыт паролем — снимите пароль или задайте его в настройках."},
      {"Certificate CHAIN is not valid",
       "Не проверяется цепочка сертификатов: нет корневого сертификата или нет доступа к списку отозванных."},
      {"Ошибка построения цепочки",
       "Не проверяется цепочка сертификатов: нет корневого сертификата или нет доступа к списку отозванных."},
      {"first\n  Ошибка: 0x80090010  \n \n\t", "Ошибка: 0x80090010"},
      {"\n \n", "cryptcp не сообщил причину"},
  };
  for (const auto& [printed, reason] : cases) EXPECT_EQ(failureReason(printed), reason) << printed;
}

TEST(SignatureFile, ExpectedFileOrAnAuthBinWithASignatureExtension) {
  testing::TempDir dir;
  auto touch = [&](const char* name) { std::ofstream(dir.path() / name) << "x"; };
  const auto expected = dir.path() / "auth.bin.sig";
  EXPECT_EQ(findSignatureFile(dir.path(), expected), std::nullopt);
  touch("auth.bin");
  touch("auth.bin.txt");
  touch("other.p7s");
  touch("auth.sig");
  EXPECT_EQ(findSignatureFile(dir.path(), expected), std::nullopt);
  touch("auth.bin.P7S");
  EXPECT_EQ(findSignatureFile(dir.path(), expected), dir.path() / "auth.bin.P7S");
  touch("auth.bin.sig");
  EXPECT_EQ(findSignatureFile(dir.path(), expected), expected);
  EXPECT_EQ(findSignatureFile(dir.path() / "gone", dir.path() / "gone" / "auth.sig"), std::nullopt);
}

}  // namespace
}  // namespace zorvik::signing
