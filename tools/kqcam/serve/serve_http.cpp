#include "serve_http.h"

#include <cctype>
#include <cstdio>
#include <random>

#include "errors.h"

namespace kqcam {

using nlohmann::json;

void SendJson(httplib::Response& res, int status, const json& body) {
    res.status = status;
    res.set_content(body.dump() + "\n", "application/json");
}

void SendError(httplib::Response& res, const ApiError& error) {
    json body{{"error", error.message}, {"status", error.status}};
    if (error.hasResult) {
        body["result"] = Hex(error.result, 4);
        body["result_name"] = ResultName(error.result);
    } else {
        body["result"] = nullptr;
    }
    SendJson(res, error.status, body);
}

void SendError(httplib::Response& res, int status, const std::string& message) {
    ApiError error;
    error.status = status;
    error.message = message;
    SendError(res, error);
}

// The JSON body of a POST or PUT. An empty body counts as {} when allowed.
json BodyOf(const httplib::Request& req, bool emptyAllowed) {
    const std::string type = req.get_header_value("Content-Type");
    if (type.compare(0, 16, "application/json") != 0) {
        ApiError error;
        error.status = 415;
        error.message = "the body must be JSON (Content-Type: application/json)";
        throw error;
    }
    if (req.body.empty() && emptyAllowed) return json::object();
    try {
        return json::parse(req.body);
    } catch (const json::exception& e) {
        ApiError error;
        error.status = 400;
        error.message = std::string("malformed JSON: ") + e.what();
        throw error;
    }
}

std::uint16_t CodeOf(const std::string& text) {
    std::uint64_t code = 0;
    if (!ParseUnsigned(text, &code) || code > 0xFFFF) {
        ApiError error;
        error.status = 400;
        error.message = "\"" + text + "\" is not a property code (0xD01C or 53276)";
        throw error;
    }
    return static_cast<std::uint16_t>(code);
}

std::string RandomToken() {
    std::random_device device;
    std::string token;
    for (int i = 0; i < 4; ++i) {
        char part[9];
        std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(device()));
        token += part;
    }
    return token;
}

// Compares in a time that does not depend on where the texts differ.
bool SameSecret(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

std::string UrlHost(const std::string& host) {
    return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

std::string ShotUrl(const std::string& name) {
    std::string url = "/api/shots/";
    const char hex[] = "0123456789ABCDEF";
    for (unsigned char c : name) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~' || c == '/') {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return url;
}

json ShotJson(const Shot& shot) {
    return json{{"name", shot.name}, {"bytes", shot.bytes}, {"time", shot.time}, {"url", ShotUrl(shot.name)}};
}

}  // namespace kqcam
