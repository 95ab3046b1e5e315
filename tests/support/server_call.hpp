// One call of the server object over HTTP/JSON from a test, as a client library would make it: the
// answer parsed, the HTTP status when asked for. Raises std::runtime_error when no answer comes.
#pragma once

#include <httplib.h>

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

inline nlohmann::json CallServer(const std::string& address, const std::string& method, const nlohmann::json& args,
                                 int* status = nullptr, int timeoutSeconds = 60) {
    auto colon = address.rfind(':');
    httplib::Client c(address.substr(0, colon), std::stoi(address.substr(colon + 1)));
    c.set_read_timeout(timeoutSeconds, 0);
    auto res = c.Post("/QEL00100.rdmOpcoesDW/" + method, nlohmann::json{{"args", args}}.dump(), "application/json");
    if (!res) throw std::runtime_error("no answer: " + httplib::to_string(res.error()));
    if (status) *status = res->status;
    return nlohmann::json::parse(res->body);
}
