#include "rdm_opcoes_dw.hpp"

#include <zlib.h>

#include <strings.h>

#include <cstdio>

#include "catalogue.hpp"
#include "data/json_text.hpp"
#include "data/wire.hpp"

namespace {

std::mutex logMutex;

// The longest operator code a trusted call may name (the catalogue's codes are far shorter).
constexpr size_t kMaxNamedOperator = 64;

void logFailure(const std::string& method, const std::string& message) {
    std::lock_guard lock(logMutex);
    std::fprintf(stderr, "qelserver: %s: %s\n", method.c_str(), message.c_str());
    std::fflush(stderr);
}

HttpResponse jsonResponse(int status, std::string body) {
    HttpResponse r;
    r.status = status;
    r.body = std::make_shared<const std::string>(std::move(body));
    return r;
}

std::string hex64(uint64_t v) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
    return buf;
}


bool acceptsGzip(const HttpRequest& r) {
    const std::string* enc = r.Header("accept-encoding");
    return enc && enc->find("gzip") != std::string::npos;
}

}  // namespace

std::string ContentTag(const std::string& text) {
    // Two checksums of the whole text and its length: a tag can only match the same answer, in this
    // process or after a restart, whatever the database's own change counters say.
    uLong crc = crc32_z(0L, reinterpret_cast<const Bytef*>(text.data()), text.size());
    uLong adler = adler32_z(1L, reinterpret_cast<const Bytef*>(text.data()), text.size());
    return "\"" + hex64((static_cast<uint64_t>(crc) << 32) | (adler & 0xffffffffu)) + "-" + hex64(text.size()) + "\"";
}

std::string Gzip(const std::string& text) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("zlib");
    std::string out;
    out.resize(deflateBound(&z, text.size()));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END) throw std::runtime_error("zlib");
    return out;
}

RdmOpcoesDW::RdmOpcoesDW(ServerDatabase& db, AnswerLimits limits, Sessions* sessions, size_t cacheBytes)
    : db_(db), limits_(limits), sessions_(sessions), cacheBytes_(cacheBytes) {}

std::string BearerToken(const HttpRequest& r) {
    const std::string* h = r.Header("authorization");
    if (!h || h->size() < 7 || ::strncasecmp(h->c_str(), "Bearer ", 7) != 0) return "";
    return h->substr(7);
}

HttpResponse RdmOpcoesDW::Handle(const HttpRequest& request, const std::atomic<bool>& cancelled) {
    std::string target = request.target.substr(0, request.target.find('?'));
    const std::string base = std::string("/") + ObjectName;
    if (request.method == "GET") {
        if (target == base) return jsonResponse(200, std::string("{\"object\":\"") + ObjectName + "\"}");
        return FailureResponse(404, "Recurso desconhecido");
    }
    if (request.method != "POST") return FailureResponse(405, "Método HTTP não permitido");
    if (target.rfind("/", 0) != 0 || target.find('/', 1) == std::string::npos) return FailureResponse(404, "Recurso desconhecido");
    std::string object = target.substr(1, target.find('/', 1) - 1), method = target.substr(target.find('/', 1) + 1);
    if (object != ObjectName) return FailureResponse(404, "Objeto desconhecido: " + ValidUtf8(object.substr(0, 80)));
    if (method != "GetItemData" && method != "getInfo" && method != "Login" && method != "Logout")
        return FailureResponse(404, "Método desconhecido em " + std::string(ObjectName) + ": " + ValidUtf8(method.substr(0, 80)));

    std::vector<Variant> args;
    try {
        args = DecodeCall(request.body);
    } catch (const std::exception& e) {
        logFailure(method, e.what());
        std::string why = e.what();
        if (why.rfind("Requisição malformada", 0) != 0) why = "Requisição malformada: " + why;
        return FailureResponse(400, why);
    }
    try {
        if (method == "Login") return login(request, args, cancelled);
        std::optional<std::string> op;
        if (sessions_) {
            std::string token = BearerToken(request);
            op = sessions_->Check(token);
            if (!op)
                return FailureResponse(401, token.empty() ? "O servidor de aplicação pede o operador e a senha"
                                                          : "Sessão inválida ou expirada; entre de novo com o operador e a senha");
            if (method == "Logout") {
                sessions_->Logout(token);
                return jsonResponse(200, "{\"result\":{\"ok\":true,\"data\":null},\"args\":[]}");
            }
            // The catalogue is asked for the session's operator, never for another one.
            if (method == "GetItemData" && args.size() == 5 && !(args[4].IsString() && args[4].AsString() == *op))
                return FailureResponse(403, "O operador pedido não é o da sessão");
        } else if (method == "Logout") {
            return jsonResponse(200, "{\"result\":{\"ok\":true,\"data\":null},\"args\":[]}");
        } else {
            // Trusting the client means believing the operator the call names; a call that names
            // none sees what no operator's rules allow, never everything.
            const std::string* named = request.Header("x-qel-operador");
            op = named ? *named : std::string();
            if (op->size() > kMaxNamedOperator) return FailureResponse(400, "Código de operador longo demais");
        }
        return method == "GetItemData" ? getItemData(request, args, cancelled) : getInfo(args, cancelled, op);
    } catch (const EAuth& e) {
        logFailure(method, e.what());
        return FailureResponse(e.Status(), e.what());
    } catch (const std::exception& e) {
        std::string message = db_.SafeMessage(ValidUtf8(e.what()));
        logFailure(method, message);
        return FailureResponse(200, message);
    }
}

