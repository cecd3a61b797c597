#include "fetch/commands/fetch_commands.hpp"

namespace zorvik::fetch {

void registerFetchCommands(bridge::CommandTable& table) {
  table.add(fetchLabelCommand("fetch_label"));
  table.add(fetchLabelCommand("fetch_url"));
  table.add(saveDownloadCommand());
  table.add(saveUrlDownloadCommand());
  table.add(fileExistsCommand());
  table.add(httpFetchCommand());
  table.add(httpFetchSendCommand());
  table.add(httpFetchReadBodyCommand());
  table.add(httpFetchCancelCommand("plugin:http|fetch_cancel"));
  table.add(httpFetchCancelCommand("plugin:http|fetch_cancel_body"));
}

}  // namespace zorvik::fetch
