// A module the process tests load.
extern "C" __attribute__((visibility("default"))) int vx_link_module_answer() { return 42; }