std::shared_ptr<RdmOpcoesDW::CachedAnswer> RdmOpcoesDW::cached(const std::string& op, const std::string& version) {
    std::lock_guard lock(cacheMutex_);
    for (auto it = cache_.begin(); it != cache_.end(); ++it) {
        if (it->first != op || it->second->version != version) continue;
        cache_.splice(cache_.begin(), cache_, it);  // most recently used first
        return cache_.front().second;
    }
    return nullptr;
}

void RdmOpcoesDW::keep(const std::string& op, std::shared_ptr<CachedAnswer> answer) {
    std::lock_guard lock(cacheMutex_);
    cache_.remove_if([&](auto& e) { return e.first == op; });
    cache_.emplace_front(op, std::move(answer));
    // Older answers go once the kept ones pass the budget; the newest always stays.
    size_t bytes = 0;
    for (auto it = cache_.begin(); it != cache_.end(); ++it) {
        bytes += it->second->plain->size();
        if (it != cache_.begin() && bytes > cacheBytes_) {
            cache_.erase(it, cache_.end());
            break;
        }
    }
}

std::shared_ptr<RdmOpcoesDW::CachedAnswer> RdmOpcoesDW::catalogueAnswer(const std::string& op, const std::atomic<bool>& cancelled,
                                                                        bool& hit) {
    std::string version = db_.ChangeKey();
    hit = true;
    if (auto a = cached(op, version)) return a;
    std::lock_guard build(buildMutex_);  // one build at a time; the others then find it kept
    version = db_.ChangeKey();
    if (auto a = cached(op, version)) return a;
    hit = false;
    std::string out;
    out.reserve(lastCatalogueSize_ + lastCatalogueSize_ / 8);  // no regrowth for a catalogue like the last one
    out = "{\"result\":{\"ok\":true,\"data\":null},\"args\":[";
    {
        // The four tables from one snapshot, so that links never run ahead of their items. The
        // version was read before the snapshot: at worst the answer is newer than its key, and the
        // next call builds it again.
        // The catalogue tables are nobody's data: no row rules (and no access-rule tables needed).
        ServerDatabase::Lease c = db_.Acquire(cancelled);
        SqlSnapshot snapshot(*c);
        WriteCataloguePackets(*c, db_.InsertionOrder(), out, limits_);
    }
    out += op;
    out += "]}";
    lastCatalogueSize_ = out.size();
    auto a = std::make_shared<CachedAnswer>();
    a->version = version;
    a->etag = ContentTag(out);
    a->plain = std::make_shared<const std::string>(std::move(out));
    keep(op, a);
    return a;
}

