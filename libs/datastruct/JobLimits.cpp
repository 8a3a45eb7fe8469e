#include "datastruct/JobLimits.h"

#include <stdexcept>

namespace job_limits {

void RefuseBeyond(std::size_t count, std::size_t limit, const char* text) {
  if (count > limit) throw std::runtime_error(text);
}

}  // namespace job_limits
