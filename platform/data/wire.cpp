#include "wire.hpp"

#include <simdjson.h>

#include <algorithm>
#include <charconv>
#include <memory>

using simdjson::dom::element;
using simdjson::dom::element_type;

namespace {

constexpr long long kMaxFieldSize = 1000000;
// Texts up to this size are read by a parser each thread keeps (its buffers reused from call to
// call); a larger one gets a parser of its own, so that the buffers of a large answer (several times
// its size) do not stay in memory after it.
constexpr size_t kKeptParserLimit = size_t{1} << 20;

// The text parsed whole into simdjson's tape (flat, a few bytes per value: no tree of objects),
// within the depth limit. Raises EJsonError in the system's words.
element parse(simdjson::padded_string_view text, int maxDepth, simdjson::dom::parser& parser) {
    if (parser.max_depth() != static_cast<size_t>(maxDepth) || parser.capacity() < text.size())
        if (parser.allocate(std::max(text.size(), parser.capacity()), static_cast<size_t>(maxDepth)))
            throw EJsonError("JSON inválido: sem memória para ler o texto");
    element root;
    switch (auto e = parser.parse(text).get(root)) {
        case simdjson::SUCCESS: return root;
        case simdjson::DEPTH_ERROR:
            throw EJsonError("JSON inválido: aninhamento mais profundo que " + std::to_string(maxDepth) + " níveis");
        case simdjson::UTF8_ERROR: throw EJsonError("JSON inválido: texto que não é UTF-8");
        case simdjson::EMPTY: throw EJsonError("JSON inválido: texto vazio");
        default: throw EJsonError(std::string("JSON inválido: ") + simdjson::error_message(e));
    }
}

// Reads a text (with the padding simdjson reads past its end) with the thread's kept parser, or a
// parser of its own for a large one; `read` takes the root and must finish with it before this
// returns (the tape is the parser's).
template <class Read>
auto withRoot(simdjson::padded_string_view text, int maxDepth, Read&& read) {
    thread_local simdjson::dom::parser kept;
    if (text.size() > kKeptParserLimit) {
        simdjson::dom::parser own;
        return read(parse(text, maxDepth, own));
    }
    return read(parse(text, maxDepth, kept));
}

// The same over a copy of the text, with room for the padding.
template <class Read>
auto withRoot(std::string_view text, int maxDepth, Read&& read) {
    simdjson::padded_string padded(text);
    return withRoot(simdjson::padded_string_view(padded), maxDepth, std::forward<Read>(read));
}

// A number's text: whole numbers exactly, others in their shortest form that reads back the same.
std::string numberText(element v) {
    switch (v.type()) {
        case element_type::INT64: return std::to_string(int64_t(v));
        case element_type::UINT64: return std::to_string(uint64_t(v));
        default: {
            char buf[32];
            auto [end, ec] = std::to_chars(buf, buf + sizeof buf, double(v));
            return ec == std::errc() ? std::string(buf, end) : std::string();
        }
    }
}

bool isNumber(element v) {
    element_type t = v.type();
    return t == element_type::INT64 || t == element_type::UINT64 || t == element_type::DOUBLE;
}

// A plain value as packet cells hold it: null as empty text, numbers as text, true and false by name.
void appendCell(element v, std::vector<std::string>& row) {
    switch (v.type()) {
        case element_type::STRING: row.emplace_back(std::string_view(v)); break;
        case element_type::BOOL: row.emplace_back(bool(v) ? "true" : "false"); break;
        case element_type::NULL_VALUE: row.emplace_back(); break;
        case element_type::INT64: case element_type::UINT64: case element_type::DOUBLE: row.push_back(numberText(v)); break;
        default: throw EJsonError("JSON inválido: uma célula deve ser um valor simples");
    }
}

FieldDef readField(element v) {
    if (v.type() != element_type::OBJECT) throw EJsonError("JSON inválido: esperado a descrição de um campo");
    FieldDef f;
    bool named = false;
    for (auto [key, x] : simdjson::dom::object(v)) {
        if (key == "name" && x.type() == element_type::STRING) {
            f.name = std::string(std::string_view(x));
            named = true;
        } else if (key == "type" && x.type() == element_type::STRING) {
            f.type = std::string(std::string_view(x));
        } else if (key == "fixed" && x.type() == element_type::BOOL) {
            f.fixed = bool(x);
        } else if (key == "size") {
            // Whole numbers only, within range: a size is never a fraction, negative or huge.
            const bool whole = x.type() == element_type::INT64 || x.type() == element_type::UINT64;
            if (!whole || x.type() == element_type::UINT64 || int64_t(x) < 0 || int64_t(x) > kMaxFieldSize)
                throw EJsonError("Pacote de dados inválido: tamanho de campo fora do intervalo 0 a 1000000: " +
                                 (isNumber(x) ? numberText(x) : std::string("não numérico")));
            f.size = static_cast<int>(int64_t(x));
        }
    }
    if (!named) throw EJsonError("Pacote de dados inválido: campo sem nome");
    return f;
}

DataPacket readPacket(element v) {
    if (v.type() != element_type::OBJECT) throw EJsonError("JSON inválido: esperado um pacote de dados");
    DataPacket p;
    bool fields = false, rows = false;
    for (auto [key, x] : simdjson::dom::object(v)) {
        if (key == "fields") {
            if (x.type() != element_type::ARRAY) throw EJsonError("JSON inválido: esperado a lista de campos");
            for (element f : simdjson::dom::array(x)) p.fields.push_back(readField(f));
            fields = true;
        } else if (key == "rows") {
            if (x.type() != element_type::ARRAY) throw EJsonError("JSON inválido: esperado a lista de linhas");
            simdjson::dom::array list(x);
            p.rows.reserve(p.rows.size() + list.size());  // the tape knows how many rows follow
            for (element r : list) {
                if (r.type() != element_type::ARRAY) throw EJsonError("JSON inválido: esperado uma linha");
                std::vector<std::string>& row = p.rows.emplace_back();
                simdjson::dom::array cells(r);
                row.reserve(cells.size());
                for (element cell : cells) appendCell(cell, row);
            }
            rows = true;
        }
    }
    if (!fields || !rows) throw EJsonError("Pacote de dados inválido: esperados 'fields' e 'rows'");
    for (auto& row : p.rows)
        if (row.size() != p.fields.size())
            throw EJsonError("Pacote de dados inválido: linha com número de colunas diferente dos campos");
    return p;
}

Variant readVariant(element v) {
    switch (v.type()) {
        case element_type::NULL_VALUE: return {};
        case element_type::BOOL: return bool(v);
        case element_type::STRING: return std::string(std::string_view(v));
        case element_type::INT64: return static_cast<long long>(int64_t(v));
        case element_type::UINT64: case element_type::DOUBLE: return numberText(v);  // a fraction or a huge number: its text
        case element_type::OBJECT: return readPacket(v);
        default: throw EJsonError("JSON inválido: esperado um valor");
    }
}

void readList(element v, std::vector<Variant>& out, const char* refusal) {
    if (v.type() != element_type::ARRAY) throw EJsonError(refusal);
    for (element x : simdjson::dom::array(v)) out.push_back(readVariant(x));
}

}  // namespace

