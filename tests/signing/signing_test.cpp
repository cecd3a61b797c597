#include <gtest/gtest.h>

#include "signing/sign_checks.hpp"
#include "signing/text.hpp"
#include "standin_env.hpp"

namespace zorvik::signing::test {
namespace {

const char* const kRefusedAuth =
    "Отклонено: на подпись принимается только строка авторизации Честного Знака (короткая строка из букв и цифр, "
    "как в ответе /auth/key)";

class Signing : public StandInTest {
 protected:
  void TearDown() override {
    // Whatever happened, the call left no folder of its own behind.
    EXPECT_TRUE(leftSignFolders().empty());
    StandInTest::TearDown();
  }

  Result<Bytes> signAuth(const std::string& data, const std::string& thumbprint = kPerson) {
    return signed_(call("sign_auth_data", {{"data", data}, {"thumbprint", thumbprint}}));
  }
  Result<Bytes> signDoc(const std::string& base64, const std::string& type = "LK_RECEIPT",
                        const std::string& thumbprint = kOrganisation) {
    return signed_(call("sign_document", {{"documentBase64", base64}, {"documentType", type}, {"thumbprint", thumbprint}}));
  }

  // The signing runs of the log (the tool and its arguments), without listing and option runs.
  std::vector<std::vector<std::string>> signRuns() const {
    std::vector<std::vector<std::string>> found;
    for (auto& run : runs())
      if (run.size() > 2) found.push_back(run);
    return found;
  }

