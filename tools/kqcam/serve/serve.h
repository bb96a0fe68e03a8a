// kqcam --serve: a web server with live view, capture, settings and the
// pictures taken, for a browser (the page ships inside kqcam) or any HTTP
// client (the API is described in the README).
#ifndef KQCAM_SERVE_H
#define KQCAM_SERVE_H

#include <string>

#include "session.h"

namespace kqcam {

// The numeric address a listen host stands for, as it is bound ("localhost"
// gives "127.0.0.1"), and whether only this machine can reach it
// (127.0.0.0/8, ::1, or an IPv4 loopback address mapped to IPv6); false
// when it cannot be resolved.
bool ResolveListenHost(const std::string& host, std::string* numeric, bool* loopback);

// Serves until interrupted (Ctrl-C), then stops live view and returns.
// Throws a Failure when the address cannot be listened on.
void RunServe(Session& session, const std::string& address);

// The page, as served at "/".
const char* ServePage();

}  // namespace kqcam

#endif  // KQCAM_SERVE_H
