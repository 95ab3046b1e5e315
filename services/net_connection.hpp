// TNetConnection: the connection to an application-server object (ServerName) on Host:Port. Opening
// raises OnBeforeConnect first (where the screen sets host and port). With ThrowException off a failed
// open leaves the connection closed and remembers why; a later call tries to open it again and raises
// that reason if it still cannot. Calls are late-bound, by method name: the arguments go by position
// and the server returns the by-reference ones, which replace the caller's. A server that asks for a
// login gets one (the host's LoginService gives the password), and the call is made again once.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "toolkit/component.hpp"
#include "data/variant.hpp"

class ENetError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The operator cancelled a call that was waiting for the server.
class ECallCancelled : public ENetError {
public:
    using ENetError::ENetError;
};

class TNetConnection : public TComponent {
public:
    explicit TNetConnection(TComponent* owner);
    ~TNetConnection() override;

    std::string Host = "localhost";
    int Port = 211;
    std::string ServerName;
    bool ThrowException = true;
    TNotifyEvent OnBeforeConnect;

    bool Connected() const { return connected_; }
    void SetConnected(bool c);
    // Late-bound call of a method of the server object; `args` are replaced by the returned ones.
    Variant Call(const std::string& method, std::vector<Variant>& args);

private:
    void open(bool raise);
    // One call as it goes over the wire; false, with the server's message, when the server asks for
    // a login first (HTTP 401).
    bool send(const std::string& method, std::vector<Variant>& args, Variant& result, std::string& refusal);
    bool connected_ = false;
    std::string lastError_;
};
