#include "fetch/curl_handles.hpp"

#include <mutex>
#include <vector>

#include "core/system_error.hpp"
#include "fetch/text.hpp"

namespace zorvik::fetch {

void ensureCurl() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool slistAppend(CurlSlist& list, const std::string& line) {
  curl_slist* grown = curl_slist_append(list.get(), line.c_str());
  if (!grown) return false;
  (void)list.release();
  list.reset(grown);
  return true;
}

std::string curlErrorChain(CURL* handle, CURLcode code, const char* detail) {
  std::vector<std::string> chain{curl_easy_strerror(code)};
  if (detail && *detail) {
    std::string d(detail);
    while (!d.empty() && (d.back() == '\n' || d.back() == '\r')) d.pop_back();
    if (!d.empty() && d != chain.back()) chain.push_back(std::move(d));
  }
  long osErrno = 0;
  if (handle && curl_easy_getinfo(handle, CURLINFO_OS_ERRNO, &osErrno) == CURLE_OK && osErrno != 0)
    chain.push_back(errnoText(static_cast<int>(osErrno)));
  return joined(chain, kChainSeparator);
}

}  // namespace zorvik::fetch
