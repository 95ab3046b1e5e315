// The server object QEL00100.rdmOpcoesDW behind HTTP: GET /QEL00100.rdmOpcoesDW answers that the
// object is served; POST /QEL00100.rdmOpcoesDW/<method> with {"args":[…]} calls GetItemData or
// getInfo. With logins (a Sessions given), Login [operator, password] answers a session token and
// Logout ends it; every other call needs "Authorization: Bearer <token>" (else 401), and
// GetItemData's operator argument must be the session's operator. Without logins (--auth trust), a
// call's operator is the one its X-Qel-Operador header names; a call naming none sees what no
// operator's rules allow. Every failure inside a call is an ok:false answer with its cause (and a line on standard
// error naming the method); a failed call never echoes its arguments.
//
// GetItemData's answer is encoded once per catalogue version and operator argument and kept: the
// next calls get the same text (or its gzip form, for clients that accept it), with an ETag so that a
// client holding it gets 304. The version is the database's change key, so a changed catalogue is
// served at the next call; the ETag names the answer's content, so it never matches another catalogue,
// even across a restart of the server. The header X-Qel-Cache says whether an answer came from the cache.
#pragma once

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "auth.hpp"
#include "database.hpp"
#include "http_server.hpp"
#include "packet_writer.hpp"
#include "data/variant.hpp"

class RdmOpcoesDW {
public:
    static constexpr const char* ObjectName = "QEL00100.rdmOpcoesDW";
    // `sessions` (not owned): null for no logins (--auth trust).
    RdmOpcoesDW(ServerDatabase& db, AnswerLimits limits, Sessions* sessions = nullptr, size_t cacheBytes = size_t{96} << 20);

    HttpResponse Handle(const HttpRequest& request, const std::atomic<bool>& cancelled);

private:
    struct CachedAnswer {
        std::string version, etag;
        std::shared_ptr<const std::string> plain;
        std::once_flag zipped;
        std::shared_ptr<const std::string> gzip;
    };

    // `session`: the operator of the call's session, or nullopt without logins.
    HttpResponse getItemData(const HttpRequest& request, const std::vector<Variant>& args, const std::atomic<bool>& cancelled);
    HttpResponse getInfo(const std::vector<Variant>& args, const std::atomic<bool>& cancelled, const std::optional<std::string>& session);
    HttpResponse login(const HttpRequest& request, const std::vector<Variant>& args, const std::atomic<bool>& cancelled);
    std::shared_ptr<CachedAnswer> catalogueAnswer(const std::string& operatorArg, const std::atomic<bool>& cancelled, bool& hit);
    std::shared_ptr<CachedAnswer> cached(const std::string& operatorArg, const std::string& version);
    void keep(const std::string& operatorArg, std::shared_ptr<CachedAnswer> answer);

    ServerDatabase& db_;
    AnswerLimits limits_;
    Sessions* sessions_;
    size_t cacheBytes_;
    std::mutex cacheMutex_, buildMutex_;
    std::list<std::pair<std::string, std::shared_ptr<CachedAnswer>>> cache_;  // most recent first
    size_t lastCatalogueSize_ = 0;  // guarded by buildMutex_
};

// The session token an "Authorization: Bearer <token>" header carries, or "".
std::string BearerToken(const HttpRequest& request);
// The ETag of an answer: checksums of its content.
std::string ContentTag(const std::string& text);
// gzip form of a text (zlib).
std::string Gzip(const std::string& text);
