#include "LocalCopyTime.h"

#include <ctime>

CLocalCopyTime& CLocalCopyTime::Instance() {
  static CLocalCopyTime instance;
  return instance;
}

std::int64_t CLocalCopyTime::Now() noexcept { return static_cast<std::int64_t>(std::time(nullptr)); }
