# The umessage JSON reader's fuzz target, included by fuzz/CMakeLists.txt
# after vx_add_fuzzer is defined: json_fuzz.cpp, replaying corpus/json/
# (seeds and crash regressions). Dictionary for libFuzzer: json.dict.
vx_add_fuzzer(json_fuzz json)
