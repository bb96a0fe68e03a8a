// The web server's small HTTP pieces: JSON answers and errors, request
// bodies and property codes, secrets, and the URL of a picture.
#ifndef KQCAM_SERVE_HTTP_H
#define KQCAM_SERVE_HTTP_H

#include <cstdint>
#include <exception>
#include <string>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "errors.h"
#include "serve_camera.h"
#include "serve_state.h"

namespace kqcam {

void SendJson(httplib::Response& res, int status, const nlohmann::json& body);
// {"error", "status", "result"}: result the library's result code, or null.
void SendError(httplib::Response& res, const ApiError& error);
void SendError(httplib::Response& res, int status, const std::string& message);

// Runs a handler, turning what it throws into a JSON error.
template <typename F>
void Answer(httplib::Response& res, F handler) {
    try {
        handler();
    } catch (const ApiError& error) {
        SendError(res, error);
    } catch (const Failure& failure) {
        SendError(res, 502, failure.what());
    } catch (const std::exception& exception) {
        SendError(res, 500, exception.what());
    }
}

// The JSON body of a POST or PUT (415 unless application/json, 400 when
// malformed). An empty body counts as {} when allowed.
nlohmann::json BodyOf(const httplib::Request& req, bool emptyAllowed);

// A property code of a route, "0xD01C" or "53276" (400 otherwise).
std::uint16_t CodeOf(const std::string& text);

// 128 random bits as hex.
std::string RandomToken();
// Compares in a time that does not depend on where the texts differ.
bool SameSecret(const std::string& a, const std::string& b);

// A host as it is written in a URL: an IPv6 address in brackets.
std::string UrlHost(const std::string& host);
// A picture's route, its name percent-encoded.
std::string ShotUrl(const std::string& name);
// A picture as /api/shots lists it: name, bytes, time, url.
nlohmann::json ShotJson(const Shot& shot);

}  // namespace kqcam

#endif  // KQCAM_SERVE_HTTP_H
