#pragma once

#include <functional>
#include <string>

// Runs `body` in a forked child and returns what it reported: the empty string when all went
// well, otherwise a description of the fault (also when the child died). With `asNobody` a root
// child gives up root first (uid and gid 65534), so permission checks apply to it; a child that
// is not root has them already.
std::string InChild(const std::function<std::string()>& body, bool asNobody = false);
