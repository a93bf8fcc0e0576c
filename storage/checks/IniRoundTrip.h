#pragma once

#include <string>
#include <string_view>

// The fuzzed property of the INI document, shared by the fuzz target and the corpus replay test:
// load `bytes` from a file in `dir`, read every key of every section, save, load again; the
// second load must give back exactly what was saved, and every hashed lookup must agree with a
// plain scan for the last match. The profile reader gets the same bytes and must find a value it
// has just written. Returns the empty string, or a description of the first broken promise.
std::string CheckIniRoundTrip(std::string_view bytes, const std::string& dir);
