#pragma once

#include <chrono>
#include <functional>
#include <string>

// Runs `body` in a forked child and returns what it reported: the empty string when all went
// well, otherwise a description of the fault (also when the child died, or when it had not
// finished within `limit`, after which it is killed). With `asNobody` a root child gives up root
// first (to the user "nobody" and its group), so permission checks apply to it; a child that is
// not root has them already.
std::string InChild(const std::function<std::string()>& body, bool asNobody = false,
                    std::chrono::seconds limit = std::chrono::seconds(60));