void AppendPacketJson(std::string& out, const DataPacket& p) {
    out += "{\"fields\":[";
    for (size_t i = 0; i < p.fields.size(); ++i) {
        const FieldDef& f = p.fields[i];
        if (i) out += ',';
        out += "{\"name\":";
        AppendJsonString(out, f.name);
        out += ",\"type\":";
        AppendJsonString(out, f.type);
        out += ",\"size\":" + std::to_string(f.size) + ",\"fixed\":" + (f.fixed ? "true}" : "false}");
    }
    out += "],\"rows\":[";
    for (size_t r = 0; r < p.rows.size(); ++r) {
        out += r ? ",[" : "[";
        for (size_t c = 0; c < p.rows[r].size(); ++c) {
            if (c) out += ',';
            AppendJsonString(out, p.rows[r][c]);
        }
        out += ']';
    }
    out += "]}";
}

void AppendVariantJson(std::string& out, const Variant& v) {
    if (v.IsBool()) out += v.AsBool() ? "true" : "false";
    else if (v.IsInt()) out += std::to_string(v.AsInt());
    else if (v.IsString()) AppendJsonString(out, v.AsString());
    else if (v.IsPacket()) AppendPacketJson(out, v.AsPacket());
    else if (v.IsResult()) {
        const ServerResult& r = v.AsResult();
        if (!r.ok) {
            out += "{\"ok\":false,\"error\":";
            AppendJsonString(out, r.error);
            out += '}';
        } else {
            out += "{\"ok\":true,\"data\":";
            AppendVariantJson(out, r.data);
            out += '}';
        }
    } else {
        out += "null";
    }
}

