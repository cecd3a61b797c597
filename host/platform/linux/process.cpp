#include "platform/process.hpp"