 private:
  static Result<Bytes> signed_(Result<Json> reply) {
    if (!reply) return fail(reply.error());
    auto text = reply->get<std::string>();
    // Standard Base64 without line breaks.
    EXPECT_EQ(text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
              std::string::npos);
    EXPECT_EQ(text.size() % 4, 0u);
    return *decodeBase64(text);
  }
};

TEST_F(Signing, AuthorisationStringsAtTheLimitsAreSignedAttached) {
  useTools({"certmgr", "cryptcp", "csptest"});
  for (std::size_t length : {16, 256}) {
    std::string data;
    for (std::size_t i = 0; i < length; ++i) data.push_back("aZ09-_"[i % 6]);
    auto der = signAuth(data);
    ASSERT_TRUE(der) << der.error();
    EXPECT_NE(std::search(der->begin(), der->end(), data.begin(), data.end()), der->end());
    auto content = verifySignature(*der, tmp.path());
    ASSERT_TRUE(content) << content.error();
    EXPECT_EQ(*content, data);
  }
  // cryptcp was chosen; its command line ends with the thumbprint and the data file.
  auto sign = signRuns();
  ASSERT_EQ(sign.size(), 2u);
  const auto& args = sign[0];
  ASSERT_EQ(args.size(), 9u);
  EXPECT_EQ(std::vector<std::string>(args.begin(), args.end() - 1),
            (std::vector<std::string>{"cryptcp", "-sign", "-attached", "-cert", "-der", "-strict", "-thumbprint",
                                      kPerson}));
  const fs::path data = args.back();
  EXPECT_EQ(data.filename(), "auth.bin");
  EXPECT_EQ(data.parent_path().parent_path(), temp);
  EXPECT_TRUE(data.parent_path().filename().string().starts_with(
      "zorvik-sign-" + std::to_string(platform::currentProcessId()) + "-"));
}

TEST_F(Signing, DocumentOfTheLargestSizeIsSignedDetached) {
  useTools({"certmgr", "cryptcp"});
  Bytes document(kDocumentMaxBytes);
  for (std::size_t i = 0; i < document.size(); ++i) document[i] = static_cast<std::uint8_t>(i * 131 + (i >> 12));
  const std::string upper = toUpper(kOrganisation);
  auto der = signDoc(encodeBase64(document), "LP_RETURN", upper);
  ASSERT_TRUE(der) << der.error();
  const auto content = tmp.path() / "document";
  writeText(content, std::string_view(reinterpret_cast<const char*>(document.data()), document.size()));
  auto verified = verifySignature(*der, tmp.path(), content);
  ASSERT_TRUE(verified) << verified.error();
  EXPECT_LT(der->size(), 4096u);  // detached: the document is not inside
  ASSERT_EQ(signRuns().size(), 1u);
  EXPECT_EQ(signRuns()[0][2], "-detached");
  EXPECT_EQ(signRuns()[0][7], upper);  // the thumbprint as given
}

TEST_F(Signing, RefusedRequestsStartNoTool) {
  useTools({"certmgr", "cryptcp"});
  const std::string thumb = kPerson;
  const std::string doc = "PGRvYy8+";  // "<doc/>"
  struct Case {
    const char* command;
    Json args;
    std::string error;
  };
  const Case cases[] = {
      {"sign_auth_data", {{"data", std::string(15, 'a')}, {"thumbprint", thumb}}, kRefusedAuth},
      {"sign_auth_data", {{"data", std::string(257, 'a')}, {"thumbprint", thumb}}, kRefusedAuth},
      {"sign_auth_data", {{"data", "abcdefgh.abcdefgh"}, {"thumbprint", thumb}}, kRefusedAuth},
      {"sign_auth_data", {{"data", "abcdefgh.abcdefgh"}, {"thumbprint", "nope"}}, kRefusedAuth},
      {"sign_auth_data", {{"data", std::string(16, 'a')}, {"thumbprint", thumb + "0"}}, "Неверный отпечаток сертификата"},
      {"sign_document", {{"documentBase64", doc}, {"documentType", "LK_Receipt"}, {"thumbprint", "x"}},
       "Отклонено: документ типа «LK_Receipt» приложение не подписывает"},
      {"sign_document", {{"documentBase64", "\t"}, {"documentType", "LP_RETURN"}, {"thumbprint", "x"}},
       "Неверный отпечаток сертификата"},
      {"sign_document", {{"documentBase64", doc + "\t"}, {"documentType", "LP_RETURN"}, {"thumbprint", thumb}},
       "Документ пришёл не в base64"},
      {"sign_document", {{"documentBase64", "\r\n=="}, {"documentType", "LP_RETURN"}, {"thumbprint", thumb}},
       "Пустой документ — подписывать нечего"},
      {"sign_document",
       {{"documentBase64", encodeBase64(Bytes(kDocumentMaxBytes + 1))}, {"documentType", "LP_RETURN"}, {"thumbprint", thumb}},
       "Документ больше 5 МБ — это не документ вывода из оборота"},
  };
  for (const auto& c : cases) {
    auto reply = call(c.command, c.args);
    ASSERT_FALSE(reply) << c.error;
    EXPECT_EQ(reply.error(), c.error);
  }
  EXPECT_FALSE(fs::exists(runLogFile));
  // The bridge refuses a missing argument before anything runs.
  EXPECT_FALSE(call("sign_auth_data", {{"data", std::string(16, 'a')}}));
}

TEST_F(Signing, Base64WithBreaksBlanksAndPaddingSignsTheSameDocument) {
  useTools({"certmgr", "cryptcp"});
  const std::string text = "<document id=\"1\">withdrawal</document>";
  const auto plain = encodeBase64(Bytes(text.begin(), text.end()));
  std::string spread;
  for (std::size_t i = 0; i < plain.size(); ++i) spread += plain.substr(i, 1) + (i % 7 == 0 ? "\r\n" : i % 5 == 0 ? " " : "");
  spread += "==";
  const auto content = tmp.path() / "document";
  writeText(content, text);
  for (const auto& base64 : {plain, spread}) {
    auto der = signDoc(base64);
    ASSERT_TRUE(der) << der.error();
    EXPECT_TRUE(verifySignature(*der, tmp.path(), content)) << base64;
  }
}

TEST_F(Signing, NoSigner) {
  useTools({"certmgr"});
  EXPECT_EQ(signAuth(std::string(16, 'a')).error(),
            "КриптоПро не найден: нечем подписывать. Укажите каталог установки в настройках");
  EXPECT_EQ(signDoc("PGRvYy8+").error(),
            "КриптоПро не найден: нечем подписывать. Укажите каталог установки в настройках");
}

TEST_F(Signing, CsptestGetsTheOptionsItsTextShows) {
  useTools({"certmgr", "csptest"});
  struct Case {
    const char* usage;
    std::vector<std::string> head;  // before -in
    std::vector<std::string> who;   // after the -out file
  };
  const Case cases[] = {
      {"full", {"-sfsign", "-sign", "-detached", "-add"}, {"-thumbprint", kOrganisation}},
      {"my-thumbprint", {"-sfsign", "-sign", "-detached", "-add"}, {"-my", kOrganisation}},
      {"name", {"-sfsign", "-sign", "-detached", "-add"}, {"-my", "Иванов Иван Иванович"}},
      {"none", {"-sfsign", "-sign", "-detached", "-add"}, {"-my", "Иванов Иван Иванович"}},
  };
  const std::string text = "<document/>";
  const auto content = tmp.path() / "document";
  writeText(content, text);
  for (const auto& c : cases) {
    testing::ScopedEnv usage("ZORVIK_STANDIN_USAGE", c.usage);
    resetCsptestOptions();
    fs::remove(runLogFile);
    // Twice: the option text is read once.
    for (int i = 0; i < 2; ++i) {
      auto der = signDoc(encodeBase64(Bytes(text.begin(), text.end())));
      ASSERT_TRUE(der) << c.usage << ": " << der.error();
      EXPECT_TRUE(verifySignature(*der, tmp.path(), content)) << c.usage;
    }
    auto all = runs();
    ASSERT_EQ(all.size(), 5u) << c.usage;
    EXPECT_EQ(all[0], (std::vector<std::string>{"certmgr", "-list"}));
    EXPECT_EQ(all[1], (std::vector<std::string>{"csptest", "-sfsign"}));
    auto args = all[2];
    ASSERT_EQ(args.size(), 1 + c.head.size() + 4 + c.who.size()) << c.usage;
    EXPECT_EQ(args[0], "csptest");
    EXPECT_EQ(std::vector<std::string>(args.begin() + 1, args.begin() + 1 + c.head.size()), c.head) << c.usage;
    auto io = args.begin() + 1 + c.head.size();
    EXPECT_EQ(io[0], "-in");
    EXPECT_EQ(fs::path(io[1]).filename(), "auth.bin");
    EXPECT_EQ(io[2], "-out");
    EXPECT_EQ(fs::path(io[3]), fs::path(io[1]).parent_path() / "auth.sig");
    EXPECT_EQ(std::vector<std::string>(io + 4, args.end()), c.who) << c.usage;
    EXPECT_EQ(all[3], (std::vector<std::string>{"certmgr", "-list"}));
  }
  // Attached mode never asks for a detached signature.
  fs::remove(runLogFile);
  auto der = signAuth(std::string(20, 'q'), kOrganisation);
  ASSERT_TRUE(der) << der.error();
  EXPECT_EQ(*verifySignature(*der, tmp.path()), std::string(20, 'q'));
  EXPECT_EQ(std::ranges::count(runs().back(), "-detached"), 0);
}

TEST_F(Signing, CsptestNeedsTheCertificateInTheList) {
  useTools({"certmgr", "csptest"});
  EXPECT_EQ(signAuth(std::string(16, 'a'), std::string(40, 'a')).error(),
            "Сертификат с таким отпечатком не найден в хранилище");
  testing::ScopedEnv failing("ZORVIK_STANDIN_FAIL", "certmgr");
  EXPECT_EQ(signAuth(std::string(16, 'a'), kPerson).error(), "Сертификат с таким отпечатком не найден в хранилище");
  for (const auto& run : runs()) EXPECT_EQ(run[0], "certmgr");
}

TEST_F(Signing, SignatureUnderAnotherSignatureName) {
  useTools({"certmgr", "cryptcp"});
  testing::ScopedEnv name("ZORVIK_STANDIN_SIG_NAME", "auth.bin.p7s");
  auto der = signAuth(std::string(32, 'k'));
  ASSERT_TRUE(der) << der.error();
  EXPECT_EQ(*verifySignature(*der, tmp.path()), std::string(32, 'k'));
}

TEST_F(Signing, ShapeFindingsRefuseTheSignature) {
  useTools({"certmgr", "cryptcp"});
  {
    testing::ScopedEnv noCerts("ZORVIK_STANDIN_NOCERTS", "1");
    EXPECT_EQ(signAuth(std::string(16, 'a')).error(),
              "Подпись создана без сертификата подписанта — Честный Знак по такой не узнает участника и документ "
              "отклонит. Обновите приложение; если не помогло, пришлите в поддержку справку по КриптоПро из настроек.");
  }
  {
    testing::ScopedEnv detached("ZORVIK_STANDIN_FORCE", "detached");
    EXPECT_EQ(signAuth(std::string(16, 'a')).error(),
              "Подпись авторизации получилась без данных внутри, а Честный Знак ждёт их в подписи. Обновите "
              "приложение; если не помогло, пришлите в поддержку справку по КриптоПро из настроек.");
  }
  {
    testing::ScopedEnv attached("ZORVIK_STANDIN_FORCE", "attached");
    EXPECT_EQ(signDoc("PGRvYy8+").error(),
              "Подпись получилась присоединённой (документ внутри подписи), а Честный Знак ждёт документ и подпись "
              "отдельно. Обновите приложение; если не помогло, пришлите в поддержку справку по КриптоПро из "
              "настроек.");
  }
}

TEST_F(Signing, ToolFailuresGiveTheirReason) {
  useTools({"certmgr", "cryptcp"});
  // A certificate without a key, in every language and code page.
  for (const char* lang : {"en", "ru"})
    for (const char* charset : {"utf-8", "cp866", "cp1251"}) {
      testing::ScopedEnv l("ZORVIK_STANDIN_LANG", lang);
      testing::ScopedEnv c("ZORVIK_STANDIN_CHARSET", charset);
      EXPECT_EQ(signAuth(std::string(16, 'a'), kNoKey).error(),
                "Подпись не создана. Сертификат с таким отпечатком не найден или у него нет закрытого ключа.")
          << lang << " " << charset;
    }
  testing::ScopedEnv failing("ZORVIK_STANDIN_FAIL", "cryptcp");
  EXPECT_EQ(signAuth(std::string(16, 'a')).error(), "Подпись не создана. cryptcp не сообщил причину");
  struct Case {
    const char* printed;
    const char* error;
  };
  const Case cases[] = {
      {"Введите пароль контейнера", "Подпись не создана. Контейнер закрыт паролем — снимите пароль или задайте его в настройках."},
      {"Error building certificate chain",
       "Подпись не создана. Не проверяется цепочка сертификатов: нет корневого сертификата или нет доступа к списку "
       "отозванных."},
      {"Ошибка 0x80090010\nДоступ запрещён.\n", "Подпись не создана. Доступ запрещён."},
  };
  // The console code page; a CP1251 text without the listing's words would read as CP866.
  testing::ScopedEnv charset("ZORVIK_STANDIN_CHARSET", "cp866");
  for (const auto& c : cases) {
    testing::ScopedEnv text("ZORVIK_STANDIN_FAIL_TEXT", c.printed);
    EXPECT_EQ(signAuth(std::string(16, 'a')).error(), c.error);
  }
}

TEST_F(Signing, ToolThatCannotStart) {
  fs::create_directories(tools);
  placeStandIn(tools, "certmgr");
  writeText(tools / "cryptcp", "#!/bin/sh\n");  // not executable
  setFolderOverride(tools);
  EXPECT_EQ(signAuth(std::string(16, 'a')).error(), "Не удалось запустить cryptcp: Permission denied");
}

TEST_F(Signing, FolderCannotBeCreated) {
  useTools({"certmgr", "cryptcp"});
  writeText(tmp.path() / "not-a-folder", "");
  testing::ScopedEnv badTemp("TMPDIR", (tmp.path() / "not-a-folder").string());
  auto error = signAuth(std::string(16, 'a')).error();
  EXPECT_TRUE(error.starts_with("Не удалось создать временную папку: ")) << error;
  EXPECT_FALSE(fs::exists(runLogFile));
}

// Takes the whole time limit of a tool run (20 s).
TEST_F(Signing, HangingToolIsEndedAfterTheTimeLimit) {
  useTools({"certmgr", "cryptcp"});
  testing::ScopedEnv hang("ZORVIK_STANDIN_HANG", "cryptcp");
  EXPECT_EQ(signAuth(std::string(16, 'a')).error(),
            "КриптоПро не ответил за 20 секунд. Обычно это пароль на контейнере или недоступный носитель с ключом.");
  ASSERT_EQ(runs().size(), 1u);
  EXPECT_EQ(runs()[0][0], "cryptcp");
}

}  // namespace
}  // namespace zorvik::signing::test
