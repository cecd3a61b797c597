// Owners of libcurl handles, and the one-time library start.
#pragma once

#include <curl/curl.h>

#include <memory>
#include <string>
#include <string_view>

namespace zorvik::fetch {

struct EasyCleanup {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct UrlCleanup {
  void operator()(CURLU* h) const { curl_url_cleanup(h); }
};
struct SlistCleanup {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
struct ShareCleanup {
  void operator()(CURLSH* h) const { curl_share_cleanup(h); }
};
struct CurlFree {
  void operator()(char* p) const { curl_free(p); }
};

using CurlEasy = std::unique_ptr<CURL, EasyCleanup>;
using CurlUrl = std::unique_ptr<CURLU, UrlCleanup>;
using CurlSlist = std::unique_ptr<curl_slist, SlistCleanup>;
using CurlShare = std::unique_ptr<CURLSH, ShareCleanup>;
using CurlString = std::unique_ptr<char, CurlFree>;

// Starts libcurl once per process; any thread.
void ensureCurl();

// Appends one line to a list, keeping ownership in `list`. False when out of memory.
[[nodiscard]] bool slistAppend(CurlSlist& list, const std::string& line);

// Describes a failed transfer as a chain, most general first:
// libcurl's text for the code, its detail for this transfer, the OS error.
[[nodiscard]] std::string curlErrorChain(CURL* handle, CURLcode code, const char* detail);

}  // namespace zorvik::fetch
