#include "http_wire.hpp"

#include "data/json_text.hpp"

namespace {

const char* reason(int status) {
    switch (status) {
        case 100: return "Continue";
        case 200: return "OK";
        case 304: return "Not Modified";
        case 400: return "Bad Request";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 408: return "Request Timeout";
        case 411: return "Length Required";
        case 413: return "Payload Too Large";
        case 431: return "Request Header Fields Too Large";
        case 500: return "Internal Server Error";
        case 501: return "Not Implemented";
        case 503: return "Service Unavailable";
        default: return "Unknown";
    }
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

}  // namespace

bool HasHeaderToken(const std::string* value, std::string_view token) {
    if (!value) return false;
    std::string v = lower(*value);
    size_t at = 0;
    while ((at = v.find(token, at)) != std::string::npos) {
        bool startOk = at == 0 || v[at - 1] == ',' || v[at - 1] == ' ';
        size_t end = at + token.size();
        bool endOk = end == v.size() || v[end] == ',' || v[end] == ' ' || v[end] == ';';
        if (startOk && endOk) return true;
        at = end;
    }
    return false;
}

const std::string* HttpRequest::Header(std::string_view name) const {
    for (auto& [n, v] : headers)
        if (n == name) return &v;
    return nullptr;
}

bool ParseHttpHead(std::string_view head, size_t maxBody, HttpRequest& r, size_t& bodyLength, bool& keepAlive, int& status,
                   std::string& reason) {
    auto refuse = [&](int code, std::string why) {
        status = code;
        reason = std::move(why);
        return false;
    };
    size_t lineEnd = head.find("\r\n");
    std::string_view line = head.substr(0, lineEnd);
    size_t sp1 = line.find(' '), sp2 = line.rfind(' ');
    if (sp1 == std::string_view::npos || sp2 == sp1) return refuse(400, "Requisição malformada");
    r.method = std::string(line.substr(0, sp1));
    r.target = std::string(line.substr(sp1 + 1, sp2 - sp1 - 1));
    r.version = std::string(line.substr(sp2 + 1));
    if (r.version != "HTTP/1.1" && r.version != "HTTP/1.0") return refuse(400, "Versão de HTTP não suportada");
    size_t at = lineEnd == std::string_view::npos ? head.size() : lineEnd + 2;
    while (at < head.size()) {
        size_t e = head.find("\r\n", at);
        if (e == std::string_view::npos) e = head.size();
        std::string_view h = head.substr(at, e - at);
        size_t colon = h.find(':');
        if (colon == std::string_view::npos || colon == 0) return refuse(400, "Cabeçalho malformado");
        r.headers.emplace_back(lower(trim(h.substr(0, colon))), std::string(trim(h.substr(colon + 1))));
        at = e + 2;
    }
    const std::string* connection = r.Header("connection");
    keepAlive = r.version == "HTTP/1.1" ? !HasHeaderToken(connection, "close") : HasHeaderToken(connection, "keep-alive");
    if (r.Header("transfer-encoding")) return refuse(411, "O corpo da requisição deve trazer Content-Length");
    bodyLength = 0;
    // Two differing lengths would let a proxy and this server cut the stream in different places.
    const std::string* length = nullptr;
    for (auto& [n, v] : r.headers) {
        if (n != "content-length") continue;
        if (length && *length != v) return refuse(400, "Content-Length em duplicidade, com valores diferentes");
        length = &v;
    }
    if (length) {
        if (length->empty() || length->size() > 19 || length->find_first_not_of("0123456789") != std::string::npos)
            return refuse(400, "Content-Length inválido");
        unsigned long long n = std::stoull(*length);
        if (n > maxBody) return refuse(413, "Corpo da requisição maior que o limite de " + std::to_string(maxBody) + " bytes");
        bodyLength = static_cast<size_t>(n);
    }
    return true;
}

HttpResponse FailureResponse(int status, const std::string& message) {
    std::string body = "{\"result\":{\"ok\":false,\"error\":";
    AppendJsonString(body, message);
    body += "},\"args\":[]}";
    HttpResponse r;
    r.status = status;
    r.body = std::make_shared<const std::string>(std::move(body));
    return r;
}

std::string ResponseHead(const HttpResponse& r, bool keepAlive) {
    std::string h = "HTTP/1.1 " + std::to_string(r.status) + " " + reason(r.status) + "\r\n";
    if (r.status != 304 && r.status >= 200) {
        h += "Content-Type: " + r.contentType + "\r\n";
        h += "Content-Length: " + std::to_string(r.body ? r.body->size() : 0) + "\r\n";
    }
    for (auto& [n, v] : r.headers) h += n + ": " + v + "\r\n";
    h += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    return h;
}