DataPacket PacketFromText(std::string_view text) {
    return withRoot(text, kMaxWireDepth, [](element root) { return readPacket(root); });
}

std::string EncodeCall(const std::vector<Variant>& args) {
    std::string out = "{\"args\":[";
    for (size_t i = 0; i < args.size(); ++i) {
        if (i) out += ',';
        AppendVariantJson(out, args[i]);
    }
    return out + "]}";
}

std::vector<Variant> DecodeCall(std::string_view body, int maxDepth) {
    return withRoot(body, maxDepth, [](element root) {
        if (root.type() != element_type::OBJECT) throw EJsonError("Requisição malformada: esperado um objeto");
        std::vector<Variant> args;
        bool found = false;
        for (auto [key, v] : simdjson::dom::object(root)) {
            if (key != "args") continue;
            readList(v, args, "Requisição malformada: 'args' deve ser uma lista");
            found = true;
        }
        if (!found) throw EJsonError("Requisição malformada: falta a lista 'args'");
        return args;
    });
}

std::string EncodeAnswer(const ServerResult& result, const std::vector<Variant>& args) {
    std::string out = "{\"result\":";
    AppendVariantJson(out, Variant(std::make_shared<const ServerResult>(result)));
    out += ",\"args\":[";
    for (size_t i = 0; i < args.size(); ++i) {
        if (i) out += ',';
        AppendVariantJson(out, args[i]);
    }
    return out + "]}";
}

static WireAnswer decodeAnswer(simdjson::padded_string_view body) {
    return withRoot(body, kMaxWireDepth, [](element root) {
        if (root.type() != element_type::OBJECT) throw EJsonError("Resposta inválida do servidor de aplicação");
        WireAnswer a;
        bool hasResult = false;
        for (auto [key, v] : simdjson::dom::object(root)) {
            if (key == "args" && v.type() == element_type::ARRAY) {
                readList(v, a.args, "Resposta inválida do servidor de aplicação");
            } else if (key == "result" && v.type() == element_type::OBJECT) {
                auto r = std::make_shared<ServerResult>();
                bool hasOk = false;
                for (auto [name, x] : simdjson::dom::object(v)) {
                    if (name == "ok" && x.type() == element_type::BOOL) {
                        r->ok = bool(x);
                        hasOk = true;
                    } else if (name == "error" && x.type() == element_type::STRING) {
                        r->error = std::string(std::string_view(x));
                    } else if (name == "data") {
                        r->data = readVariant(x);
                    }
                }
                if (!hasOk) throw EJsonError("Resposta do servidor sem resultado válido");
                a.result = Variant(std::shared_ptr<const ServerResult>(r));
                hasResult = true;
            }
        }
        if (!hasResult) throw EJsonError("Resposta do servidor sem resultado válido");
        return a;
    });
}

WireAnswer DecodeAnswer(std::string_view body) {
    simdjson::padded_string padded(body);
    return decodeAnswer(padded);
}

WireAnswer DecodeAnswer(std::string& body) {
    // Padded in place: room after the text, never a copy of it (a large answer is megabytes).
    if (body.capacity() < body.size() + simdjson::SIMDJSON_PADDING) body.reserve(body.size() + simdjson::SIMDJSON_PADDING);
    return decodeAnswer(simdjson::padded_string_view(body.data(), body.size(), body.capacity()));
}
