// instance_claimer <identifier> hold|forward [args...]
// Claims the single instance. "hold": stays the first instance, writing each
// launch it receives as a line "launch <args joined by |>" to standard output,
// until killed. "forward": prints "forwarded" or "primary" and ends.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/single_instance.hpp"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  zorvik::platform::Launch launch;
  for (int i = 3; i < argc; ++i) launch.args.emplace_back(argv[i]);
  launch.cwd = "C:\\";
  auto claim = zorvik::platform::claimInstance(argv[1], launch);
  if (!claim) {
    std::printf("error %s\n", claim.error().c_str());
    return 1;
  }
  std::printf("%s\n", claim->forwarded ? "forwarded" : "primary");
  std::fflush(stdout);
  if (std::string(argv[2]) != "hold" || !claim->primary) return 0;
  claim->primary->listen([](zorvik::platform::Launch l) {
    std::string line = "launch";
    for (std::size_t i = 0; i < l.args.size(); ++i) line += (i ? "|" : " ") + l.args[i];
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  });
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
  return 0;
}
