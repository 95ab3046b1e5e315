// The server object QEL00100.rdmOpcoesDW: answers one late-bound call (method name and JSON
// arguments) with the JSON answer {"result":…,"args":[…]}. Every call opens the database read-only
// anew, so concurrent calls share nothing and a changed catalogue is served without a restart.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

class RdmOpcoesDW {
public:
    static constexpr const char* ObjectName = "QEL00100.rdmOpcoesDW";
    explicit RdmOpcoesDW(std::string dbPath) : dbPath_(std::move(dbPath)) {}

    // Known methods answer HTTP 200; an unknown one 404. Failures are answered with ok:false.
    nlohmann::json Call(const std::string& method, const nlohmann::json& args, int& status) const;

private:
    nlohmann::json getItemData(nlohmann::json args) const;
    nlohmann::json getInfo(nlohmann::json args) const;
    std::string dbPath_;
};

nlohmann::json FailedAnswer(const std::string& message, const nlohmann::json& args);