HttpResponse RdmOpcoesDW::getItemData(const HttpRequest& request, const std::vector<Variant>& args, const std::atomic<bool>& cancelled) {
    if (args.size() != 5) throw std::runtime_error("GetItemData espera 5 argumentos, recebeu " + std::to_string(args.size()));
    std::string op;
    AppendVariantJson(op, args[4]);
    bool hit = false;
    std::shared_ptr<CachedAnswer> a = catalogueAnswer(op, cancelled, hit);
    HttpResponse r;
    r.headers = {{"ETag", a->etag}, {"Vary", "Accept-Encoding"}, {"X-Qel-Cache", hit ? "hit" : "miss"}};
    if (const std::string* match = request.Header("if-none-match"); match && *match == a->etag) {
        r.status = 304;
        return r;
    }
    if (acceptsGzip(request)) {
        std::call_once(a->zipped, [&] { a->gzip = std::make_shared<const std::string>(Gzip(*a->plain)); });
        r.headers.emplace_back("Content-Encoding", "gzip");
        r.body = a->gzip;
    } else {
        r.body = a->plain;
    }
    return r;
}

HttpResponse RdmOpcoesDW::login(const HttpRequest& request, const std::vector<Variant>& args, const std::atomic<bool>& cancelled) {
    if (args.size() != 2 || !args[0].IsString() || !args[1].IsString())
        throw std::runtime_error("Login espera o código do operador e a senha");
    if (!sessions_) return jsonResponse(200, "{\"result\":{\"ok\":true,\"data\":\"\"},\"args\":[]}");  // nothing to check
    const std::string& op = args[0].AsString();
    std::optional<std::string> hash;
    // A code wider than the column is never looked up: Sessions refuses it like a wrong password.
    if (OperatorCodeFits(op)) {
        try {
            ServerDatabase::Lease c = db_.Acquire(cancelled);
            c->SetSecretsReadable(true);
            struct Close {
                SqlConnection& c;
                ~Close() { c.SetSecretsReadable(false); }
            } close{*c};
            SqlResult r = c->Query("SELECT DSSENHA FROM QELOPERADOR WHERE CDOPERADOR = :P_OPERADOR", {{"P_OPERADOR", op}}, true);
            if (!r.rows.empty() && !r.rows[0][0].empty()) hash = r.rows[0][0];
        } catch (const ESqlInterrupted&) {
            throw;
        } catch (const ESqlError& e) {
            // No operator table: nobody can log in, which the operator hears as any refused login.
            logFailure("Login", db_.SafeMessage(e.what()));
        }
    }
    std::string token = sessions_->Login(op, args[1].AsString(), hash, request.peer, cancelled);
    std::string body = "{\"result\":{\"ok\":true,\"data\":";
    AppendJsonString(body, token);
    body += "},\"args\":[]}";
    return jsonResponse(200, std::move(body));
}

HttpResponse RdmOpcoesDW::getInfo(const std::vector<Variant>& args, const std::atomic<bool>& cancelled,
                                  const std::optional<std::string>& session) {
    if (args.empty() || args.size() > 2 || !args[0].IsString() || (args.size() == 2 && !args[1].IsPacket()))
        throw std::runtime_error("getInfo espera a instrução SQL e, se houver, o pacote dos seus parâmetros");
    // Parameters travel as a one-row packet: each field names a parameter, bound as text.
    SqlParams params;
    if (args.size() == 2) {
        const DataPacket& p = args[1].AsPacket();
        if (p.rows.size() != 1) throw std::runtime_error("getInfo espera os parâmetros numa única linha");
        for (size_t i = 0; i < p.fields.size(); ++i) params[p.fields[i].name] = p.rows[0][i];
    }
    std::string out = "{\"result\":{\"ok\":true,\"data\":";
    {
        // Whatever the statement, it sees only what the session's operator may see.
        ServerDatabase::Lease c = db_.Acquire(cancelled, session);
        PacketWriter packet(out, limits_);
        c->Stream(args[0].AsString(), params, true, packet);
        packet.Finish();
    }
    out += "},\"args\":[";
    AppendVariantJson(out, args[0]);
    out += "]}";
    return jsonResponse(200, std::move(out));
}
