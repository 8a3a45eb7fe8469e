# The flat form reader's fuzz target, included by fuzz/CMakeLists.txt after
# vx_add_fuzzer is defined: flat_fuzz.cpp, replaying corpus/flat/ (seeds and
# crash regressions). Dictionary for libFuzzer: flat.dict.
vx_add_fuzzer(flat_fuzz flat)
