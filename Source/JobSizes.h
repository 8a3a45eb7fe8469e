// JobSizes: the booked sizes of a job that the document operations work
// with, in points.
#pragma once

class BJobFile;

struct JobSizes {
  double trimWidth = 0;
  double trimHeight = 0;
  double bleedWidth = 0;
  double bleedHeight = 0;
  double typeWidth = 0;
  double typeHeight = 0;

  // A job books a usable size when all six sizes are finite numbers and the
  // trim is above zero both ways. A size that is not a number, or infinite,
  // would otherwise reach the host as a document or guide of no real size.
  bool Usable() const;
};

// Runs the job's ComputeGeometry, then takes the absolute width and height of
// its trimBox, bleedBox and typeArea (an undefined type area gives zero).
JobSizes JobSizesOf(BJobFile& job);
