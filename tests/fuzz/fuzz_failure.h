// How a fuzz target reports a broken property: the message, then an abort,
// which libFuzzer records as a finding together with the input.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

[[noreturn]] inline void fail(const std::string& what) {
    std::fprintf(stderr, "property broken: %s\n", what.c_str());
    std::abort();
}
