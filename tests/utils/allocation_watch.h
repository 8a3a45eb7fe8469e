// Allocation watch for tests: the largest single allocation made through
// operator new while a function runs. Linking allocation_watch.cpp replaces
// the global operator new and delete of the test executable.
#pragma once

#include <cstddef>
#include <functional>

// Runs `run` and returns the size of the largest allocation it made.
std::size_t largest_allocation_during(const std::function<void()>& run);
