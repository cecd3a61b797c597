// The process's one updater, over the compiled-in configuration.
#pragma once

#include "update/updater.hpp"

namespace zorvik::app {
struct Config;
}

namespace zorvik::update {

// Built on first use and kept until the process ends. Any thread.
Updater& processUpdater(const app::Config& config);

}  // namespace zorvik::update
