#include "JobSizes.h"

#include <cmath>

#include "datastruct/BJobFile.h"

bool JobSizes::Usable() const {
  const double all[] = {trimWidth, trimHeight, bleedWidth, bleedHeight, typeWidth, typeHeight};
  for (double size : all)
    if (!std::isfinite(size)) return false;
  return trimWidth > 0 && trimHeight > 0;
}

JobSizes JobSizesOf(BJobFile& job) {
  job.ComputeGeometry();
  JobSizes sizes;
  sizes.trimWidth = std::fabs(job.trimBox().width());
  sizes.trimHeight = std::fabs(job.trimBox().height());
  sizes.bleedWidth = std::fabs(job.bleedBox().width());
  sizes.bleedHeight = std::fabs(job.bleedBox().height());
  sizes.typeWidth = std::fabs(job.typeArea().width());
  sizes.typeHeight = std::fabs(job.typeArea().height());
  return sizes;
}
