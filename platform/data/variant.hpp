// Variant: the values that travel in late-bound server calls: nothing (null), a flag, a whole number,
// a text, a data packet, or a server result (success with a payload, or failure with the server's
// message). Packets are shared, never copied, between copies of a variant: a packet is not changed
// once it is in a variant.
#pragma once

#include <memory>
#include <string>
#include <variant>

#include "packet.hpp"

struct ServerResult;

class Variant {
public:
    Variant() = default;
    Variant(bool b) : v_(b) {}
    Variant(int i) : v_(static_cast<long long>(i)) {}
    Variant(long long i) : v_(i) {}
    Variant(const char* s) : v_(std::string(s)) {}
    Variant(std::string s) : v_(std::move(s)) {}
    Variant(DataPacket p) : v_(std::make_shared<const DataPacket>(std::move(p))) {}
    Variant(std::shared_ptr<const ServerResult> r) : v_(std::move(r)) {}

    bool IsNull() const { return std::holds_alternative<std::monostate>(v_); }
    bool IsBool() const { return std::holds_alternative<bool>(v_); }
    bool IsInt() const { return std::holds_alternative<long long>(v_); }
    bool IsString() const { return std::holds_alternative<std::string>(v_); }
    bool IsPacket() const { return std::holds_alternative<std::shared_ptr<const DataPacket>>(v_); }
    bool IsResult() const { return std::holds_alternative<std::shared_ptr<const ServerResult>>(v_); }

    bool AsBool() const { return std::get<bool>(v_); }
    long long AsInt() const { return std::get<long long>(v_); }
    const std::string& AsString() const { return std::get<std::string>(v_); }
    const DataPacket& AsPacket() const { return *std::get<std::shared_ptr<const DataPacket>>(v_); }
    const std::shared_ptr<const DataPacket>& SharedPacket() const { return std::get<std::shared_ptr<const DataPacket>>(v_); }
    const ServerResult& AsResult() const { return *std::get<std::shared_ptr<const ServerResult>>(v_); }

private:
    std::variant<std::monostate, bool, long long, std::string, std::shared_ptr<const DataPacket>, std::shared_ptr<const ServerResult>> v_;
};

struct ServerResult {
    bool ok = true;
    std::string error;  // the server's message when not ok
    Variant data;       // the payload when ok
};
