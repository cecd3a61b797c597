#include <gtest/gtest.h>

#include "signing/certificates.hpp"
#include "signing/crypto_status.hpp"
#include "signing/tool_run.hpp"
#include "standin_env.hpp"

namespace zorvik::signing::test {
namespace {

using CertificateList = StandInTest;

TEST_F(CertificateList, ReadsTheStoreInEitherLanguageAndCodePage) {
  useTools({"certmgr"});
  auto english = call("list_certificates");
  ASSERT_TRUE(english) << english.error();
  ASSERT_EQ(english->size(), 3u);
  const Json& org = (*english)[0];
  EXPECT_EQ(org["thumbprint"], kOrganisation);
  EXPECT_EQ(org["subject"],
            "CN=Иванов Иван Иванович, O=\"ООО \"\"Ромашка, Север\"\"\", OID.1.2.643.100.4=7701234567, "
            "INN=007701234567, C=RU");
  EXPECT_EQ(org["issuer"], "CN=Зорвик тестовый УЦ, O=Zorvik tests, C=RU");
  EXPECT_EQ(org["innLe"], "7701234567");
  EXPECT_EQ(org["innPersonal"], "007701234567");
  EXPECT_EQ(org["inn"], "7701234567");
  EXPECT_EQ(org["hasPrivateKey"], true);
  EXPECT_EQ(org["validFrom"], "01.01.2020 00:00:00 UTC");
  EXPECT_EQ(org["validTo"], "01.01.2120 00:00:00 UTC");

  const Json& person = (*english)[1];
  EXPECT_EQ(person["thumbprint"], kPerson);
  EXPECT_EQ(person["innLe"], nullptr);
  EXPECT_EQ(person["inn"], "500100732259");
  EXPECT_EQ(person["hasPrivateKey"], true);
  const Json& noKey = (*english)[2];
  EXPECT_EQ(noKey["thumbprint"], kNoKey);
  EXPECT_EQ(noKey["inn"], nullptr);
  EXPECT_EQ(noKey["hasPrivateKey"], false);

  testing::ScopedEnv russian("ZORVIK_STANDIN_LANG", "ru");
  for (const char* charset : {"cp866", "cp1251", "utf-8"}) {
    testing::ScopedEnv cs("ZORVIK_STANDIN_CHARSET", charset);
    EXPECT_EQ(*call("list_certificates"), *english) << charset;
  }
}

TEST_F(CertificateList, EmptyStoreAndFailures) {
  useTools({"certmgr"});
  testing::ScopedEnv store("ZORVIK_STANDIN_STORE", (tmp.path() / "empty-store").string());
  EXPECT_EQ(*call("list_certificates"), Json::array());

  testing::ScopedEnv failing("ZORVIK_STANDIN_FAIL", "certmgr");
  EXPECT_EQ(call("list_certificates").error(), "certmgr вернул ошибку: сертификаты не найдены");
  {
    testing::ScopedEnv text("ZORVIK_STANDIN_FAIL_TEXT", "  Хранилище недоступно  ");
    testing::ScopedEnv charset("ZORVIK_STANDIN_CHARSET", "cp866");
    EXPECT_EQ(call("list_certificates").error(), "certmgr вернул ошибку: Хранилище недоступно");
  }
  // Exit code 0 with no block is an empty store, whatever stderr says.
  testing::ScopedEnv code("ZORVIK_STANDIN_FAIL_CODE", "0");
  testing::ScopedEnv text("ZORVIK_STANDIN_FAIL_TEXT", "warning");
  EXPECT_EQ(*call("list_certificates"), Json::array());
}

TEST_F(CertificateList, MissingOrBrokenTool) {
  EXPECT_EQ(call("list_certificates").error(), "КриптоПро не найден: нет утилиты certmgr");
  fs::create_directories(tools);
  writeText(tools / "certmgr", "#!/bin/sh\n");  // not executable
  setFolderOverride(tools);
  EXPECT_EQ(call("list_certificates").error(), "Не удалось запустить certmgr: Permission denied");
}

// A certmgr that never answers (waiting for a key carrier) is ended after the
// tools' time limit: the list fails with the time-out text and the status
// answers without a version. A shorter limit than the commands' 20 s keeps
// the test quick; the commands use the default.
TEST_F(CertificateList, AHangingCertmgrIsEndedAfterTheTimeLimit) {
  useTools({"certmgr", "cryptcp"});
  testing::ScopedEnv hang("ZORVIK_STANDIN_HANG", "certmgr");
  const auto limit = std::chrono::seconds(1);
  auto listed = listCertificates(limit);
  ASSERT_FALSE(listed);
  EXPECT_EQ(listed.error(), timeoutMessage(1));
  auto status = cryptoStatus(limit);
  EXPECT_TRUE(status.available);
  EXPECT_FALSE(status.version);
  // Both runs happened, each in a private folder that is gone now.
  EXPECT_EQ(runs().size(), 2u);
  for (const auto& e : fs::directory_iterator(temp))
    EXPECT_FALSE(e.path().filename().string().starts_with("zorvik-tool-")) << e.path();
}

}  // namespace
}  // namespace zorvik::signing::test
